// The lines of a byte stream, read a block at a time. A line that lies whole
// in the block is handed out where it lies; one that runs past the block's
// end is moved to the front before the next read, and the block doubles when
// one line fills it. The text-record layer reads its units with it, and the
// SNP file readers their files.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace gp {

class LineReader {
 public:
  enum class Got : uint8_t { Line, Unterminated, End };

  // `block_size` bytes are asked for per read; the block is allocated at the
  // first read and left uninitialised, so a page is touched only when the
  // input reaches it.
  explicit LineReader(size_t block_size) : size_(block_size) {}

  // The next line without its line feed (a CR before it is kept), valid until
  // the next call. `fill(into, room)` reads at most `room` bytes into `into`
  // and returns how many, 0 at the end of the input; it reports its own
  // failures (it does not return then). Unterminated: the input ends inside
  // the line, which is handed out; End: nothing is left.
  template <class Fill>
  Got next(std::string_view& line, Fill&& fill) {
    size_t searched = begin_;
    for (;;) {
      if (const char* lf = find_line_feed(searched); lf != nullptr) {
        line = take(static_cast<size_t>(lf - block_.get()) - begin_);
        ++begin_;
        return Got::Line;
      }
      if (at_end_) {
        if (begin_ == end_) return Got::End;
        line = take(end_ - begin_);
        return Got::Unterminated;
      }
      searched = make_room();
      const size_t got = fill(block_.get() + end_, size_ - end_);
      if (got == 0) at_end_ = true;
      end_ += got;
    }
  }

  // Bytes read but not yet handed out.
  size_t buffered() const { return end_ - begin_; }

  // Forgets what was read ahead, as after repositioning the input.
  void drop() {
    begin_ = end_ = 0;
    at_end_ = false;
  }

 private:
  const char* find_line_feed(size_t from) const;
  std::string_view take(size_t length) {
    const std::string_view line(block_.get() + begin_, length);
    begin_ += length;
    return line;
  }
  // Moves the unfinished line to the front (growing a full block) and
  // returns where the search for its end goes on.
  size_t make_room();

  std::unique_ptr<char[]> block_;
  size_t size_;
  size_t begin_ = 0;  // the next line's first byte
  size_t end_ = 0;    // bytes in the block
  bool at_end_ = false;
};

}  // namespace gp
