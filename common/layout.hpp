// The layout notation: a record layout written once as text, parsed once, and
// walked by the input and output statements of text_io.hpp.
//
// Text form, elements separated by commas:
//   Iw  I0  Fw.d  F0.d  Ew.d     value fields (w = 0: as few columns as needed)
//   nX  Tc                       move n columns right / to column c
//   /                            record break (also without a comma: "//'x'")
//   'text'                       literal text ('' stands for one quote)
//   kF  k(group)                 repeat a field or a group k times
// Example: "I6,1X,2F8.2,1X,20000I1".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gp {

struct LayoutItem {
  enum class Kind : uint8_t { Text, Skip, Tab, Break, Int, Fixed, Exp, Open, Close };
  explicit LayoutItem(Kind k) : kind(k) {}

  Kind kind;
  int32_t repeat = 1;    // fields, breaks and groups; 1 for the rest
  int32_t width = 0;     // Iw/Fw.d/Ew.d: w; nX: n; Tc: c
  int32_t decimals = 0;  // Fw.d/Ew.d: d
  int32_t partner = 0;   // Open: index of its Close; Close: index of its Open
  std::string text;      // Text only

  bool is_value_field() const { return kind == Kind::Int || kind == Kind::Fixed || kind == Kind::Exp; }
};

// A parsed layout. `restart` is where the layout is used again when items
// remain after its last field: the start, or its last element when that is a
// repeated group.
struct Layout {
  std::vector<LayoutItem> items;
  size_t restart = 0;
  bool has_value_field = false;
};

// Parses the text form; throws std::invalid_argument on a malformed layout
// (layouts are written in the program, so this is a programming error).
Layout parse_layout(std::string_view text);

// Walks a layout element by element, expanding repeats and groups lazily so a
// field repeated 20000 times costs nothing until it is used.
class LayoutCursor {
 public:
  explicit LayoutCursor(const Layout& layout);

  // True when the layout has no element left.
  bool at_end() const { return index_ >= layout_->items.size(); }
  // The element to process next (never Open or Close); only when !at_end().
  const LayoutItem& current() const { return layout_->items[index_]; }
  // How many repeats of current() are left, itself included.
  int32_t repeats_left() const { return repeats_left_; }
  // Consumes n (1 <= n <= repeats_left()) repeats of current().
  void advance(int32_t n = 1);
  // Continues at the layout's restart point (after the layout ran out).
  void restart();

 private:
  struct Group { size_t open; int32_t left; };
  void settle();  // processes group brackets until a plain element or the end

  const Layout* layout_;
  size_t index_ = 0;
  int32_t repeats_left_ = 0;
  std::vector<Group> groups_;
};

}  // namespace gp
