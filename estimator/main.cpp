// kolber: estimates SNP effects by ridge regression from SNP_setup and
// SNP_data, writes SNP_results and reports the validation statistics.
#include "common/text_io.hpp"
#include "estimator/kolber.hpp"

int main() {
  gp::Units io;
  return gp::run_program(io, [&io] { gp::run_kolber(io, gp::cpu_seconds); });
}
