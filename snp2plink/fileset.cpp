#include "snp2plink/fileset.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <span>
#include <vector>

#include "snp2plink/refusal.hpp"

namespace gp::plink {
namespace {

// Magic number and SNP-major mode of a PLINK 1 .bed file.
constexpr unsigned char kBedHeader[] = {0x6C, 0x1B, 0x01};

char* put(char* out, std::string_view text) {
  for (char c : text) *out++ = c;
  return out;
}

char* put_int(char* out, int64_t value) { return std::to_chars(out, out + 24, value).ptr; }

// The shortest text that reads back as `value`; zero without a sign.
char* put_real(char* out, float value) { return std::to_chars(out, out + 32, value == 0.0f ? 0.0f : value).ptr; }

// Builds a text line by line: `line` writes one line at a char* and returns
// its end.
template <class LineWriter>
std::string lines_text(int64_t first, int64_t last, LineWriter line) {
  std::string text;
  char buffer[160];
  for (int64_t i = first; i <= last; ++i) text.append(buffer, line(buffer, i));
  return text;
}

class Temporaries {
 public:
  explicit Temporaries(std::string folder) : folder_(std::move(folder)) {}
  ~Temporaries() {
    for (const std::string& path : paths_) unlink(path.c_str());
  }
  Temporaries(const Temporaries&) = delete;
  Temporaries& operator=(const Temporaries&) = delete;

  // A new temporary file for `final_path` holding `parts` in order.
  void write(const std::string& final_path, const std::string& shown,
             std::initializer_list<std::span<const char>> parts) {
    const std::string extension = final_path.substr(final_path.rfind('.'));
    std::string path = folder_ + ".snp2plink-XXXXXX" + extension;
    const int fd = mkstemps(path.data(), static_cast<int>(extension.size()));
    if (fd < 0) throw Refusal{.problem = Problem::CannotWrite, .file = shown, .error_number = errno};
    paths_.push_back(path);
    finals_.push_back(final_path);
    shown_.push_back(shown);
    int error = fchmod(fd, 0666 & ~current_umask()) == 0 ? 0 : errno;
    for (std::span<const char> part : parts) {
      while (error == 0 && !part.empty()) {
        const ssize_t put = ::write(fd, part.data(), part.size());
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) error = errno;
        if (put > 0) part = part.subspan(static_cast<size_t>(put));
      }
    }
    if (close(fd) != 0 && error == 0) error = errno;
    if (error != 0) throw Refusal{.problem = Problem::CannotWrite, .file = shown, .error_number = error};
  }

  // Gives every temporary its final name.
  void rename_all() {
    for (size_t k = 0; k < paths_.size(); ++k) {
      if (std::rename(paths_[k].c_str(), finals_[k].c_str()) != 0) {
        throw Refusal{.problem = Problem::CannotReplace, .file = shown_[k], .error_number = errno};
      }
      paths_[k].clear();
    }
    paths_.clear();
  }

 private:
  static mode_t current_umask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
  }

  std::string folder_;
  std::vector<std::string> paths_, finals_, shown_;
};

std::span<const char> chars(const std::string& text) { return {text.data(), text.size()}; }

}  // namespace

std::string bim_text(int32_t n_snp) {
  return lines_text(1, n_snp, [](char* out, int64_t j) {
    out = put_int(put(put_int(put(out, "1\tsnp"), j), "\t0\t"), j);
    return put(out, "\t2\t1\n");
  });
}

std::string fam_text(const StudyGenotypes& data) {
  return lines_text(1, data.records, [&](char* out, int64_t i) {
    out = put(put_int(put(put_int(out, i), " "), i), " 0 0 0 ");
    return put(put_real(out, data.y[static_cast<size_t>(i - 1)]), "\n");
  });
}

std::string bv_text(const StudyGenotypes& data) {
  return "FID IID y s_bv\n" + lines_text(1, data.records, [&](char* out, int64_t i) {
           out = put(put_real(put(put_int(put(put_int(out, i), " "), i), " "), data.y[static_cast<size_t>(i - 1)]), " ");
           return put(put_real(out, data.s_bv[static_cast<size_t>(i - 1)]), "\n");
         });
}

std::string keep_text(int64_t first, int64_t last) {
  return lines_text(first, last, [](char* out, int64_t i) { return put(put_int(put(put_int(out, i), " "), i), "\n"); });
}

std::string effects_text(const StudySetup& setup) {
  return lines_text(1, setup.n_snp, [&](char* out, int64_t j) {
    out = put(put_int(put(out, "snp"), j), " 2 ");
    return put(put_real(out, setup.snp_val[static_cast<size_t>(j - 1)]), "\n");
  });
}

void write_fileset(const std::string& prefix, const std::string& shown, const StudySetup& setup,
                   const StudyGenotypes& data) {
  const size_t slash = prefix.rfind('/');
  Temporaries files(slash == std::string::npos ? std::string() : prefix.substr(0, slash + 1));
  const auto write = [&](const char* extension, std::initializer_list<std::span<const char>> parts) {
    files.write(prefix + extension, shown + extension, parts);
  };
  const size_t body = static_cast<size_t>(setup.n_snp) * data.bytes_per_snp;
  write(".bed", {{reinterpret_cast<const char*>(kBedHeader), sizeof kBedHeader},
                 {reinterpret_cast<const char*>(data.packed.get()), body}});
  write(".bim", {chars(bim_text(setup.n_snp))});
  write(".fam", {chars(fam_text(data))});
  write(".bv", {chars(bv_text(data))});
  write(".train", {chars(keep_text(1, setup.nrec))});
  write(".indep", {chars(keep_text(int64_t{setup.nrec} + 1, data.records))});
  write(".effects", {chars(effects_text(setup))});
  files.rename_all();
}

}  // namespace gp::plink
