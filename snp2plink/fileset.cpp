#include "snp2plink/fileset.hpp"

#include <string_view>

#include "common/output_files.hpp"

namespace gp::plink {
namespace {

// Magic number and SNP-major mode of a PLINK 1 .bed file.
constexpr unsigned char kBedHeader[] = {0x6C, 0x1B, 0x01};

}  // namespace

void write_fileset(const std::string& prefix, const std::string& shown, const StudySetup& setup,
                   const StudyGenotypes& data) {
  OutputFiles files(prefix, shown, "snp2plink");
  const auto y = [&](int64_t i) { return data.y[static_cast<size_t>(i - 1)]; };
  const auto ids = [](char* out, int64_t i) { return put_int(put(put_int(out, i), " "), i); };

  files.write(".bed", [&](TemporaryFile& file) {
    file.append({reinterpret_cast<const char*>(kBedHeader), sizeof kBedHeader});
    file.append({reinterpret_cast<const char*>(data.packed.get()), static_cast<size_t>(setup.n_snp) * data.bytes_per_snp});
  });
  files.write(".bim", [&](TemporaryFile& file) {
    file.lines(1, setup.n_snp, [](char* out, int64_t j) {
      return put(put_int(put(put_int(put(out, "1\tsnp"), j), "\t0\t"), j), "\t2\t1\n");
    });
  });
  files.write(".fam", [&](TemporaryFile& file) {
    file.lines(1, data.records, [&](char* out, int64_t i) { return put(put_real(put(ids(out, i), " 0 0 0 "), y(i)), "\n"); });
  });
  files.write(".bv", [&](TemporaryFile& file) {
    file.append(std::string_view("FID IID y s_bv\n"));
    file.lines(1, data.records, [&](char* out, int64_t i) {
      out = put(put_real(put(ids(out, i), " "), y(i)), " ");
      return put(put_real(out, data.s_bv[static_cast<size_t>(i - 1)]), "\n");
    });
  });
  const auto keep = [&](int64_t first, int64_t last) {
    return [=](TemporaryFile& file) { file.lines(first, last, [&](char* out, int64_t i) { return put(ids(out, i), "\n"); }); };
  };
  files.write(".train", keep(1, setup.nrec));
  files.write(".indep", keep(int64_t{setup.nrec} + 1, data.records));
  files.write(".effects", [&](TemporaryFile& file) {
    file.lines(1, setup.n_snp, [&](char* out, int64_t j) {
      return put(put_real(put(put_int(put(out, "snp"), j), " 2 "), setup.snp_val[static_cast<size_t>(j - 1)]), "\n");
    });
  });
  files.rename_all();
}

}  // namespace gp::plink
