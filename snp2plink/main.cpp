// snp2plink: exports a study folder's SNP_setup and SNP_data to a PLINK 1
// binary fileset (snp2plink --help).
#include <iostream>
#include <string_view>
#include <vector>

#include "snp2plink/snp2plink.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  return gp::plink::run_snp2plink(args, {}, std::cout, std::cerr);
}
