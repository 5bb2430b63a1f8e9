// Ctrl-C (SIGINT) and SIGTERM during a run: the signal is noted, the run
// stops at its next check (after an iteration, between groups of records
// written), its temporary files are removed, and the program then ends by the
// same signal, so its caller sees how it ended.
#pragma once

namespace gp::bayes {

// Thrown by check_interrupt.
struct Interrupted {
  int signal;
};

// While one exists, SIGINT and SIGTERM are noted instead of ending the
// process; the earlier handlers come back with its end.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// Throws Interrupted when a signal has been noted (and forgets it).
void check_interrupt();

// Notes `signal` as the handler would: for tests.
void note_interrupt(int signal);

}  // namespace gp::bayes
