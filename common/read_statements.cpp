#include <algorithm>
#include <initializer_list>

#include "common/digit_run.hpp"
#include "common/number_fields.hpp"
#include "common/units.hpp"

namespace gp {
namespace {

using Parse = FieldParse;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The targets of one input statement, element by element.
class Targets {
 public:
  Targets(const InItem* begin, const InItem* end) : item_(begin), end_(end) { settle(); }

  bool done() const { return item_ == end_; }
  const InItem& item() const { return *item_; }
  size_t left_in_item() const { return item_->count() - index_; }
  int32_t* int_slot() const { return item_->ints() + index_; }
  float* real_slot() const { return item_->reals() + index_; }

  // Moves past n elements (n <= left_in_item()).
  void advance(size_t n) {
    index_ += n;
    settle();
  }
  // Leaves n elements unchanged (null values), across items.
  void skip(int64_t n) {
    while (n > 0 && !done()) {
      const size_t step = std::min(static_cast<size_t>(n), left_in_item());
      advance(step);
      n -= static_cast<int64_t>(step);
    }
  }

 private:
  void settle() {
    while (item_ != end_ && index_ == item_->count()) {
      ++item_;
      index_ = 0;
    }
  }
  const InItem* item_;
  const InItem* end_;
  size_t index_ = 0;
};

void check(Units& io, int unit, Parse parse) {
  if (parse == Parse::Illegal) fatal_error(io, Failure::IllegalCharacter, Statement::Read, unit);
  if (parse == Parse::Overflow) fatal_error(io, Failure::IntegerOverflow, Statement::Read, unit);
}

// Converts `text` into the next target element: integer syntax for an
// integer target, real syntax (with the implied decimals) for a real one.
void store(Units& io, int unit, Targets& targets, std::string_view text, int implied_decimals, bool need_digit) {
  if (targets.item().kind() == InItem::Kind::Int) {
    check(io, unit, parse_int_field(text, need_digit, *targets.int_slot()));
  } else {
    check(io, unit, parse_real_field(text, implied_decimals, need_digit, *targets.real_slot()));
  }
  targets.advance(1);
}

}  // namespace

std::string_view read_record_and_keep(Units& io, int unit, const Layout& layout,
                                      std::initializer_list<InItem> items) {
  using Kind = LayoutItem::Kind;
  Targets targets(items.begin(), items.end());
  std::string_view record = next_record(io, unit);
  size_t column = 0;
  LayoutCursor cursor(layout);
  while (!targets.done()) {
    if (cursor.at_end()) {
      if (!layout.has_value_field) return record;
      record = next_record(io, unit);
      column = 0;
      cursor.restart();
      continue;
    }
    const LayoutItem& element = cursor.current();
    switch (element.kind) {
      case Kind::Text:
        column += element.text.size();
        break;
      case Kind::Skip:
        column += static_cast<size_t>(element.width);
        break;
      case Kind::Tab:
        column = static_cast<size_t>(element.width) - 1;
        break;
      case Kind::Break:
        record = next_record(io, unit);
        column = 0;
        break;
      case Kind::Int:
      case Kind::Fixed:
      case Kind::Exp: {
        // A run of one-column integer fields into an integer array (the
        // allele digits) is read in one pass with the same result.
        if (element.kind == Kind::Int && element.width == 1 && cursor.repeats_left() > 1 &&
            targets.item().kind() == InItem::Kind::Int) {
          const size_t run = std::min(static_cast<size_t>(cursor.repeats_left()), targets.left_in_item());
          if (!read_digit_run(record, column, {targets.int_slot(), run})) {
            fatal_error(io, Failure::IllegalCharacter, Statement::Read, unit);
          }
          column += run;
          targets.advance(run);
          cursor.advance(static_cast<int32_t>(run));
          continue;
        }
        const size_t width = static_cast<size_t>(element.width);
        const int decimals = element.kind == Kind::Int ? 0 : element.decimals;
        store(io, unit, targets, field_text(record, column, width), decimals, /*need_digit=*/false);
        column += width;
        break;
      }
      case Kind::Open:
      case Kind::Close:
        break;
    }
    cursor.advance();
  }
  return record;
}

void read_record(Units& io, int unit, const Layout& layout, std::initializer_list<InItem> items) {
  read_record_and_keep(io, unit, layout, items);
}

void read_free(Units& io, int unit, std::initializer_list<InItem> items) {
  Targets targets(items.begin(), items.end());
  std::string_view record = next_record(io, unit);
  size_t pos = 0;
  // After a value its separator is still to come: a comma then only
  // separates, while a comma with no value before it stands for a null.
  bool separated = true;
  while (!targets.done()) {
    while (pos < record.size() && is_blank(record[pos])) ++pos;
    if (pos == record.size()) {
      record = next_record(io, unit);
      pos = 0;
      continue;
    }
    if (record[pos] == '/') return;
    if (record[pos] == ',') {
      ++pos;
      if (separated) targets.skip(1);
      separated = true;
      continue;
    }
    const size_t start = pos;
    while (pos < record.size() && !is_blank(record[pos]) && record[pos] != ',' && record[pos] != '/') ++pos;
    std::string_view value = record.substr(start, pos - start);
    separated = false;

    int32_t copies = 1;
    const size_t star = value.find('*');
    if (star != std::string_view::npos) {
      const std::string_view count = value.substr(0, star);
      if (count.empty() || count.find_first_not_of("0123456789") != std::string_view::npos) {
        fatal_error(io, Failure::IllegalCharacter, Statement::Read, unit);
      }
      check(io, unit, parse_int_field(count, /*need_digit=*/true, copies));
      if (copies == 0) fatal_error(io, Failure::IllegalCharacter, Statement::Read, unit);
      value.remove_prefix(star + 1);
      if (value.empty()) {
        targets.skip(copies);
        continue;
      }
    }
    for (int32_t k = 0; k < copies && !targets.done(); ++k) {
      store(io, unit, targets, value, /*implied_decimals=*/0, /*need_digit=*/true);
    }
  }
}

}  // namespace gp
