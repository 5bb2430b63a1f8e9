#include "common/record.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "common/format.hpp"

namespace gp {

char* RecordBuffer::place(size_t room) {
  const size_t needed = position_ + room;
  if (needed > storage_.size()) {
    const size_t size = (needed + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
    storage_.reserve(size);
    storage_.resize(size);
  }
  if (position_ > length_) std::memset(storage_.data() + length_, ' ', position_ - length_);
  return storage_.data() + position_;
}

void RecordBuffer::placed(const char* end) {
  const size_t end_position = static_cast<size_t>(end - storage_.data());
  if (end_position > position_ && end_position > length_) length_ = end_position;
  position_ = end_position;
}

namespace {

// The values of a statement's items in order, arrays taken element by
// element; empty arrays contribute nothing.
class ItemQueue {
 public:
  ItemQueue(const OutItem* begin, const OutItem* end) : next_(begin), end_(end) { skip_empty(); }
  bool empty() const { return next_ == end_; }
  const OutItem& item() const { return *next_; }
  size_t element() const { return element_; }
  size_t remaining() const { return next_->count() - element_; }
  void take(size_t n) {
    element_ += n;
    if (element_ == next_->count()) {
      ++next_;
      element_ = 0;
      skip_empty();
    }
  }

 private:
  void skip_empty() {
    while (next_ != end_ && next_->count() == 0) ++next_;
  }

  const OutItem* next_;
  const OutItem* end_;
  size_t element_ = 0;
};

void end_record(RecordBuffer& buffer, RecordSink sink) {
  sink(buffer.record());
  buffer.clear();
}

void write_text(RecordBuffer& buffer, std::string_view text) {
  char* out = buffer.place(text.size());
  std::memcpy(out, text.data(), text.size());
  buffer.placed(out + text.size());
}

// A value of the other kind is formatted from the same 32 bits.
int32_t int_value(const OutItem& item, size_t element) {
  return item.kind() == OutItem::Kind::Int ? item.int_at(element) : std::bit_cast<int32_t>(item.real_at(element));
}
float real_value(const OutItem& item, size_t element) {
  return item.kind() == OutItem::Kind::Real ? item.real_at(element) : std::bit_cast<float>(item.int_at(element));
}
// A double keeps its own digits under E.
double wide_value(const OutItem& item, size_t element) {
  return item.kind() == OutItem::Kind::Double ? item.double_value() : real_value(item, element);
}

void write_value(RecordBuffer& buffer, const LayoutItem& field, const OutItem& item, size_t element) {
  if (item.kind() == OutItem::Kind::Text) throw std::logic_error("a text item cannot fill a value field");
  if (item.kind() == OutItem::Kind::Double && field.kind != LayoutItem::Kind::Exp) {
    throw std::logic_error("a double item needs an E field");
  }
  const size_t width = static_cast<size_t>(field.width);
  char* out;
  switch (field.kind) {
    case LayoutItem::Kind::Int:
      out = buffer.place(std::max<size_t>(width, kMaxIntChars));
      buffer.placed(write_int(out, int_value(item, element), field.width));
      break;
    case LayoutItem::Kind::Fixed:
      out = buffer.place(width > 0 ? width : kMaxFixedChars);
      buffer.placed(write_fixed(out, real_value(item, element), field.width, field.decimals));
      break;
    default:
      out = buffer.place(width);
      buffer.placed(write_exp(out, wide_value(item, element), field.width, field.decimals));
      break;
  }
}

// A run of I1 fields over an integer array, the allele digits of a SNP_data
// record. I1 of v is the digit when 0 <= v <= 9 and one asterisk otherwise
// (a negative value needs two columns), which the unsigned comparison
// decides in one step, so the run equals field-by-field output.
void write_digit_run(RecordBuffer& buffer, const int32_t* values, size_t count) {
  char* out = buffer.place(count);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t v = static_cast<uint32_t>(values[i]);
    out[i] = v <= 9 ? static_cast<char>('0' + v) : '*';
  }
  buffer.placed(out + count);
}

bool is_digit_run(const LayoutItem& field, const OutItem& item) {
  return field.kind == LayoutItem::Kind::Int && field.width == 1 && item.kind() == OutItem::Kind::Int &&
         item.ints() != nullptr;
}

}  // namespace

void build_layout_records(RecordBuffer& buffer, const Layout& layout, std::initializer_list<OutItem> list,
                          RecordSink sink) {
  buffer.clear();
  ItemQueue items(list.begin(), list.end());
  if (!items.empty() && !layout.has_value_field) throw std::logic_error("items given to a layout without fields");
  LayoutCursor cursor(layout);
  bool took_value = false;  // since the layout was last started

  for (;;) {
    if (cursor.at_end()) {
      if (items.empty()) break;
      if (!took_value) throw std::logic_error("the layout is used again but takes no value");
      end_record(buffer, sink);
      cursor.restart();
      took_value = false;
      continue;
    }
    const LayoutItem& element = cursor.current();
    if (element.is_value_field()) {
      if (items.empty()) break;
      took_value = true;
      const OutItem& item = items.item();
      const size_t run = std::min(static_cast<size_t>(cursor.repeats_left()), items.remaining());
      if (run >= 2 && is_digit_run(element, item)) {
        write_digit_run(buffer, item.ints() + items.element(), run);
        items.take(run);
        cursor.advance(static_cast<int32_t>(run));
      } else {
        write_value(buffer, element, item, items.element());
        items.take(1);
        cursor.advance();
      }
      continue;
    }
    switch (element.kind) {
      case LayoutItem::Kind::Text:
        write_text(buffer, element.text);
        break;
      case LayoutItem::Kind::Skip:
        buffer.move_right(static_cast<size_t>(element.width));
        break;
      case LayoutItem::Kind::Tab:
        buffer.move_to(static_cast<size_t>(element.width) - 1);
        break;
      default:
        end_record(buffer, sink);
        break;
    }
    cursor.advance();
  }
  end_record(buffer, sink);
}

void build_free_record(RecordBuffer& buffer, std::initializer_list<OutItem> items, RecordSink sink) {
  buffer.clear();
  write_text(buffer, " ");
  bool after_number = false;
  for (const OutItem& item : items) {
    if (item.kind() == OutItem::Kind::Text) {
      const std::string_view text = item.text();
      char* out = buffer.place(text.size() + 1);
      if (after_number) *out++ = ' ';
      std::memcpy(out, text.data(), text.size());
      buffer.placed(out + text.size());
      after_number = false;
      continue;
    }
    if (item.kind() == OutItem::Kind::Double) throw std::logic_error("a double item needs an E field");
    for (size_t i = 0; i < item.count(); ++i) {
      char* out = buffer.place(kMaxFreeItemChars);
      out = item.kind() == OutItem::Kind::Int ? write_free_int(out, item.int_at(i))
                                              : write_free_real(out, item.real_at(i));
      buffer.placed(out);
      after_number = true;
    }
  }
  end_record(buffer, sink);
}

}  // namespace gp
