// The binary fileset and its companions, written so that a refused or
// failed export leaves no file of the prefix behind and keeps any earlier set.
#pragma once

#include <string>

#include "snp2plink/study_reader.hpp"

namespace gp::plink {

// Writes PREFIX.bed, .bim, .fam, .bv, .train, .indep and .effects for
// `prefix` (a path; `shown` is how messages name it). The companions have
// one line per SNP or record, each ended by LF: .bim "1<TAB>snpJ<TAB>0<TAB>J
// <TAB>2<TAB>1", .fam "I I 0 0 0 y", .bv "FID IID y s_bv" then "I I y s_bv",
// .train and .indep "I I", .effects "snpJ 2 snp_val(J)"; reals with the
// fewest digits that read back as the same single-precision value. Each goes to a
// temporary name in the prefix's folder (".snp2plink-XXXXXX.ext") and all are
// renamed to their names once every one is complete; on a failure the
// temporaries are removed and a Refusal is thrown.
void write_fileset(const std::string& prefix, const std::string& shown, const StudySetup& setup,
                   const StudyGenotypes& data);

}  // namespace gp::plink
