#include "common/text_io.hpp"
#include "simulator/tarvox.hpp"

int main() {
  gp::Units io;
  return gp::run_program(io, [&] { gp::run_tarvox(io, gp::system_clock_ms); });
}
