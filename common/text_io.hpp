// The text-record layer: every character that either program reads or writes
// goes through these statements.
//
// A statement is the unit of work. An output statement writes one or more
// complete records (lines ending in CR LF); an input statement starts at the
// next record and always finishes with its last record consumed. Statements
// have no error branch: every failure ends the run through the error report
// (`fatal_error`), which flushes and closes every unit first.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/base.hpp"
#include "common/layout.hpp"

namespace gp {

// The kind of statement named in the report's last line: "? READ(UNIT=2,...".
enum class Statement : uint8_t { None, Read, Write, Open, Rewind };

// The layer's own failures, each with one fixed message (`failure_text`).
enum class Failure : uint8_t {
  PastEndOfFile,     // "Attempt to read past end of file"
  IllegalCharacter,  // "Illegal character in numeric input"
  AllocationFails,   // "Runtime memory allocation fails"
  BufferAllocation,  // "Buffer allocation failed"
  IntegerOverflow,   // "Integer overflow in numeric input"
};
std::string_view failure_text(Failure failure);

// Thrown by `end_program` and by the error report once all output is out;
// `run_program` turns it into the exit status. Nothing else catches it.
struct ProgramEnd {
  int status;
};

// A console held in memory, for running a program inside a test.
struct ConsoleCapture {
  std::string input;   // what standard input would deliver
  std::string output;  // what the program wrote to standard output
  std::string errors;  // what it wrote to standard error
};

// One item of an output statement: an integer, a real, a character string,
// or an array of integers or reals (taken item by item). A double-precision
// scalar fills an Ew.d field with its own digits (no other field takes it).
class OutItem {
 public:
  enum class Kind : uint8_t { Int, Real, Double, Text };
  OutItem(int32_t value) : kind_(Kind::Int), count_(1), int_(value) {}
  OutItem(float value) : kind_(Kind::Real), count_(1), real_(value) {}
  OutItem(double value) : kind_(Kind::Double), count_(1), double_(value) {}
  OutItem(std::string_view text) : kind_(Kind::Text), count_(1), text_(text) {}
  OutItem(const char* text) : OutItem(std::string_view(text)) {}
  OutItem(std::span<const int32_t> values) : kind_(Kind::Int), count_(values.size()), ints_(values.data()) {}
  OutItem(std::span<const float> values) : kind_(Kind::Real), count_(values.size()), reals_(values.data()) {}
  OutItem(const std::vector<int32_t>& values) : OutItem(std::span<const int32_t>(values)) {}
  OutItem(const std::vector<float>& values) : OutItem(std::span<const float>(values)) {}

  Kind kind() const { return kind_; }
  size_t count() const { return count_; }
  int32_t int_at(size_t i) const { return ints_ ? ints_[i] : int_; }
  float real_at(size_t i) const { return reals_ ? reals_[i] : real_; }
  double double_value() const { return double_; }
  const int32_t* ints() const { return ints_; }  // null for a scalar
  std::string_view text() const { return text_; }

 private:
  Kind kind_;
  size_t count_;
  int32_t int_ = 0;
  float real_ = 0.0f;
  double double_ = 0.0;
  const int32_t* ints_ = nullptr;
  const float* reals_ = nullptr;
  std::string_view text_;
};

// One target of an input statement: an integer, a real, or an array of
// either, filled value by value.
class InItem {
 public:
  enum class Kind : uint8_t { Int, Real };
  InItem(int32_t& value) : kind_(Kind::Int), count_(1), ints_(&value) {}
  InItem(float& value) : kind_(Kind::Real), count_(1), reals_(&value) {}
  InItem(std::span<int32_t> values) : kind_(Kind::Int), count_(values.size()), ints_(values.data()) {}
  InItem(std::span<float> values) : kind_(Kind::Real), count_(values.size()), reals_(values.data()) {}
  InItem(std::vector<int32_t>& values) : InItem(std::span<int32_t>(values)) {}
  InItem(std::vector<float>& values) : InItem(std::span<float>(values)) {}

  Kind kind() const { return kind_; }
  size_t count() const { return count_; }
  int32_t* ints() const { return ints_; }
  float* reals() const { return reals_; }

 private:
  Kind kind_;
  size_t count_;
  int32_t* ints_ = nullptr;
  float* reals_ = nullptr;
};

struct UnitTable;  // defined in units.hpp

// The unit table of one program run: the console and every opened file.
class Units {
 public:
  // `capture` null: the console is the process's standard streams.
  // `directory` empty: file names are taken in the current directory.
  explicit Units(ConsoleCapture* capture = nullptr, std::string directory = {});
  ~Units();
  Units(const Units&) = delete;
  Units& operator=(const Units&) = delete;

  UnitTable& table() { return *table_; }

 private:
  std::unique_ptr<UnitTable> table_;
};

// Opens the named file (trailing blanks removed) on `unit`: an empty file is
// created when none exists; an existing one keeps its content until the first
// output to it reaches the file, which then replaces it.
void open_unit(Units& io, int unit, std::string_view name);

// Cuts the file of `unit` at its current position now, as a first write
// would, so an opened file that receives no record still ends up empty.
void cut_unit(Units& io, int unit);

// The next read of `unit` starts again at the first record. No program
// rewinds now (kolber keeps the training values it loaded); the layer keeps
// its statement for the tests and the record benchmark, which read again.
void rewind_unit(Units& io, int unit);

// Writes the records held for `unit` to its file now, so that a refusal by
// the system is reported before the program tells the user its files are
// complete.
void flush_unit(Units& io, int unit);

// Output statements: with a layout, or in free form (one record).
void write_record(Units& io, int unit, const Layout& layout, std::initializer_list<OutItem> items = {});
void write_free(Units& io, int unit, std::initializer_list<OutItem> items = {});

// Input statements: with a layout, or in free form. With no items each
// consumes exactly one record.
void read_record(Units& io, int unit, const Layout& layout, std::initializer_list<InItem> items = {});
void read_free(Units& io, int unit, std::initializer_list<InItem> items = {});

// Output a stage owes its files but holds back, say the lines of records
// read but waiting for one computation over all of them: a report of a
// failure first calls `write_held` (once), so the files end as if every line
// had been written as soon as its record was read. An empty function, or
// one of its own, replaces the earlier one.
void hold_output(Units& io, std::function<void()> write_held);

// The orderly end: flush and close every unit, print nothing, exit status 0.
[[noreturn]] void end_program(Units& io);

// The run-time error report: every unit flushed and closed, then on standard
// error "? KALDREN Runtime Error:", "? <message>" and, for a failure inside a
// statement, "? READ(UNIT=2,..."; exit status 255.
[[noreturn]] void fatal_error(Units& io, Failure failure, Statement statement = Statement::None,
                              int unit = kConsole);

// A failure reported by the operating system: as above with the header
// "? System Error:" and the system's description of `error_number`.
[[noreturn]] void system_error(Units& io, int error_number, Statement statement, int unit);

// A program's own check of its input failed: header "? Input Error:", then
// the message (which names the value and what is accepted), then the
// statement line when `statement` is not None.
[[noreturn]] void input_error(Units& io, std::string_view message, Statement statement = Statement::None,
                              int unit = kConsole);

// Runs a program's main procedure and returns its exit status: 0 after
// `end_program`, 255 after a report. A procedure that returns without
// calling `end_program` ends as if it had.
int run_program(Units& io, const std::function<void()>& main_procedure);

// An array of `count` zeroed elements (a negative count gives an empty one);
// ends the run with "Runtime memory allocation fails" when memory is short.
template <class T, class Allocator = std::allocator<T>>
std::vector<T, Allocator> allocate_array(Units& io, int64_t count) {
  try {
    return std::vector<T, Allocator>(static_cast<size_t>(count > 0 ? count : 0));
  } catch (const std::bad_alloc&) {
    fatal_error(io, Failure::AllocationFails);
  } catch (const std::length_error&) {
    fatal_error(io, Failure::AllocationFails);
  }
}

}  // namespace gp
