#include "fuzz/corpus_replay.hpp"
#include "fuzz/text_input_check.hpp"

namespace gp::fuzz {
namespace {

TEST(FuzzCorpus, TextInputHolds) { replay_corpus("text_input", check_text_input); }

}  // namespace
}  // namespace gp::fuzz
