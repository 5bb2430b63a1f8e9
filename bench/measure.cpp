// Runs a command and prints its wall, user and system seconds and its peak
// resident memory, as the kernel accounts them after the child has ended:
//   measure [--stdin FILE] [--stdout FILE] -- COMMAND [ARG ...]
// Output, on standard error: "wall=<s> user=<s> sys=<s> maxrss_kb=<kB> status=<n>".
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

int redirect(const char* path, int fd, int flags) {
  const int opened = open(path, flags, 0666);
  if (opened < 0 || dup2(opened, fd) < 0) return -1;
  close(opened);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* in = nullptr;
  const char* out = nullptr;
  int arg = 1;
  for (; arg < argc && std::strcmp(argv[arg], "--") != 0; arg += 2) {
    if (arg + 1 >= argc) break;
    if (std::strcmp(argv[arg], "--stdin") == 0) in = argv[arg + 1];
    if (std::strcmp(argv[arg], "--stdout") == 0) out = argv[arg + 1];
  }
  if (arg + 1 >= argc) {
    std::fprintf(stderr, "usage: measure [--stdin FILE] [--stdout FILE] -- COMMAND [ARG ...]\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    if ((in && redirect(in, 0, O_RDONLY) != 0) || (out && redirect(out, 1, O_WRONLY | O_CREAT | O_TRUNC) != 0)) {
      std::perror("measure: redirect");
      _exit(127);
    }
    execvp(argv[arg + 1], argv + arg + 1);
    std::perror("measure: exec");
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "wall=%.3f user=%.3f sys=%.3f maxrss_kb=%ld status=%d\n", wall, seconds(usage.ru_utime),
               seconds(usage.ru_stime), usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128);
  return 0;
}
