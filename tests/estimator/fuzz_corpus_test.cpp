#include "fuzz/corpus_replay.hpp"
#include "fuzz/kolber_check.hpp"

namespace gp::fuzz {
namespace {

TEST(FuzzCorpus, KolberHolds) { replay_corpus("kolber", check_kolber); }

}  // namespace
}  // namespace gp::fuzz
