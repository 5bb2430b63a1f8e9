// SNP_data records written and read field by field through the layout with
// the input and output statements: the plain forms that the simulator's
// line writer and the shared record reader are held to.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/format.hpp"
#include "common/snp_files.hpp"
#include "common/text_io.hpp"

namespace gp::test {

// Writes record `rec_id` of SNP_data (unit 2, already open) with `layout`
// (from data_layout): number, y, s_bv and the allele digits of geno. A
// number, y or s_bv that would print as asterisks, NaN or INF ends the run
// with an input error naming the record; the earlier records stay.
inline void write_data_record(Units& io, const Layout& layout, int32_t rec_id, float y, float s_bv,
                              std::span<const int32_t> geno) {
  const auto unreadable = [](const char* field, const char* end) {
    return std::string_view(field, static_cast<size_t>(end - field)).find_first_of("*NI") != std::string_view::npos;
  };
  const auto refuse = [&](const std::string& what, const char* field) {
    input_error(io,
                "SNP_data record " + std::to_string(rec_id) + ": " + what + " does not fit its field " + field +
                    " and could not be read back",
                Statement::Write, kDataUnit);
  };
  char field[64];
  if (unreadable(field, write_int(field, rec_id, 6))) refuse("the record number " + std::to_string(rec_id), "I6");
  if (unreadable(field, write_fixed(field, y, 8, 2))) refuse("y = " + real_text(y), "F8.2");
  if (unreadable(field, write_fixed(field, s_bv, 8, 2))) refuse("s_bv = " + real_text(s_bv), "F8.2");
  if (geno.empty()) {
    write_record(io, kDataUnit, layout, {rec_id, y, s_bv});
  } else {
    write_record(io, kDataUnit, layout, {rec_id, y, s_bv, geno});
  }
}

// Reads the next record of SNP_data (unit 2) with `layout` into the
// buffers: the record number, y, s_bv and geno.size() allele digits.
inline void read_data_record(Units& io, const Layout& layout, int32_t& rec_id, float& y, float& s_bv,
                             std::span<int32_t> geno) {
  if (geno.empty()) {
    read_record(io, kDataUnit, layout, {rec_id, y, s_bv});
  } else {
    read_record(io, kDataUnit, layout, {rec_id, y, s_bv, geno});
  }
}

}  // namespace gp::test
