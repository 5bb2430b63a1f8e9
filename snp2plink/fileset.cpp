#include "snp2plink/fileset.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "common/refusal.hpp"

namespace gp::plink {
namespace {

// Magic number and SNP-major mode of a PLINK 1 .bed file.
constexpr unsigned char kBedHeader[] = {0x6C, 0x1B, 0x01};

// Lines reach the file 64 KiB at a time, so no companion is held whole.
constexpr size_t kFlushBytes = size_t{1} << 16;
constexpr size_t kMaxLineChars = 160;

char* put(char* out, std::string_view text) {
  for (char c : text) *out++ = c;
  return out;
}

char* put_int(char* out, int64_t value) { return std::to_chars(out, out + 24, value).ptr; }

// The shortest text that reads back as `value`; zero without a sign.
char* put_real(char* out, float value) { return std::to_chars(out, out + 32, value == 0.0f ? 0.0f : value).ptr; }

mode_t current_umask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// One temporary file being written; the first failure is kept and reported
// by finish().
class TemporaryFile {
 public:
  // `mode`: the permissions the file gets.
  TemporaryFile(const std::string& path_template, size_t suffix, std::string shown, mode_t mode)
      : path_(path_template), shown_(std::move(shown)) {
    fd_ = mkstemps(path_.data(), static_cast<int>(suffix));
    if (fd_ < 0) throw Refusal{.problem = Problem::CannotWrite, .file = shown_, .error_number = errno};
    if (fchmod(fd_, mode) != 0) error_ = errno;
    buffer_.reserve(kFlushBytes + kMaxLineChars);
  }
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }

  void append(std::span<const char> chars) {
    while (error_ == 0 && !chars.empty()) {
      const ssize_t put = ::write(fd_, chars.data(), chars.size());
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) error_ = errno;
      if (put > 0) chars = chars.subspan(static_cast<size_t>(put));
    }
  }

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

  void finish() {
    const int closed = close(fd_);
    fd_ = -1;
    if (closed != 0 && error_ == 0) error_ = errno;
    if (error_ != 0) throw Refusal{.problem = Problem::CannotWrite, .file = shown_, .error_number = error_};
  }

 private:
  void flush() {
    append(buffer_);
    buffer_.clear();
  }

  std::string path_, shown_;
  int fd_ = -1;
  int error_ = 0;
  std::vector<char> buffer_;
};

// The temporaries of one fileset: removed unless all are renamed.
class Temporaries {
 public:
  Temporaries(std::string prefix, std::string shown) : prefix_(std::move(prefix)), shown_(std::move(shown)) {
    const size_t slash = prefix_.rfind('/');
    folder_ = slash == std::string::npos ? std::string() : prefix_.substr(0, slash + 1);
  }
  ~Temporaries() {
    for (const std::string& path : paths_) unlink(path.c_str());
  }
  Temporaries(const Temporaries&) = delete;
  Temporaries& operator=(const Temporaries&) = delete;

  // Writes PREFIX + extension under a temporary name through `fill(file)`.
  template <class Fill>
  void write(const char* extension, Fill fill) {
    TemporaryFile file(folder_ + ".snp2plink-XXXXXX" + extension, std::string_view(extension).size(),
                       shown_ + extension, mode_);
    paths_.push_back(file.path());
    finals_.push_back(prefix_ + extension);
    fill(file);
    file.finish();
  }

  // Gives every temporary its final name, replacing an earlier file.
  void rename_all() {
    for (size_t k = 0; k < paths_.size(); ++k) {
      if (std::rename(paths_[k].c_str(), finals_[k].c_str()) != 0) {
        const size_t dot = finals_[k].rfind('.');
        throw Refusal{.problem = Problem::CannotReplace, .file = shown_ + finals_[k].substr(dot), .error_number = errno};
      }
      paths_[k].clear();
    }
    paths_.clear();
  }

 private:
  std::string prefix_, shown_, folder_;
  mode_t mode_ = 0666 & ~current_umask();
  std::vector<std::string> paths_, finals_;
};

}  // namespace

void write_fileset(const std::string& prefix, const std::string& shown, const StudySetup& setup,
                   const StudyGenotypes& data) {
  Temporaries files(prefix, shown);
  const auto y = [&](int64_t i) { return data.y[static_cast<size_t>(i - 1)]; };
  const auto ids = [](char* out, int64_t i) { return put_int(put(put_int(out, i), " "), i); };

  files.write(".bed", [&](TemporaryFile& file) {
    file.append({reinterpret_cast<const char*>(kBedHeader), sizeof kBedHeader});
    file.append({reinterpret_cast<const char*>(data.packed.get()), static_cast<size_t>(setup.n_snp) * data.bytes_per_snp});
  });
  files.write(".bim", [&](TemporaryFile& file) {
    file.lines(1, setup.n_snp, [](char* out, int64_t j) {
      return put(put_int(put(put_int(put(out, "1\tsnp"), j), "\t0\t"), j), "\t2\t1\n");
    });
  });
  files.write(".fam", [&](TemporaryFile& file) {
    file.lines(1, data.records, [&](char* out, int64_t i) { return put(put_real(put(ids(out, i), " 0 0 0 "), y(i)), "\n"); });
  });
  files.write(".bv", [&](TemporaryFile& file) {
    file.append(std::string_view("FID IID y s_bv\n"));
    file.lines(1, data.records, [&](char* out, int64_t i) {
      out = put(put_real(put(ids(out, i), " "), y(i)), " ");
      return put(put_real(out, data.s_bv[static_cast<size_t>(i - 1)]), "\n");
    });
  });
  const auto keep = [&](int64_t first, int64_t last) {
    return [=](TemporaryFile& file) { file.lines(first, last, [&](char* out, int64_t i) { return put(ids(out, i), "\n"); }); };
  };
  files.write(".train", keep(1, setup.nrec));
  files.write(".indep", keep(int64_t{setup.nrec} + 1, data.records));
  files.write(".effects", [&](TemporaryFile& file) {
    file.lines(1, setup.n_snp, [&](char* out, int64_t j) {
      return put(put_real(put(put_int(put(out, "snp"), j), " 2 "), setup.snp_val[static_cast<size_t>(j - 1)]), "\n");
    });
  });
  files.rename_all();
}

}  // namespace gp::plink
