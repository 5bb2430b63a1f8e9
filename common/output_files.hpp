// Output files written under temporary names in their folder and renamed to
// their names only when every one is complete, so a refused, failed or
// interrupted run leaves an earlier set as it was and no file of its own;
// and the writers of their lines, each taking and returning a char* end.
#pragma once

#include <sys/types.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gp {

inline char* put(char* out, std::string_view text) {
  for (char c : text) *out++ = c;
  return out;
}

inline char* put_int(char* out, int64_t value) { return std::to_chars(out, out + 24, value).ptr; }

// The shortest text that reads back as `value` (float or double); zero
// without a sign, and NaN, Inf and -Inf as R and pandas read them.
template <class Real>
char* put_real(char* out, Real value) {
  if (std::isnan(value)) return put(out, "NaN");
  if (std::isinf(value)) return put(out, value > 0 ? "Inf" : "-Inf");
  return std::to_chars(out, out + 32, value == 0 ? Real{0} : value).ptr;
}

// One temporary file being written; the first failure is kept and thrown as
// a Refusal (CannotWrite) by finish().
class TemporaryFile {
 public:
  static constexpr size_t kMaxLineChars = 512;

  // Created from `path_template` (its XXXXXX followed by `suffix`
  // characters) with the permissions `mode`; `shown` names it in messages.
  TemporaryFile(const std::string& path_template, size_t suffix, std::string shown, mode_t mode);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }

  void append(std::span<const char> chars);

  // Lines first .. last, each written by `line(char* out, i)` (at most
  // kMaxLineChars) which returns its end.
  template <class LineWriter>
  void lines(int64_t first, int64_t last, LineWriter line) {
    for (int64_t i = first; i <= last; ++i) {
      const size_t used = buffer_.size();
      buffer_.resize(used + kMaxLineChars);
      buffer_.resize(static_cast<size_t>(line(buffer_.data() + used, i) - buffer_.data()));
      if (buffer_.size() >= kFlushBytes) flush();
    }
    flush();
  }

  void finish();

 private:
  // Lines reach the file 64 KiB at a time, so no file is held whole.
  static constexpr size_t kFlushBytes = size_t{1} << 16;

  void flush() {
    append(buffer_);
    buffer_.clear();
  }

  std::string path_, shown_;
  int fd_ = -1;
  int error_ = 0;
  std::vector<char> buffer_;
};

// The files PREFIX.ext of one run: each written under a temporary name
// ".PROGRAM-XXXXXX.ext" in the prefix's folder, removed unless all are renamed.
class OutputFiles {
 public:
  // `prefix` a path; `shown` how messages name it; `program` names the
  // temporaries.
  OutputFiles(std::string prefix, std::string shown, std::string_view program);
  ~OutputFiles();
  OutputFiles(const OutputFiles&) = delete;
  OutputFiles& operator=(const OutputFiles&) = delete;

  // Writes PREFIX + extension under a temporary name through `fill(file)`.
  template <class Fill>
  void write(const char* extension, Fill fill) {
    TemporaryFile file(folder_ + "." + program_ + "-XXXXXX" + extension, std::string_view(extension).size(),
                       shown_ + extension, mode_);
    paths_.push_back(file.path());
    finals_.push_back(prefix_ + extension);
    fill(file);
    file.finish();
  }

  // Gives every temporary its final name, replacing an earlier file; throws
  // a Refusal (CannotReplace) when one cannot be.
  void rename_all();

 private:
  std::string prefix_, shown_, program_, folder_;
  mode_t mode_;
  std::vector<std::string> paths_, finals_;
};

}  // namespace gp
