// libFuzzer entry point: any fault that check_snpbayes finds stops the run.
#include <cstdio>
#include <cstdlib>

#include "fuzz/snpbayes_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string fault = gp::fuzz::check_snpbayes(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!fault.empty()) {
    std::fprintf(stderr, "fault: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
