#include "common/line_reader.hpp"

#include <cstring>

namespace gp {

const char* LineReader::find_line_feed(size_t from) const {
  if (from >= end_) return nullptr;
  return static_cast<const char*>(std::memchr(block_.get() + from, '\n', end_ - from));
}

size_t LineReader::make_room() {
  if (!block_) block_ = std::make_unique_for_overwrite<char[]>(size_);
  const size_t pending = end_ - begin_;
  if (begin_ > 0) std::memmove(block_.get(), block_.get() + begin_, pending);
  begin_ = 0;
  end_ = pending;
  if (end_ == size_) {
    auto larger = std::make_unique_for_overwrite<char[]>(2 * size_);
    std::memcpy(larger.get(), block_.get(), end_);
    block_ = std::move(larger);
    size_ *= 2;
  }
  return pending;
}

}  // namespace gp
