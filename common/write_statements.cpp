// The output statements: records are built in one buffer shared by all
// statements of the run (the programs are single-threaded and statements do
// not nest) and handed to the unit record by record.
#include <new>

#include "common/record.hpp"
#include "common/text_io.hpp"
#include "common/units.hpp"

namespace gp {
namespace {

RecordBuffer& statement_buffer() {
  static RecordBuffer buffer;
  return buffer;
}

template <class Build>
void run_output_statement(Units& io, int unit, Build build) {
  auto emit = [&io, unit](std::string_view record) { put_record(io, unit, record); };
  try {
    build(statement_buffer(), RecordSink(emit));
  } catch (const std::bad_alloc&) {
    fatal_error(io, Failure::BufferAllocation, Statement::Write, unit);
  }
  if (unit == kConsole) flush_console(io);
}

}  // namespace

void write_record(Units& io, int unit, const Layout& layout, std::initializer_list<OutItem> items) {
  run_output_statement(io, unit, [&](RecordBuffer& buffer, RecordSink sink) {
    build_layout_records(buffer, layout, items, sink);
  });
}

void write_prepared_record(Units& io, int unit, std::string_view records) {
  try {
    put_record(io, unit, records);
  } catch (const std::bad_alloc&) {
    fatal_error(io, Failure::BufferAllocation, Statement::Write, unit);
  }
  if (unit == kConsole) flush_console(io);
}

void write_free(Units& io, int unit, std::initializer_list<OutItem> items) {
  run_output_statement(io, unit, [&](RecordBuffer& buffer, RecordSink sink) {
    build_free_record(buffer, items, sink);
  });
}

}  // namespace gp
