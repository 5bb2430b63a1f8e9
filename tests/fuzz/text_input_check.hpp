// Arbitrary bytes read as a file by the input statements both programs use:
// the free-form value lines of par_tarvox, the layouts of SNP_setup and
// SNP_data, skips, a rewind, and the console answer, under several tab widths.
//
// Input: byte 0 picks TABSIZE, bytes 1 to 6 pick six statements in turn,
// the rest is the file (and also the console's input).
#pragma once

#include <stdlib.h>

#include "common/snp_files.hpp"
#include "fuzz/harness.hpp"

namespace gp::fuzz {

inline constexpr size_t kTextHeader = 7;

inline void run_text_statement(Units& io, unsigned choice, std::string& fault) {
  static const Layout kTabbed = parse_layout("T5,I3,2X,F6.1,E10.3,T2,I2");
  static const Layout kGroups = parse_layout("I2,2(F4.1,1X),/,3I1");
  static const Layout kVarianceSkip = parse_layout("10F8.2");  // a line passed over unconverted
  constexpr int kUnit = 1;
  int32_t a = 0, b = 0, c = 0, d = 0, e = 0;
  float r = 0.5f, s = 0.5f;
  switch (choice % 13) {
    case 0: read_free(io, kUnit); break;
    case 1: read_free(io, kUnit, {a}); break;
    case 2: read_free(io, kUnit, {r, s}); break;
    case 3: read_free(io, kConsole, {r}); break;
    case 4: read_record(io, kUnit, count_layout(), {a, b, c, d, e}); break;
    case 5: read_record(io, kUnit, kVarianceSkip); break;
    case 6: {
      Guarded<float> freq(12);
      read_record(io, kUnit, frequency_layout(), {freq.span()});
      if (!freq.intact()) fault = "frequency read wrote past its array";
      break;
    }
    case 7: {
      Guarded<float> val(25);
      read_record(io, kUnit, effect_layout(), {val.span()});
      if (!val.intact()) fault = "effect read wrote past its array";
      break;
    }
    case 8:
    case 9: {
      const int32_t n_snp = choice % 13 == 8 ? 3 : 12;
      Guarded<int32_t> geno(2 * static_cast<size_t>(n_snp));
      read_record(io, kUnit, data_layout(n_snp), {a, r, s, geno.span()});
      if (!geno.intact()) fault = "data record read wrote past its allele array";
      break;
    }
    case 10: rewind_unit(io, kUnit); break;
    case 11: {
      Guarded<int32_t> values(5);
      read_free(io, kUnit, {values.span(), r});
      if (!values.intact()) fault = "free-form read wrote past its array";
      break;
    }
    default: read_record(io, kUnit, (choice / 13) % 2 ? kTabbed : kGroups, {a, r, s, b}); break;
  }
}

inline std::string check_text_input(std::string_view input) {
  static const ScratchDir scratch("text_input");
  const std::string& directory = scratch.path();
  if (input.size() < kTextHeader) return {};
  static const char* const kTabSizes[] = {nullptr, "0", "1", "3", "8", "13", "x"};
  const char* tab_size = kTabSizes[static_cast<unsigned char>(input[0]) % 7];
  if (tab_size != nullptr) {
    ::setenv("TABSIZE", tab_size, 1);
  } else {
    ::unsetenv("TABSIZE");
  }
  const std::string_view content = input.substr(kTextHeader);
  write_file(directory + "/input", content);

  ConsoleCapture console;
  console.input = std::string(content);
  std::string fault;
  int status;
  {
    Units io(&console, directory);
    status = run_program(io, [&] {
      open_unit(io, 1, "input");
      for (size_t k = 1; k < kTextHeader && fault.empty(); ++k) {
        run_text_statement(io, static_cast<unsigned char>(input[k]), fault);
      }
      end_program(io);
    });
  }
  ::unsetenv("TABSIZE");
  if (!fault.empty()) return fault;
  if (const std::string outcome = check_outcome(status, console); !outcome.empty()) return outcome;
  if (read_file(directory + "/input") != content) return "an input file was changed";
  return {};
}

}  // namespace gp::fuzz
