#include "run/inference_stages.h"

#include <gtest/gtest.h>

#include "inference_test_support.h"
#include "test_support.h"

namespace {

// Runs the stages on a five-taxon tree with gaps in a loop column and at a
// stem pair, and returns the results file.
std::string RunStages(const ScratchDir& dir, const std::string& name, std::int32_t seed,
                      int condition_on_pairs, bool listing = false) {
  HandTree tree = BuildTree("(((t0:0.1,t1:0.2):0.3,t2:0.25):0.1,(t3:0.2,t4:0.05):0.3)");
  const Alignment alignment =
      MakeAlignment({1, 0, 0, -1, 0}, {"G-ACA", "GAGUA", "-CA-C", "GUCCA", "AU-UA"});
  const std::vector<SiteRecord> SS = SiteRecordsOf(alignment, condition_on_pairs);
  const ModelParams parameters = UniformParameters();
  const HiddenBranchMatrices hidden{JukesCantor4(0.3), JukesCantor16(0.3)};
  RunValues values;
  values.out_file = dir.Path(name);
  values.is_harmonic = 0;
  values.n_samples = 4;
  values.include_data = 1;
  values.condition_on_pairs = condition_on_pairs;
  values.show_debug = listing ? 1 : 0;
  RunOnHandTree(tree, alignment, SS, parameters, hidden, values, seed);
  return ReadFile(values.out_file);
}

int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(InferenceStages, AGivenSeedRepeatsTheRunAndAnotherSeedChangesIt) {
  ScratchDir dir;
  for (const int condition : {0, 1}) {
    const std::string first = RunStages(dir, "a.fa", 17, condition);
    EXPECT_EQ(RunStages(dir, "b.fa", 17, condition), first);
    EXPECT_NE(RunStages(dir, "c.fa", 18, condition), first);
    EXPECT_EQ(Occurrences(first, ">anc_"), 3 * 4);
    EXPECT_EQ(Occurrences(first, ">psr_"), 3 * 4);
    for (const int index : {1, 2, 6}) {
      EXPECT_NE(first.find(">anc_" + std::to_string(index) + "_4\n"), std::string::npos);
      EXPECT_NE(first.find(">psr_" + std::to_string(index) + "_4\n"), std::string::npos);
    }
  }
}

TEST(InferenceStages, TheDiagnosticListingShowsGapsInsteadOfStopping) {
  ScratchDir dir;
  std::string results;
  const std::string printed = CapturedOutput([&] { results = RunStages(dir, "d.fa", 3, 0, true); });
  const std::size_t listing = printed.find("\nAncestral sequences:\n(..).\n");
  ASSERT_NE(listing, std::string::npos);
  EXPECT_NE(printed.find('-', listing), std::string::npos) << "some gap was put back";
  EXPECT_EQ(Occurrences(printed.substr(listing), "\t[P = NA]\n"), 12);
  EXPECT_EQ(Occurrences(printed.substr(listing), "\t[P = 0."), 12);
  EXPECT_EQ(results.rfind(">SS_cons\n(--)-\n", 0), 0u);
}
