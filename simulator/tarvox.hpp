// The simulator's main procedure: banner, parameters, set-up of the model,
// SNP_setup, the records of SNP_data, the report.
#pragma once

#include <functional>

#include "common/text_io.hpp"

namespace gp {

// The milliseconds (0 to 999) within the current second of the time of day.
using MillisecondClock = std::function<int()>;
int system_clock_ms();

// Runs one whole simulation; `clock` is read once, for the warm-up. Ends
// through end_program or the error report.
void run_tarvox(Units& io, const MillisecondClock& clock);

}  // namespace gp
