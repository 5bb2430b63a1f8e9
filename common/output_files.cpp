#include "common/output_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/refusal.hpp"

namespace gp {

namespace {

mode_t current_umask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

}  // namespace

TemporaryFile::TemporaryFile(const std::string& path_template, size_t suffix, std::string shown, mode_t mode)
    : path_(path_template), shown_(std::move(shown)) {
  fd_ = mkstemps(path_.data(), static_cast<int>(suffix));
  if (fd_ < 0) throw Refusal{.problem = Problem::CannotWrite, .file = shown_, .error_number = errno};
  if (fchmod(fd_, mode) != 0) error_ = errno;
  buffer_.reserve(kFlushBytes + kMaxLineChars);
}

TemporaryFile::~TemporaryFile() {
  if (fd_ >= 0) close(fd_);
}

void TemporaryFile::append(std::span<const char> chars) {
  while (error_ == 0 && !chars.empty()) {
    const ssize_t put = ::write(fd_, chars.data(), chars.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) error_ = errno;
    if (put > 0) chars = chars.subspan(static_cast<size_t>(put));
  }
}

void TemporaryFile::finish() {
  const int closed = close(fd_);
  fd_ = -1;
  if (closed != 0 && error_ == 0) error_ = errno;
  if (error_ != 0) throw Refusal{.problem = Problem::CannotWrite, .file = shown_, .error_number = error_};
}

OutputFiles::OutputFiles(std::string prefix, std::string shown, std::string_view program)
    : prefix_(std::move(prefix)), shown_(std::move(shown)), program_(program), mode_(0666 & ~current_umask()) {
  const size_t slash = prefix_.rfind('/');
  folder_ = slash == std::string::npos ? std::string() : prefix_.substr(0, slash + 1);
}

OutputFiles::~OutputFiles() {
  for (const std::string& path : paths_) {
    if (!path.empty()) unlink(path.c_str());
  }
}

void OutputFiles::rename_all() {
  for (size_t k = 0; k < paths_.size(); ++k) {
    if (std::rename(paths_[k].c_str(), finals_[k].c_str()) != 0) {
      const size_t dot = finals_[k].rfind('.');
      throw Refusal{.problem = Problem::CannotReplace, .file = shown_ + finals_[k].substr(dot), .error_number = errno};
    }
    paths_[k].clear();
  }
  paths_.clear();
}

}  // namespace gp
