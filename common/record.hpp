// Building the records of one output statement: the record buffer, and the
// walk of a layout (or the free form) over the statement's items. Each
// finished record goes to a sink; write_statements.cpp sends it to the unit.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "common/layout.hpp"
#include "common/text_io.hpp"

namespace gp {

// The characters of the record being built, a current position (0-based
// column of the next character) and a length (the highest column written).
// Moving the position past the length leaves a gap that becomes blanks only
// when a later character is written beyond it, so a gap at the end of a
// record is never part of it. The storage grows in steps of 8192 bytes and is
// kept for the next record and the next statement.
class RecordBuffer {
 public:
  static constexpr size_t kGrowthStep = 8192;

  // Forgets the record in progress (the storage stays).
  void clear() { position_ = length_ = 0; }

  // Where the next characters go, with room for `room` of them; blanks any
  // gap before the position. Throws std::bad_alloc when memory is short.
  char* place(size_t room);
  // Records that the characters up to `end` (within the last place()) are written.
  void placed(const char* end);

  void move_right(size_t columns) { position_ += columns; }
  void move_to(size_t column) { position_ = column; }

  std::string_view record() const { return {storage_.data(), length_}; }
  size_t capacity() const { return storage_.size(); }

 private:
  std::vector<char> storage_;
  size_t position_ = 0;
  size_t length_ = 0;
};

// Receives each finished record; borrows the callable it is made from.
class RecordSink {
 public:
  template <class F>
  RecordSink(F& receiver)
      : receiver_(&receiver),
        call_([](void* r, std::string_view record) { (*static_cast<F*>(r))(record); }) {}
  void operator()(std::string_view record) const { call_(receiver_, record); }

 private:
  void* receiver_;
  void (*call_)(void*, std::string_view);
};

// The records of one output statement with `layout`, each passed to `sink`
// in order. Throws std::logic_error for a text item under a value field and
// for items left over that the layout can never take (no value field where
// the layout is used again).
void build_layout_records(RecordBuffer& buffer, const Layout& layout, std::initializer_list<OutItem> items,
                          RecordSink sink);

// The one record of a free-form output statement, passed to `sink`.
void build_free_record(RecordBuffer& buffer, std::initializer_list<OutItem> items, RecordSink sink);

// An output statement whose characters the caller has already built:
// `records` followed by the line end. It may hold several records, each but
// the last ending in its CR LF, which then reach the unit as one piece.
void write_prepared_record(Units& io, int unit, std::string_view records);

}  // namespace gp
