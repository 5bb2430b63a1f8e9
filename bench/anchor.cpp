// The two anchors the benchmark figures are measured against, on the same
// file system as the programs' own files:
//   anchor write FILE LINE_CHARS LINES   writes LINES copies of one prepared
//                                        line of LINE_CHARS characters + CR LF
//   anchor read FILE LINES DIGITS        reads the first LINES lines back and
//                                        converts DIGITS digits per line (from
//                                        column 25) to bytes
// Prints the wall seconds the work took.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/snp_files.hpp"

namespace {

constexpr long kFirstDigit = static_cast<long>(gp::kFirstDigitColumn);

constexpr size_t kBlock = 1 << 20;

int write_lines(const char* path, long line_chars, long lines) {
  std::string line(static_cast<size_t>(line_chars), '1');
  line += "\r\n";
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return 1;
  std::string block;
  for (long i = 0; i < lines; ++i) {
    block += line;
    if (block.size() >= kBlock) {
      if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) return 1;
      block.clear();
    }
  }
  if (!block.empty() && write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) return 1;
  return close(fd);
}

int read_lines(const char* path, long lines, long digits) {
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return 1;
  std::vector<char> buffer(kBlock);
  std::vector<unsigned char> codes(static_cast<size_t>(digits));
  std::string line;
  long done = 0;
  unsigned checksum = 0;
  ssize_t got = 0;
  while (done < lines && (got = read(fd, buffer.data(), buffer.size())) > 0) {
    const char* p = buffer.data();
    const char* end = p + got;
    while (p < end && done < lines) {
      const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      line.append(p, lf ? lf : end);
      p = lf ? lf + 1 : end;
      if (!lf) break;
      const long n = std::min<long>(digits, static_cast<long>(line.size()) - kFirstDigit);
      for (long k = 0; k < n; ++k) {
        codes[static_cast<size_t>(k)] = static_cast<unsigned char>(line[static_cast<size_t>(kFirstDigit + k)] - '0');
      }
      checksum += codes[0];
      line.clear();
      ++done;
    }
  }
  close(fd);
  return done == lines && checksum != 0xFFFFFFFFu ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: anchor write FILE LINE_CHARS LINES | anchor read FILE LINES DIGITS\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const long a = std::atol(argv[3]);
  const long b = std::atol(argv[4]);
  const int status = std::strcmp(argv[1], "write") == 0 ? write_lines(argv[2], a, b) : read_lines(argv[2], a, b);
  std::printf("%.3f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return status;
}
