#include "common/digit_run.hpp"

#include <algorithm>

namespace gp {

bool read_digit_run(std::string_view record, size_t column, std::span<int32_t> out) {
  const size_t present = column < record.size() ? std::min(record.size() - column, out.size()) : 0;
  const unsigned char* chars = reinterpret_cast<const unsigned char*>(record.data());
  for (size_t k = 0; k < present; ++k) {
    const unsigned c = chars[column + k];
    const unsigned digit = c - '0';
    if (digit <= 9) {
      out[k] = static_cast<int32_t>(digit);
    } else if (c == ' ' || c == '\t' || c == '+' || c == '-') {
      out[k] = 0;
    } else {
      return false;
    }
  }
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(present), out.end(), 0);
  return true;
}

}  // namespace gp
