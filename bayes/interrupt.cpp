#include "bayes/interrupt.hpp"

#include <csignal>

namespace gp::bayes {

namespace {

volatile std::sig_atomic_t noted = 0;

extern "C" void note(int signal) { noted = signal; }

struct sigaction earlier[2];
constexpr int kSignals[2] = {SIGINT, SIGTERM};

}  // namespace

InterruptGuard::InterruptGuard() {
  noted = 0;
  struct sigaction action {};
  action.sa_handler = note;
  sigemptyset(&action.sa_mask);
  for (int k = 0; k < 2; ++k) sigaction(kSignals[k], &action, &earlier[k]);
}

InterruptGuard::~InterruptGuard() {
  for (int k = 0; k < 2; ++k) sigaction(kSignals[k], &earlier[k], nullptr);
}

void check_interrupt() {
  if (noted == 0) return;
  const int signal = noted;
  noted = 0;
  throw Interrupted{signal};
}

void note_interrupt(int signal) { noted = signal; }

}  // namespace gp::bayes
