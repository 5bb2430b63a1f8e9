// Parsing of the layout notation and the lazy walk over repeats and groups.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "common/layout.hpp"

namespace gp {
namespace {

using Kind = LayoutItem::Kind;

// The walk as text: one token per element visit, repeats expanded.
std::string walk(const Layout& layout, int restarts = 0) {
  LayoutCursor cursor(layout);
  std::string out;
  for (;;) {
    while (!cursor.at_end()) {
      const LayoutItem& item = cursor.current();
      switch (item.kind) {
        case Kind::Text: out += "'" + item.text + "'"; break;
        case Kind::Skip: out += std::to_string(item.width) + "X"; break;
        case Kind::Tab: out += "T" + std::to_string(item.width); break;
        case Kind::Break: out += "/"; break;
        case Kind::Int: out += "I" + std::to_string(item.width); break;
        case Kind::Fixed: out += "F" + std::to_string(item.width) + "." + std::to_string(item.decimals); break;
        case Kind::Exp: out += "E" + std::to_string(item.width) + "." + std::to_string(item.decimals); break;
        default: out += "?"; break;
      }
      out += ' ';
      cursor.advance();
    }
    if (restarts-- == 0) return out;
    out += "| ";
    cursor.restart();
  }
}

TEST(ParseLayout, ElementsRepeatsAndText) {
  const Layout data = parse_layout("I6,1X,2F8.2,1X,20000I1");
  ASSERT_EQ(5u, data.items.size());
  EXPECT_EQ(Kind::Fixed, data.items[2].kind);
  EXPECT_EQ(2, data.items[2].repeat);
  EXPECT_EQ(20000, data.items[4].repeat);
  EXPECT_EQ(0u, data.restart);
  EXPECT_TRUE(data.has_value_field);

  EXPECT_FALSE(parse_layout("//'x'").has_value_field);
  EXPECT_EQ("'it's' ", walk(parse_layout("'it''s'")));
  EXPECT_EQ("/ / 'x' ", walk(parse_layout("//'x'")));
  EXPECT_EQ("/ / I3 ", walk(parse_layout("2/,I3")));
  EXPECT_EQ("I3 / I4 ", walk(parse_layout("I3/I4")));
  EXPECT_EQ("I0 F0.2 E8.2 T5 3X ", walk(parse_layout(" i0 , f0.2,e8.2 ,T5,3x")));
  EXPECT_EQ("", walk(parse_layout("")));
}

TEST(ParseLayout, GroupsAndRestartPoint) {
  EXPECT_EQ("'h' I1 'a' I1 'a' ", walk(parse_layout("'h',2(I1,'a')")));
  EXPECT_EQ("I1 I2 I2 I1 I2 I2 ", walk(parse_layout("2(I1,2(I2))")));
  EXPECT_EQ("'h' I2 I2 | I2 I2 | I2 I2 ", walk(parse_layout("'h',2(I2)"), 2));
  EXPECT_EQ("I1 I2 | I1 I2 ", walk(parse_layout("I1,I2"), 1));
  EXPECT_EQ(1u, parse_layout("'h',2(I2)").restart);
}

TEST(ParseLayout, MalformedLayoutsAreRejected) {
  const char* bad[] = {"I",     "F8",   "F8.",  "E0.2", "0X",    "X",         "2T5",   "T0",
                       "'abc",  "I3 I4", "(I3", "I3)",  "Q5",    "F0.17",     ",I3",   "99999999999I1",
                       "2'ab'", "I3;"};
  for (const char* text : bad) {
    EXPECT_THROW(parse_layout(text), std::invalid_argument) << "layout " << text;
  }
  EXPECT_NO_THROW(parse_layout("F0.16"));
  EXPECT_NO_THROW(parse_layout("F8.20"));
}

}  // namespace
}  // namespace gp
