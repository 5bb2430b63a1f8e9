#include "snp2plink/snp2plink.hpp"

#include "common/paths.hpp"
#include "common/snp_files.hpp"
#include "snp2plink/fileset.hpp"
#include "common/refusal.hpp"
#include "snp2plink/study_reader.hpp"

namespace gp::plink {

const std::string_view kUsageText =
    "usage: snp2plink PREFIX\n"
    "\n"
    "Run in a study folder: reads SNP_setup and SNP_data and writes\n"
    "  PREFIX.bed PREFIX.bim PREFIX.fam  the PLINK 1 binary fileset (phenotype y)\n"
    "  PREFIX.bv                         y and s_bv of every record\n"
    "  PREFIX.train PREFIX.indep         records 1..nrec and nrec+1..2 x nrec, for --keep\n"
    "  PREFIX.effects                    the simulated SNP effects, for --score ... 1 2 3 sum\n"
    "Allele 1 of every SNP is the allele coded 2. Exit status 0 when written, 1 when\n"
    "the input is refused or a file cannot be written (no PREFIX file is then changed),\n"
    "2 after this text.\n";

int run_snp2plink(std::span<const std::string_view> args, const std::string& directory, std::ostream& out,
                  std::ostream& err) {
  if (args.size() == 1 && args[0] == "--help") {
    out << kUsageText;
    return kUsage;
  }
  if (args.size() != 1 || !usable_prefix(args[0])) {
    if (args.size() > 1) err << "snp2plink: one PREFIX expected, " << args.size() << " arguments given\n";
    if (args.size() == 1) err << "snp2plink: \"" << args[0] << "\" is not a PREFIX\n";
    err << kUsageText;
    return kUsage;
  }
  const std::string prefix(args[0]);
  try {
    const StudySetup setup = read_study_setup(in_directory(directory, kSetupFile), kSetupFile);
    const StudyGenotypes data = read_study_data(in_directory(directory, kDataFile), kDataFile, setup);
    write_fileset(in_directory(directory, prefix), prefix, setup, data);
    out << "snp2plink: " << setup.n_snp << " SNPs x " << data.records << " records written to " << prefix
        << ".bed .bim .fam .bv .train .indep .effects\n";
  } catch (const Refusal& refusal) {
    err << refusal_text(refusal, "snp2plink") << '\n';
    return kRefused;
  }
  return kExported;
}

}  // namespace gp::plink
