// Runs a program binary as a child process in a directory, with limits set
// in the child only: a file-size limit (its signal ignored, so writes fail
// with EFBIG), an address-space limit, another user, a TABSIZE value.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace gp::child {

// True when this build runs under AddressSanitizer, which reserves far more
// address space than any memory limit a test sets.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

struct Limits {
  rlim_t file_size = RLIM_INFINITY;      // bytes
  rlim_t address_space = RLIM_INFINITY;  // bytes
  uid_t user = 0;                        // 0: stay the same user
  const char* tab_size = nullptr;        // null: TABSIZE absent
};

struct Run {
  int status;  // exit status, or -1 - signal number when killed
  std::string out;
  std::string err;
};

inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// Runs `program` in `directory` with `input` on standard input.
inline Run run(const std::string& program, const std::string& directory, const std::string& input,
               const Limits& limits = {}) {
  char stem[] = "/tmp/child_run_XXXXXX";
  const int base = ::mkstemp(stem);
  ::close(base);
  const std::string in_path = std::string(stem) + ".in";
  const std::string out_path = std::string(stem) + ".out";
  const std::string err_path = std::string(stem) + ".err";
  std::ofstream(in_path, std::ios::binary) << input;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in_fd = ::open(in_path.c_str(), O_RDONLY);
    const int out_fd = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err_fd = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (in_fd < 0 || out_fd < 0 || err_fd < 0 || ::chdir(directory.c_str()) != 0) ::_exit(120);
    ::dup2(in_fd, 0);
    ::dup2(out_fd, 1);
    ::dup2(err_fd, 2);
    ::signal(SIGXFSZ, SIG_IGN);
    if (limits.tab_size != nullptr) {
      ::setenv("TABSIZE", limits.tab_size, 1);
    } else {
      ::unsetenv("TABSIZE");
    }
    const rlimit file_size{limits.file_size, limits.file_size};
    const rlimit address_space{limits.address_space, limits.address_space};
    if (::setrlimit(RLIMIT_FSIZE, &file_size) != 0 || ::setrlimit(RLIMIT_AS, &address_space) != 0) ::_exit(121);
    if (limits.user != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(limits.user) != 0 || ::setuid(limits.user) != 0)) ::_exit(122);
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(123);
  }
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  Run result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1 - WTERMSIG(raw), slurp(out_path), slurp(err_path)};
  for (const std::string& path : {std::string(stem), in_path, out_path, err_path}) ::unlink(path.c_str());
  return result;
}

// Whether `user` may run `program`: every folder above it must let that user
// pass, which a checkout in a private folder (mode 0700) does not.
inline bool user_may_run(uid_t user, const std::string& program) {
  const pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const bool ok = ::setgroups(0, nullptr) == 0 && ::setgid(user) == 0 && ::setuid(user) == 0 &&
                    ::access(program.c_str(), X_OK) == 0;
    ::_exit(ok ? 0 : 1);
  }
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  return WIFEXITED(raw) && WEXITSTATUS(raw) == 0;
}

// The lines of `text` that end in CR LF; `rest` receives what follows them.
inline std::vector<std::string> complete_lines(const std::string& text, std::string* rest) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  *rest = text.substr(start);
  return lines;
}

}  // namespace gp::child
