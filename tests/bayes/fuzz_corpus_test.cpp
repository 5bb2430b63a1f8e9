#include "fuzz/corpus_replay.hpp"
#include "fuzz/snpbayes_check.hpp"

namespace gp::fuzz {
namespace {

TEST(FuzzCorpus, SnpbayesHolds) { replay_corpus("snpbayes", check_snpbayes); }

}  // namespace
}  // namespace gp::fuzz
