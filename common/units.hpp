// The unit table behind `Units`: open files, their 8192-byte buffers, the
// console, and the record-level input and output that the statements use.
// Only the text-record layer includes this header.
#pragma once

#include <string_view>

#include "common/text_io.hpp"

namespace gp {

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
