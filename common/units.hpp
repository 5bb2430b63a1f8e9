// The unit table behind `Units`: open files, their 8192-byte buffers, the
// console, and the record-level input and output that the statements use.
// Only the text-record layer includes this header.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/line_reader.hpp"
#include "common/text_io.hpp"

namespace gp {

// Bytes moved per write of a file, and per read of the console.
inline constexpr size_t kBlockSize = 8192;

// Bytes asked for per read of a file: room for ten records of 50 000 SNPs,
// so most records lie whole in a block and are handed out without a copy,
// with a hundredth of the system calls. What a program reads does not
// depend on it.
inline constexpr size_t kFileReadBlockSize = size_t{1} << 20;

// Tab width when TABSIZE is absent or not a non-negative number.
inline constexpr int kDefaultTabWidth = 8;

// One open unit. A unit is either reading or writing; switching from one to
// the other repositions the file at the record where the switch happens.
struct UnitFile {
  enum class Mode : uint8_t { Idle, Reading, Writing };

  int fd = -1;                // the file; for the console -1 (standard streams or capture)
  bool regular = false;       // a regular file, which can be cut
  bool cut_pending = false;   // cut the file right after the data of the next flush
  off_t record_tail = 0;      // bytes written after the last complete record
  int write_error = 0;        // errno that refused opening for writing; the unit reads only
  Mode mode = Mode::Idle;
  std::vector<char> out;      // output not yet written (files flush at kBlockSize)
  LineReader lines{kFileReadBlockSize};  // input, read ahead a block at a time
  std::string record;         // a record rewritten (CR, tab)
};

struct UnitTable {
  ConsoleCapture* capture = nullptr;  // null: the process's standard streams
  std::string directory;              // empty: the current directory
  int tab_width = kDefaultTabWidth;   // 0: a tab reads as one blank
  size_t capture_pos = 0;             // next byte of capture->input
  UnitFile console;                   // its `out` holds the current console statement
  std::map<int, UnitFile> files;
  std::function<void()> held_output;  // see hold_output
};

// The tab width TABSIZE asks for: a non-negative decimal number (at most
// 2147483647), otherwise kDefaultTabWidth. `value` null: the variable is absent.
int tab_width_from(const char* value);

// Appends one record (its characters, then CR LF) to the unit's output.
void put_record(Units& io, int unit, std::string_view chars);

// Ends a console output statement: everything written so far reaches
// standard output (console records are never held back between statements).
void flush_console(Units& io);

// The unit's next input record, with every CR dropped and tabs expanded to
// the tab stops; valid until the next call for that unit. A file that ends
// before the record's line feed ends the run with "Attempt to read past end
// of file".
std::string_view next_record(Units& io, int unit);

}  // namespace gp
