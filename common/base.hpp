// Shared base of both programs.
//
// Conventions
// - The unit table (`Units&`) is the first parameter of every operation that
//   reads or writes text; the unit number comes second.
// - Number writers take the start of the output and return the end pointer
//   (`char* write_x(char* out, ...)`); `kMax...Width` names how much room
//   they may need.
// - Reals are `float` (IEEE single) unless a name or comment says double;
//   integers that the files carry are `int32_t`.
// - Arrays are 0-based in code; messages and files count from 1.
// - Counts that size memory are `int64_t` or `size_t`, never a product of two
//   32-bit values.
// - Every failure ends the run through the error report (text_io.hpp); no
//   operation returns an error code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gp {

// Unit number of the console (standard input and output). Files use 1, 2, 3.
inline constexpr int kConsole = 0;

// Exit status after the orderly end and after the error report.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 255;

}  // namespace gp
