#include "fuzz/corpus_replay.hpp"
#include "fuzz/tarvox_check.hpp"

namespace gp::fuzz {
namespace {

TEST(FuzzCorpus, TarvoxHolds) { replay_corpus("tarvox", check_tarvox); }

}  // namespace
}  // namespace gp::fuzz
