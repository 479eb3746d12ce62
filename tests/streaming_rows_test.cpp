// The row-by-row, multi-threaded production of the sample matrix against
// the sequential reference that draws the whole matrix in stream order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "inference/ancestral_sampling.h"
#include "inference/fractional_likelihoods.h"
#include "run/inference_stages.h"
#include "inference/likelihood_blocks.h"
#include "inference/posterior_states.h"
#include "inference/rate_categories.h"
#include "inference/sample_rows.h"
#include "inference_test_support.h"
#include "base/random_source.h"
#include "sequence/state_coding.h"
#include "sequential_reference.h"
#include "test_support.h"

namespace {

// A random tree with sequences evolved on it, a third of the columns in
// stem pairs, and gaps in some loop and stem columns.
struct Case {
  HandTree tree;
  Alignment alignment;
  std::vector<SiteRecord> SS;
  HiddenBranchMatrices hidden{JukesCantor4(0.4), JukesCantor16(0.4)};

  Case(int n_taxa, int n_sites, unsigned seed, int condition_on_pairs) {
    std::mt19937 rng(seed);
    tree = BuildTree(RandomNewick(n_taxa, rng));
    std::vector<std::string> rows = EvolveSequences(tree, n_taxa, n_sites, rng);
    std::vector<int> structure(n_sites, 0);
    const int n_pairs = n_sites / 6;
    for (int p = 0; p < n_pairs; ++p) {
      structure[p] = 1;
      structure[n_sites - 1 - p] = -1;
    }
    for (std::size_t t = 0; t < rows.size(); ++t) {
      if (t % 3 == 0) rows[t][n_sites / 2] = '-';
      if (t % 4 == 1) rows[t][0] = '-';
    }
    alignment = MakeAlignment(structure, rows);
    SS = SiteRecordsOf(alignment, condition_on_pairs);
    GiveVectors(tree, structure, false);
    GetFractionalLikelihoods(tree.down_pass, tree.matrices, SS, alignment);
    GetAncestralStatesFromPosterior(tree.up_pass, tree.matrices, SS, alignment,
                                    UniformParameters());
  }
};

struct Output {
  std::string results;
  std::string summary;
  std::string listing;
  std::int32_t final_seed = 0;
};

RunValues Values(const std::string& out_file, int n_samples, int include_data, int condition,
                 int threads) {
  RunValues values;
  values.out_file = out_file;
  values.is_harmonic = 0;
  values.lambda = 0.5;
  values.n_samples = n_samples;
  values.include_data = include_data;
  values.condition_on_pairs = condition;
  values.threads = threads;
  values.marginal = false;  // the posteriors that Case computed
  return values;
}

Output Streamed(Case& c, RunValues values, std::int32_t seed, bool listing) {
  Output out;
  values.show_debug = listing ? 1 : 0;
  auto run = [&] {
    RunOnHandTree(c.tree, c.alignment, c.SS, UniformParameters(), c.hidden, values, seed);
  };
  if (listing) {
    out.listing = CapturedOutput(run);
  } else {
    run();
  }
  // The likelihood and posterior stages print their own diagnostics first.
  const std::size_t listing_start = out.listing.find("\nAncestral sequences:\n");
  out.listing = listing_start == std::string::npos ? "" : out.listing.substr(listing_start);
  out.results = ReadFile(values.out_file);
  out.summary = ReadFile(values.out_file + ".par");
  // Where the rows' draws end: the sequential draw must end there too.
  const SampleRowPlan plan(c.tree.down_pass, c.SS, c.alignment.structure, c.hidden,
                           values.n_samples, values.condition_on_pairs, seed);
  out.final_seed = JumpRandomState(seed, plan.TotalDraws());
  return out;
}

// The whole matrix drawn in stream order and written out the plain way.
Output Sequential(Case& c, const RunValues& values, std::int32_t seed, bool listing) {
  const std::vector<int>& structure = c.alignment.structure;
  const std::size_t n_sites = structure.size();
  const std::size_t n_nodes = static_cast<std::size_t>(CountSampledNodes(c.tree.down_pass));
  const std::size_t S = static_cast<std::size_t>(values.n_samples);
  const std::size_t n_rows = 2 * n_nodes * S;
  std::vector<int> anc_seqs(n_rows * n_sites);
  std::vector<double> log_P(n_rows);
  SampleAncestralSequences(c.tree.down_pass, c.SS, structure, log_P, &seed, anc_seqs,
                           values.n_samples, values.condition_on_pairs);
  SimulateHiddenAncestralSequences(c.tree.down_pass, c.SS, structure, &seed, anc_seqs,
                                   values.n_samples, c.hidden, values.condition_on_pairs);
  ReintroduceGaps(c.SS, &seed, anc_seqs, n_rows);
  Output out;
  if (listing) {
    out.listing =
        CapturedOutput([&] { ShowAncestralSequences(log_P, structure, anc_seqs, n_rows); });
  }
  auto line = [&](const int* codes, std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) text += NucIntToChar(codes[i]);
    return text + "\n";
  };
  out.results = ">SS_cons\n";
  for (const int pairing : structure) out.results += pairing == 1 ? '(' : pairing == -1 ? ')' : '-';
  out.results += '\n';
  if (values.include_data != 0) {
    for (int t = 0; t < c.alignment.n_taxa; ++t) {
      out.results += ">" + c.alignment.Names[t].name + "\n" +
                     line(c.alignment.dmatrix.data() + t * n_sites, n_sites);
    }
  }
  std::size_t r = 0;
  for (const char* prefix : {">anc_", ">psr_"}) {
    for (const NodeStruct* node : c.tree.down_pass) {
      if (!IsInteriorBelowRoot(*node)) continue;
      for (std::size_t k = 1; k <= S; ++k, ++r) {
        out.results += prefix + std::to_string(node->index) + "_" + std::to_string(k) + "\n" +
                       line(anc_seqs.data() + r * n_sites, n_sites);
      }
    }
  }
  out.summary = "prd_brlen\t1.000000\nsize\t" + std::to_string(S) + "\n";
  out.final_seed = seed;
  return out;
}

}  // namespace

TEST(StreamingRows, EveryThreadCountWritesExactlyWhatTheSequentialDrawOrderGives) {
  ScratchDir dir;
  int case_number = 0;
  for (const int condition : {0, 1}) {
    for (const std::int32_t seed : {1, 12345, 2147483646}) {
      const int include_data = seed == 12345 ? 0 : 1;
      const bool listing = seed != 1;
      Case reference_case(9, 31, 7 + condition, condition);
      const Output expected = Sequential(
          reference_case, Values(dir.Path("unused"), 5, include_data, condition, 1), seed, listing);
      for (const int threads : {1, 2, 3}) {
        Case c(9, 31, 7 + condition, condition);
        const std::string out = dir.Path("run" + std::to_string(++case_number) + ".fa");
        const Output got =
            Streamed(c, Values(out, 5, include_data, condition, threads), seed, listing);
        const std::string what = "seed " + std::to_string(seed) + ", conditioning " +
                                 std::to_string(condition) + ", threads " + std::to_string(threads);
        EXPECT_EQ(got.results, expected.results) << what;
        EXPECT_EQ(got.summary, expected.summary) << what;
        EXPECT_EQ(got.listing, expected.listing) << what;
        EXPECT_EQ(got.final_seed, expected.final_seed) << what << ": the stream ends in one place";
        EXPECT_NE(got.results.find('-', got.results.find(">anc_")), std::string::npos) << what;
      }
    }
  }
}

TEST(StreamingRows, ManyBatchesOnManyThreadsStayInOrder) {
  // Enough rows of enough columns for many batches per thread.
  ScratchDir dir;
  Case reference_case(6, 900, 3, 0);
  const Output expected =
      Sequential(reference_case, Values(dir.Path("unused"), 400, 0, 0, 1), 99, false);
  Case c(6, 900, 3, 0);
  const Output got = Streamed(c, Values(dir.Path("many.fa"), 400, 0, 0, 4), 99, false);
  EXPECT_TRUE(got.results == expected.results);
}

TEST(StreamingRows, JumpAheadPositionsFollowTheSequentialDrawCount) {
  Case c(5, 12, 11, 0);
  const SampleRowPlan plan(c.tree.down_pass, c.SS, c.alignment.structure, c.hidden, 3, 0, 77);
  const std::uint64_t U = static_cast<std::uint64_t>(CountBlocks(c.alignment.structure));
  ASSERT_EQ(plan.n_rows(), 2u * 3 * 3);
  std::uint64_t position = 0;
  for (std::size_t row = 0; row < plan.n_rows(); ++row) {
    EXPECT_EQ(plan.FirstDraw(row), position) << row;
    position += row < plan.n_sampled_rows ? U : 2 * U;
  }
  for (std::size_t row = 0; row < plan.n_rows(); ++row) {
    EXPECT_EQ(plan.FirstGapDraw(row), position + row);
  }
  EXPECT_EQ(plan.TotalDraws(), position + plan.gap_columns.size() * plan.n_rows());
  EXPECT_EQ(plan.gap_columns.size(), 2u);
}

// With rate categories a row draws its blocks' categories from its own
// stretch after every other draw of the run, each state given its
// category, and a hidden state along that category's hidden branch.
TEST(StreamingRows, RateCategoriesComeFromTheirOwnStretchAfterEveryOtherDraw) {
  Case c(6, 14, 5, 0);
  const std::size_t U = static_cast<std::size_t>(CountBlocks(c.alignment.structure));
  CategorySampling categories{{2, {}}, {c.hidden, {JukesCantor4(2.0), JukesCantor16(2.0)}}};
  for (std::size_t b = 0; b < U; ++b) {
    categories.posteriors.probs.insert(categories.posteriors.probs.end(),
                                       {0.1 * double(b % 7 + 1), 0.9 - 0.1 * double(b % 7)});
  }
  const BlockLayout layout(c.alignment.structure);
  std::vector<std::vector<double>> both;
  for (NodeStruct* node : c.tree.down_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    // Category 1 holds each block's doublets and nucleotides in reverse.
    const std::span<double> mixed = node->posterior_probs;
    std::vector<double>& entries = both.emplace_back(mixed.begin(), mixed.end());
    entries.insert(entries.end(), mixed.begin(), mixed.end());
    for (int b = 0; b < layout.n_blocks(); ++b) {
      const auto at = entries.begin() + std::ssize(mixed) + std::ptrdiff_t(layout.Offset(b));
      std::reverse(at, at + (layout.IsDoublet(b) ? 16 : 4));
    }
    node->category_posteriors = entries;
  }
  const SampleRowPlan plain(c.tree.down_pass, c.SS, c.alignment.structure, c.hidden, 3, 0, 77);
  const SampleRowPlan plan(c.tree.down_pass, c.SS, c.alignment.structure, c.hidden, 3, 0, 77,
                           &categories);
  EXPECT_EQ(plan.FirstCategoryDraw(0), plain.TotalDraws());
  EXPECT_EQ(plan.TotalDraws(), plain.TotalDraws() + plan.n_rows() * U);
  std::vector<int> got(14);
  for (const std::size_t row : {std::size_t{4}, plan.n_sampled_rows + 7}) {
    const bool hidden = row >= plan.n_sampled_rows;
    ProduceSampleRow(plan, row, false, got.data());
    const NodeStruct& node = *plan.nodes[(hidden ? row - plan.n_sampled_rows : row) / 3];
    std::int32_t state = JumpRandomState(77, plan.FirstDraw(row));
    std::int32_t category_state = JumpRandomState(77, plan.FirstCategoryDraw(row));
    for (std::size_t col = 0, block = 0; col < 14; ++col) {
      if (!OwnsBlock(c.alignment.structure[col])) continue;
      const int n = c.alignment.structure[col] == kOpeningColumn ? 16 : 4;
      const int k =
          DrawCategorical(categories.posteriors.OfBlock(block), 2, DrawUniform(&category_state));
      const std::size_t entry = layout.Offset(static_cast<int>(block++));
      int x = DrawCategorical(PosteriorEntries(node, entry, k), n, DrawUniform(&state));
      if (hidden) {
        const HiddenBranchMatrices& m = categories.hidden[static_cast<std::size_t>(k)];
        x = DrawCategorical((n == 16 ? m.doublet.data() : m.singlet.data()) + x * n, n,
                            DrawUniform(&state));
      }
      if (got[col] != kGapCode) {
        EXPECT_EQ(got[col], n == 16 ? x / 4 : x) << row << " " << col;
      }
    }
  }
}

TEST(StreamingRows, StridesAgreeWithStepping) {
  for (const std::uint64_t steps : {1ULL, 2ULL, 17ULL, 1000ULL, 123456789ULL}) {
    const RandomStride stride(steps);
    for (const std::int32_t state : {1, 16807, 99991, 2147483646}) {
      EXPECT_EQ(stride.Apply(state), JumpRandomState(state, steps));
    }
    EXPECT_EQ(stride.Apply(kRandomModulus), kRandomModulus) << "the fixed point stays";
  }
  std::int32_t stepped = 5;
  for (int i = 0; i < 3; ++i) stepped = NextRandomState(stepped);
  EXPECT_EQ(RandomStride(3).Apply(5), stepped);
}

TEST(StreamingRows, TheFirstFailureInRowOrderStopsTheRunAndNoResultsRemain) {
  ScratchDir dir;
  for (const int threads : {1, 2}) {
    // Hidden matrices with nothing to draw: the first hidden row fails,
    // after a whole batch of sampled rows has been written.
    Case c(6, 900, 5, 0);
    c.hidden = HiddenBranchMatrices{};
    int first_index = -1;
    for (const NodeStruct* node : c.tree.down_pass) {
      if (IsInteriorBelowRoot(*node) && first_index < 0) first_index = node->index;
    }
    const std::string out = dir.Path("failed.fa");
    EXPECT_EQ(FatalOutput([&] { Streamed(c, Values(out, 300, 1, 0, threads), 3, false); }),
              "\n\nErr: SimulateHiddenAncestralSequences Error: The hidden transition "
              "probabilities of node " +
                  std::to_string(first_index) +
                  " at column 0 are all 0 or not numbers; no state can be drawn.\n");
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_FALSE(std::filesystem::exists(out + ".par"));
  }
}

TEST(StreamingRows, AnUndrawablePosteriorIsReportedBeforeAnyRowAsTheSamplingOrderMeetsIt) {
  Case c(6, 8, 5, 0);
  std::vector<NodeStruct*> sampled;
  for (NodeStruct* node : c.tree.down_pass) {
    if (IsInteriorBelowRoot(*node)) sampled.push_back(node);
  }
  // Nodes 2 and 3 in down-pass order, at different columns: node 2's is met
  // first.
  const BlockLayout layout(c.alignment.structure);
  std::fill_n(sampled[1]->posterior_probs.begin() + std::ptrdiff_t(layout.Offset(3)), 4, 0.0);
  std::fill_n(sampled[2]->posterior_probs.begin(), 16, 0.0);
  const SampleRowPlan plan(c.tree.down_pass, c.SS, c.alignment.structure, c.hidden, 2, 0, 1);
  const std::string message = FatalOutput([&] { CheckSampledPosteriors(plan); });
  std::vector<int> anc_seqs(2 * sampled.size() * 2 * 8);
  std::vector<double> log_P(2 * sampled.size() * 2);
  std::int32_t seed = 1;
  EXPECT_EQ(message, FatalOutput([&] {
              SampleAncestralSequences(c.tree.down_pass, c.SS, c.alignment.structure, log_P, &seed,
                                       anc_seqs, 2, 0);
            }));
  EXPECT_NE(message.find("of node " + std::to_string(sampled[1]->index) + " at"),
            std::string::npos);
  const SampleRowPlan no_samples(c.tree.down_pass, c.SS, c.alignment.structure, c.hidden, 0, 0, 1);
  CheckSampledPosteriors(no_samples);
}
