// The conversion of one numeric field or free-form value of an input record,
// shared by the input statements and by readers that take a record's fields
// straight from its characters.
#pragma once

#include <cstdint>
#include <string_view>

namespace gp {

// Illegal: a character the number syntax does not allow (the input statements
// report "Illegal character in numeric input"); Overflow: an integer beyond
// 32 bits ("Integer overflow in numeric input").
enum class FieldParse : uint8_t { Ok, Illegal, Overflow };

// An optional sign and digits, blanks and tabs skipped anywhere. With
// `need_digit` false an empty field or a lone sign reads 0 (layout fields);
// free-form values must hold a digit. `value` is set only on Ok.
FieldParse parse_int_field(std::string_view text, bool need_digit, int32_t& value);

// An optional sign, digits with at most one point and an optional exponent
// (E or D, or a sign directly followed by digits), converted once to single
// precision. Without a point the last `implied_decimals` digits are decimals
// (Fw.d reads "1234" as 12.34). With `need_digit` false an empty field, a
// lone sign or a lone point reads 0. `value` is set only on Ok.
FieldParse parse_real_field(std::string_view text, int implied_decimals, bool need_digit, float& value);

// The field of `width` columns from `column` (0-based), as a layout cuts it:
// shorter, or empty, past the record's end.
inline std::string_view field_text(std::string_view record, size_t column, size_t width) {
  return column < record.size() ? record.substr(column, width) : std::string_view();
}

}  // namespace gp
