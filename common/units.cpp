#include "common/units.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace gp {
namespace {

constexpr int kStdin = 0;
constexpr int kStdout = 1;
constexpr int kStderr = 2;

UnitFile& unit_file(Units& io, int unit) {
  UnitTable& table = io.table();
  if (unit == kConsole) return table.console;
  auto found = table.files.find(unit);
  if (found == table.files.end()) {
    throw std::invalid_argument("unit " + std::to_string(unit) + " is not open");
  }
  return found->second;
}

// Writes all `size` bytes, resuming after partial writes and interruptions.
// Returns how many reached the file: `size`, or fewer with errno set when
// the system refused the rest.
size_t write_all(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t written = ::write(fd, data + done, size - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return done;
    }
    done += static_cast<size_t>(written);
  }
  return done;
}

// Bytes at the end of `data` after its last line feed, or -1 with none.
ssize_t tail_after_last_record(const char* data, size_t size) {
  const void* line_feed = ::memrchr(data, '\n', size);
  return line_feed ? static_cast<ssize_t>(data + size - static_cast<const char*>(line_feed) - 1) : -1;
}

// After a refused write the file is cut right after its last complete
// record: no piece of a record, and nothing of an earlier file's content,
// stays behind the records this run wrote.
void keep_complete_records(UnitFile& file, const char* data, size_t written) {
  if (!file.regular) return;
  const ssize_t tail = tail_after_last_record(data, written);
  const off_t piece = tail >= 0 ? tail : file.record_tail + static_cast<off_t>(written);
  const off_t end = ::lseek(file.fd, 0, SEEK_CUR);
  if (end >= piece) (void)::ftruncate(file.fd, end - piece);
  file.cut_pending = false;
}

// Writes `size` bytes to the file; the first write after an open or a
// repositioning cuts the file right after them, so what was there before
// the written data is gone and nothing of the old content survives beyond.
bool write_file(UnitFile& file, const char* data, size_t size) {
  const size_t written = write_all(file.fd, data, size);
  if (written < size) {
    const int error = errno;
    keep_complete_records(file, data, written);
    errno = error;
    return false;
  }
  const ssize_t tail = tail_after_last_record(data, size);
  file.record_tail = tail >= 0 ? tail : file.record_tail + static_cast<off_t>(size);
  if (file.cut_pending) {
    file.cut_pending = false;
    if (file.regular) {
      const off_t end = ::lseek(file.fd, 0, SEEK_CUR);
      if (end < 0 || ::ftruncate(file.fd, end) != 0) return false;
    }
  }
  return true;
}

// Writes the buffered output of a file unit. The buffer is emptied even when
// the system refuses, so a report that follows does not try the same bytes
// twice. False with errno set on failure.
bool flush_file(UnitFile& file) {
  if (file.out.empty()) return true;
  const bool ok = write_file(file, file.out.data(), file.out.size());
  file.out.clear();
  return ok;
}

bool flush_console_output(UnitTable& table) {
  std::vector<char>& out = table.console.out;
  if (out.empty()) return true;
  bool ok = true;
  if (table.capture != nullptr) {
    table.capture->output.append(out.data(), out.size());
  } else {
    ok = write_all(kStdout, out.data(), out.size()) == out.size();
  }
  out.clear();
  return ok;
}

void flush_or_report(Units& io, UnitFile& file, Statement statement, int unit) {
  if (!flush_file(file)) system_error(io, errno, statement, unit);
}

// The file position of the next record when the unit was reading ahead.
off_t logical_position(const UnitFile& file) {
  const off_t read_ahead = static_cast<off_t>(file.lines.buffered());
  const off_t fd_position = ::lseek(file.fd, 0, SEEK_CUR);
  return fd_position < 0 ? fd_position : fd_position - read_ahead;
}

// A write after reads starts at the record after the last one read and
// becomes the file's last record: the file is cut after it at the flush.
void begin_writing(Units& io, UnitFile& file, int unit) {
  if (file.write_error != 0) system_error(io, file.write_error, Statement::Write, unit);
  if (file.mode == UnitFile::Mode::Reading) {
    const off_t position = logical_position(file);
    if (position < 0 || ::lseek(file.fd, position, SEEK_SET) < 0) {
      system_error(io, errno, Statement::Write, unit);
    }
    file.lines.drop();
    file.cut_pending = true;
    file.record_tail = 0;
  }
  file.mode = UnitFile::Mode::Writing;
}

// Flushes and closes every file unit and the console output. With
// `report_failures` a refusal by the system goes to the report; without, it
// is ignored (the report is already on its way).
void close_all(Units& io, bool report_failures) {
  UnitTable& table = io.table();
  const bool console_ok = flush_console_output(table);
  if (!console_ok && report_failures) system_error(io, errno, Statement::None, kConsole);
  while (!table.files.empty()) {
    auto first = table.files.begin();
    const int unit = first->first;
    UnitFile file = std::move(first->second);
    table.files.erase(first);
    bool ok = flush_file(file);
    int error = errno;
    if (::close(file.fd) != 0 && ok) {
      ok = false;
      error = errno;
    }
    if (!ok && report_failures) system_error(io, error, Statement::None, unit);
  }
}

const char* statement_name(Statement statement) {
  switch (statement) {
    case Statement::Read: return "READ";
    case Statement::Write: return "WRITE";
    case Statement::Open: return "OPEN";
    case Statement::Rewind: return "REWIND";
    case Statement::None: break;
  }
  return "";
}

// Each line goes out with one write, so a report is never interleaved
// within a line with other output of the process.
void report_line(UnitTable& table, const std::string& line) {
  if (table.capture != nullptr) {
    table.capture->errors += line;
  } else {
    (void)write_all(kStderr, line.data(), line.size());
  }
}

[[noreturn]] void report(Units& io, std::string_view header, std::string_view message, Statement statement,
                         int unit) {
  UnitTable& table = io.table();
  // Taken out first: a failure while writing the held output is reported
  // on its own.
  if (const std::function<void()> held = std::exchange(table.held_output, nullptr)) held();
  close_all(io, /*report_failures=*/false);
  report_line(table, "? " + std::string(header) + "\r\n");
  report_line(table, "? " + std::string(message) + "\r\n");
  if (statement != Statement::None) {
    const std::string unit_text = unit == kConsole ? "*" : std::to_string(unit);
    report_line(table, "? " + std::string(statement_name(statement)) + "(UNIT=" + unit_text + ",...\n");
  }
  throw ProgramEnd{kExitFailure};
}

// Reads at most `room` bytes of the unit's input into `into`: how many, 0
// at the end of the input.
size_t read_input(Units& io, const UnitFile& file, int unit, char* into, size_t room) {
  UnitTable& table = io.table();
  if (unit == kConsole && table.capture != nullptr) {
    const std::string& input = table.capture->input;
    const size_t size = std::min(room, input.size() - std::min(table.capture_pos, input.size()));
    std::memcpy(into, input.data() + table.capture_pos, size);
    table.capture_pos += size;
    return size;
  }
  const int fd = unit == kConsole ? kStdin : file.fd;
  for (;;) {
    const ssize_t got = ::read(fd, into, room);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno != EINTR) system_error(io, errno, Statement::Read, unit);
  }
}

void begin_reading(Units& io, UnitFile& file, int unit) {
  if (unit == kConsole) {
    flush_console(io);
  } else if (file.mode == UnitFile::Mode::Writing) {
    flush_or_report(io, file, Statement::Read, unit);
  }
  file.mode = UnitFile::Mode::Reading;
}

bool has_cr_or_tab(const char* start, size_t size) {
  return std::memchr(start, '\r', size) != nullptr || std::memchr(start, '\t', size) != nullptr;
}

// The first `c` in [from, end), or end.
const char* find_or_end(const char* from, const char* end, char c) {
  const void* found = std::memchr(from, c, static_cast<size_t>(end - from));
  return found != nullptr ? static_cast<const char*>(found) : end;
}

// Appends `size` bytes of a record to `record`, dropping CRs and expanding
// each tab with blanks up to the next multiple of `tab_width` (one blank
// when the width is 0). Runs of plain characters are copied whole; the next
// CR and the next tab are each looked up only once the last one is passed.
void append_expanded(std::string& record, const char* start, size_t size, int tab_width) {
  const char* end = start + size;
  const char* cr = find_or_end(start, end, '\r');
  const char* tab = find_or_end(start, end, '\t');
  while (start < end) {
    if (cr < start) cr = find_or_end(start, end, '\r');
    if (tab < start) tab = find_or_end(start, end, '\t');
    const char* run = std::min(cr, tab);
    record.append(start, run);
    if (run == end) return;
    if (*run == '\t') {
      const size_t column = record.size();
      const size_t width = static_cast<size_t>(tab_width);
      record.append(width == 0 ? 1 : width - column % width, ' ');
    }
    start = run + 1;
  }
}

}  // namespace

std::string_view failure_text(Failure failure) {
  switch (failure) {
    case Failure::PastEndOfFile: return "Attempt to read past end of file";
    case Failure::IllegalCharacter: return "Illegal character in numeric input";
    case Failure::AllocationFails: return "Runtime memory allocation fails";
    case Failure::BufferAllocation: return "Buffer allocation failed";
    case Failure::IntegerOverflow: return "Integer overflow in numeric input";
  }
  return "Unknown failure";
}

int tab_width_from(const char* value) {
  if (value == nullptr || *value == '\0') return kDefaultTabWidth;
  int64_t width = 0;
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return kDefaultTabWidth;
    width = width * 10 + (*c - '0');
    if (width > INT32_MAX) return kDefaultTabWidth;
  }
  return static_cast<int>(width);
}

Units::Units(ConsoleCapture* capture, std::string directory) : table_(std::make_unique<UnitTable>()) {
  table_->capture = capture;
  table_->directory = std::move(directory);
  table_->tab_width = tab_width_from(std::getenv("TABSIZE"));
  table_->console.lines = LineReader(kBlockSize);
}

// Normally every unit is closed already (end of program or report). A table
// dropped without either still gets its output out, as far as the system
// allows; failures can no longer be reported here.
Units::~Units() {
  (void)flush_console_output(*table_);
  for (auto& [unit, file] : table_->files) {
    (void)flush_file(file);
    ::close(file.fd);
  }
}

void open_unit(Units& io, int unit, std::string_view name) {
  if (unit == kConsole) throw std::invalid_argument("the console cannot be opened as a file");
  UnitTable& table = io.table();
  if (table.files.count(unit) != 0) {
    UnitFile& old = table.files[unit];
    flush_or_report(io, old, Statement::Open, unit);
    ::close(old.fd);
    table.files.erase(unit);
  }
  const size_t end = name.find_last_not_of(' ');
  name = end == std::string_view::npos ? std::string_view() : name.substr(0, end + 1);
  std::string path(name);
  if (!table.directory.empty()) path = table.directory + "/" + path;

  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  // A file the user may read but not write (a protected parameter file, a
  // read-only disk) is opened for reading; its first write is refused with
  // the reason the system gave here.
  int write_error = 0;
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    write_error = errno;
    do {
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) errno = write_error;
  }
  if (fd < 0) system_error(io, errno, Statement::Open, unit);
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    const int error = errno;
    ::close(fd);
    system_error(io, error, Statement::Open, unit);
  }
  UnitFile& file = table.files[unit];
  file.fd = fd;
  file.write_error = write_error;
  file.regular = S_ISREG(status.st_mode);
  file.cut_pending = true;
  file.out.reserve(kBlockSize);
}

void cut_unit(Units& io, int unit) {
  UnitFile& file = unit_file(io, unit);
  if (unit == kConsole) return;
  begin_writing(io, file, unit);
  flush_or_report(io, file, Statement::Write, unit);
  file.cut_pending = false;
  if (!file.regular) return;
  const off_t position = ::lseek(file.fd, 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(file.fd, position) != 0) system_error(io, errno, Statement::Write, unit);
}

void flush_unit(Units& io, int unit) {
  if (unit == kConsole) {
    flush_console(io);
    return;
  }
  flush_or_report(io, unit_file(io, unit), Statement::Write, unit);
}

void rewind_unit(Units& io, int unit) {
  UnitFile& file = unit_file(io, unit);
  if (unit == kConsole) {
    flush_console(io);
    return;
  }
  flush_or_report(io, file, Statement::Rewind, unit);
  if (::lseek(file.fd, 0, SEEK_SET) < 0) system_error(io, errno, Statement::Rewind, unit);
  file.lines.drop();
  file.mode = UnitFile::Mode::Idle;
  file.cut_pending = true;
  file.record_tail = 0;
}

void put_record(Units& io, int unit, std::string_view chars) {
  UnitFile& file = unit_file(io, unit);
  if (unit == kConsole) {
    file.out.insert(file.out.end(), chars.begin(), chars.end());
    file.out.push_back('\r');
    file.out.push_back('\n');
    return;
  }
  begin_writing(io, file, unit);
  const auto append = [&](const char* data, size_t size) {
    while (size > 0) {
      if (file.out.empty() && size >= kBlockSize) {
        const size_t whole = size - size % kBlockSize;
        if (!write_file(file, data, whole)) system_error(io, errno, Statement::Write, unit);
        data += whole;
        size -= whole;
        continue;
      }
      const size_t take = std::min(size, kBlockSize - file.out.size());
      file.out.insert(file.out.end(), data, data + take);
      data += take;
      size -= take;
      if (file.out.size() == kBlockSize) flush_or_report(io, file, Statement::Write, unit);
    }
  };
  append(chars.data(), chars.size());
  append("\r\n", 2);
}

void flush_console(Units& io) {
  if (!flush_console_output(io.table())) system_error(io, errno, Statement::Write, kConsole);
}

std::string_view next_record(Units& io, int unit) {
  UnitFile& file = unit_file(io, unit);
  begin_reading(io, file, unit);
  std::string_view line;
  const auto read = [&](char* into, size_t room) { return read_input(io, file, unit, into, room); };
  if (file.lines.next(line, read) != LineReader::Got::Line) {
    fatal_error(io, Failure::PastEndOfFile, Statement::Read, unit);
  }
  // A record with nothing to rewrite but the CR of its line end is handed
  // out where it lies.
  const size_t chars = !line.empty() && line.back() == '\r' ? line.size() - 1 : line.size();
  if (!has_cr_or_tab(line.data(), chars)) return line.substr(0, chars);
  file.record.clear();
  append_expanded(file.record, line.data(), line.size(), io.table().tab_width);
  return file.record;
}

void hold_output(Units& io, std::function<void()> write_held) { io.table().held_output = std::move(write_held); }

void end_program(Units& io) {
  close_all(io, /*report_failures=*/true);
  throw ProgramEnd{kExitOk};
}

void fatal_error(Units& io, Failure failure, Statement statement, int unit) {
  report(io, "KALDREN Runtime Error:", failure_text(failure), statement, unit);
}

void system_error(Units& io, int error_number, Statement statement, int unit) {
  report(io, "System Error:", std::strerror(error_number), statement, unit);
}

void input_error(Units& io, std::string_view message, Statement statement, int unit) {
  report(io, "Input Error:", message, statement, unit);
}

int run_program(Units& io, const std::function<void()>& main_procedure) {
  int status = kExitFailure;
  try {
    try {
      main_procedure();
      end_program(io);
    } catch (const std::bad_alloc&) {
      fatal_error(io, Failure::BufferAllocation);
    }
  } catch (const ProgramEnd& end) {
    status = end.status;
  }
  return status;
}

}  // namespace gp
