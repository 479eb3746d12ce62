// Every file of the fuzz seed corpus, and every input that once crashed a
// harness, run through its harness body: bad input may be refused with a
// FatalError, but nothing may escape otherwise, crash, or trip the
// sanitizers of the ASan build.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "harnesses.h"
#include "test_support.h"

namespace {

struct Harness {
  std::string corpus;  // folder under fuzz/corpus
  std::function<void(std::span<const std::uint8_t>)> body;
};

class FuzzCorpus : public testing::TestWithParam<Harness> {};

TEST_P(FuzzCorpus, EveryFileIsAcceptedOrRefusedCleanly) {
  const std::filesystem::path folder = std::filesystem::path(FUZZ_CORPUS_DIR) / GetParam().corpus;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string content = ReadFile(entry.path().string());
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(content.data()),
                                              content.size());
    SCOPED_TRACE(entry.path().string());
    // The prompts and the conversion's warnings are not what is checked.
    CapturedOutput([&] { GetParam().body(bytes); });
    ++files;
  }
  EXPECT_GE(files, 3) << "the seed corpus of " << folder << " has gone missing";
}

INSTANTIATE_TEST_SUITE_P(
    Harnesses, FuzzCorpus,
    testing::Values(Harness{"alignment_reader", fuzz_harness::AlignmentReaderInput},
                    Harness{"tree", fuzz_harness::TreeInput},
                    Harness{"parameter", fuzz_harness::ParameterInput},
                    Harness{"answers", fuzz_harness::AnswersInput}),
    [](const testing::TestParamInfo<Harness>& instance) { return instance.param.corpus; });

}  // namespace
