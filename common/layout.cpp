#include "common/layout.hpp"

#include <cctype>
#include <stdexcept>

#include "common/format.hpp"

namespace gp {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  Layout parse() {
    Layout layout;
    items_ = &layout.items;
    parse_list(/*depth=*/0);
    if (pos_ != text_.size()) fail("unexpected character");
    if (!items_->empty() && items_->back().kind == LayoutItem::Kind::Close) {
      layout.restart = static_cast<size_t>(items_->back().partner);
    }
    for (const LayoutItem& item : layout.items) layout.has_value_field |= item.is_value_field();
    return layout;
  }

 private:
  using Kind = LayoutItem::Kind;

  [[noreturn]] void fail(const char* what) const {
    throw std::invalid_argument("layout \"" + std::string(text_) + "\": " + what + " at column " +
                                std::to_string(pos_ + 1));
  }
  bool more() const { return pos_ < text_.size(); }
  char peek() const { return more() ? text_[pos_] : '\0'; }
  void skip_blanks() {
    while (more() && text_[pos_] == ' ') ++pos_;
  }
  bool digit_next() const { return more() && std::isdigit(static_cast<unsigned char>(text_[pos_])); }
  int32_t number() {
    if (!digit_next()) fail("number expected");
    int64_t n = 0;
    while (digit_next()) {
      n = n * 10 + (text_[pos_++] - '0');
      if (n > INT32_MAX) fail("number too large");
    }
    return static_cast<int32_t>(n);
  }

  // list := element { [","] element }, a comma being optional around "/".
  void parse_list(int depth) {
    skip_blanks();
    while (more() && peek() != ')') {
      parse_element(depth);
      skip_blanks();
      if (peek() == ',') {
        ++pos_;
        skip_blanks();
      } else if (more() && peek() != ')' && peek() != '/' && items_->back().kind != Kind::Break) {
        fail("comma expected");
      }
    }
  }

  void parse_element(int depth) {
    LayoutItem item(Kind::Text);
    if (peek() == '\'') {
      item.text = quoted();
      items_->push_back(std::move(item));
      return;
    }
    if (peek() == '/') {
      ++pos_;
      items_->push_back(LayoutItem(Kind::Break));
      return;
    }
    const bool counted = digit_next();
    const int32_t count = counted ? number() : 1;
    if (counted && count == 0) fail("repeat count must be positive");
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(peek())));
    if (more()) ++pos_;
    switch (c) {
      case 'X':
        if (!counted) fail("nX needs n");
        item.kind = Kind::Skip;
        item.width = count;
        break;
      case 'T':
        if (counted) fail("Tc takes no repeat count");
        item.kind = Kind::Tab;
        item.width = number();
        if (item.width < 1) fail("Tc needs c >= 1");
        break;
      case '/':
        item.kind = Kind::Break;
        item.repeat = count;
        break;
      case 'I':
        item.kind = Kind::Int;
        item.repeat = count;
        item.width = number();
        break;
      case 'F':
      case 'E':
        item.kind = c == 'F' ? Kind::Fixed : Kind::Exp;
        item.repeat = count;
        item.width = number();
        if (peek() != '.') fail("Fw.d needs .d");
        ++pos_;
        item.decimals = number();
        if (c == 'E' && item.width == 0) fail("Ew.d needs w > 0");
        if (item.width == 0 && item.decimals > kMaxDecimals) fail("F0.d takes at most 16 decimals");
        break;
      case '(': {
        if (depth > 8) fail("groups nested too deeply");
        const size_t open = items_->size();
        item.kind = Kind::Open;
        item.repeat = count;
        items_->push_back(item);
        parse_list(depth + 1);
        if (peek() != ')') fail("')' expected");
        ++pos_;
        const size_t close = items_->size();
        LayoutItem end(Kind::Close);
        end.partner = static_cast<int32_t>(open);
        items_->push_back(end);
        (*items_)[open].partner = static_cast<int32_t>(close);
        return;
      }
      default:
        fail("unknown element");
    }
    items_->push_back(std::move(item));
  }

  std::string quoted() {
    std::string out;
    ++pos_;
    for (;;) {
      if (!more()) fail("unterminated text");
      const char c = text_[pos_++];
      if (c != '\'') {
        out += c;
      } else if (peek() == '\'') {
        out += '\'';
        ++pos_;
      } else {
        return out;
      }
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::vector<LayoutItem>* items_ = nullptr;
};

}  // namespace

Layout parse_layout(std::string_view text) { return Parser(text).parse(); }

LayoutCursor::LayoutCursor(const Layout& layout) : layout_(&layout) { settle(); }

void LayoutCursor::settle() {
  const std::vector<LayoutItem>& items = layout_->items;
  while (index_ < items.size()) {
    const LayoutItem& item = items[index_];
    if (item.kind == LayoutItem::Kind::Open) {
      groups_.push_back({index_, item.repeat});
      ++index_;
    } else if (item.kind == LayoutItem::Kind::Close) {
      Group& group = groups_.back();
      if (--group.left > 0) {
        index_ = group.open + 1;
      } else {
        groups_.pop_back();
        ++index_;
      }
    } else {
      repeats_left_ = item.repeat;
      return;
    }
  }
  repeats_left_ = 0;
}

void LayoutCursor::advance(int32_t n) {
  repeats_left_ -= n;
  if (repeats_left_ > 0) return;
  ++index_;
  settle();
}

void LayoutCursor::restart() {
  groups_.clear();
  index_ = layout_->restart;
  settle();
}

}  // namespace gp
