// The figures of change on every branch of a three-taxon tree against a
// brute-force sum over the states of every node, with the expected
// substitutions given a branch's ends integrated numerically along it.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "test_support.h"

#include "inference/branch_changes.h"
#include "inference/fractional_likelihoods.h"
#include "inference/likelihood_blocks.h"
#include "inference/marginal_posteriors.h"
#include "inference_test_support.h"
#include "model/partition_models.h"
#include "model/transition_probabilities.h"

namespace {

int Changed(int from, int to, int n) {
  if (n == 4) return from == to ? 0 : 1;
  return (from / 4 != to / 4) + (from % 4 != to % 4);
}

// E[substitutions | a, b] over time t by Simpson's rule on
// sum over i != j of w_ij q_ij P_ai(s) P_jb(t - s), divided by P_ab(t).
std::vector<double> IntegratedExpectations(const SubstitutionModel& model, double t) {
  const int n = model.n_states();
  const auto n2 = static_cast<std::size_t>(n * n);
  const int steps = 400;
  std::vector<double> counts(n2, 0.0);
  std::vector<double> before(n2);
  std::vector<double> after(n2);
  for (int k = 0; k <= steps; ++k) {
    const double s = t * k / steps;
    const double weight = (k == 0 || k == steps) ? 1.0 : (k % 2 == 1 ? 4.0 : 2.0);
    model.TransitionProbabilities(s, 1.0, before);
    model.TransitionProbabilities(t - s, 1.0, after);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) {
        const double rate = i == j ? 0.0 : model.q()[i * n + j] * Changed(i, j, n);
        if (rate == 0.0) continue;
        for (int a = 0; a < n; ++a) {
          for (int b = 0; b < n; ++b) {
            counts[a * n + b] +=
                weight * t / (3.0 * steps) * rate * before[a * n + i] * after[j * n + b];
          }
        }
      }
    }
  }
  model.TransitionProbabilities(t, 1.0, after);
  for (std::size_t e = 0; e < n2; ++e) counts[e] /= after[e];
  return counts;
}

// Every node's state enumerated: the joint of each branch's two ends.
template <int N>
std::map<const NodeStruct*, std::vector<double>> BranchJoints(const HandTree& tree,
                                                              const Alignment& alignment,
                                                              const std::vector<SiteRecord>& SS,
                                                              const double* freq, int column) {
  std::map<const NodeStruct*, std::vector<double>> joints;
  std::map<const NodeStruct*, std::vector<double>> tips;
  for (const NodeStruct* node : tree.up_pass) {
    if (node->anc != nullptr) joints[node].assign(N * N, 0.0);
    if (node->IsTip()) tips[node] = TipBlock(*node, alignment, SS, column, true);
  }
  std::map<const NodeStruct*, int> state;
  std::function<void(std::size_t)> visit = [&](std::size_t k) {
    if (k < tree.up_pass.size()) {
      for (int x = 0; x < N; ++x) {
        state[tree.up_pass[k]] = x;
        visit(k + 1);
      }
      return;
    }
    double weight = freq[state[tree.root]];
    for (const NodeStruct* node : tree.up_pass) {
      if (node->anc == nullptr) continue;
      weight *= BranchMatrix<N>(tree.matrices, *node)[state[node->anc] * N + state[node]];
      if (node->IsTip()) weight *= tips[node][static_cast<std::size_t>(state[node])];
    }
    for (auto& [node, joint] : joints) joint[state[node->anc] * N + state[node]] += weight;
  };
  visit(0);
  return joints;
}

template <int N>
void ExpectBlockMatches(const HandTree& tree, const BranchChanges& changes,
                        const Alignment& alignment, const std::vector<SiteRecord>& SS,
                        const SubstitutionModel& model, double time_factor, int block) {
  const int column = BlockLayout(alignment.structure).Column(block);
  const auto joints = BranchJoints<N>(tree, alignment, SS, model.frequencies().data(), column);
  for (const auto& [node, joint] : joints) {
    const std::vector<double> expected = IntegratedExpectations(model, node->length * time_factor);
    double total = 0.0;
    BranchFigures figures;
    for (int x = 0; x < N; ++x) {
      for (int y = 0; y < N; ++y) {
        const double p = joint[x * N + y];
        total += p;
        figures.e_subs += p * expected[x * N + y];
        if (N == 4) continue;
        const bool from = IsCanonicalDoublet(x);
        const bool to = IsCanonicalDoublet(y);
        if (from && to && Changed(x, y, 16) == 2) figures.p_cbc += p;
        if (from && to && Changed(x, y, 16) == 1) figures.p_hemi += p;
        if (from && !to) figures.p_break += p;
        if (!from && to) figures.p_restore += p;
      }
    }
    figures = figures * (1.0 / total);
    const BranchFigures& got = changes.At(*node, block);
    SCOPED_TRACE("block " + std::to_string(block) + " node " + std::to_string(node->index));
    EXPECT_NEAR(got.p_cbc, figures.p_cbc, 1e-12);
    EXPECT_NEAR(got.p_hemi, figures.p_hemi, 1e-12);
    EXPECT_NEAR(got.p_break, figures.p_break, 1e-12);
    EXPECT_NEAR(got.p_restore, figures.p_restore, 1e-12);
    EXPECT_NEAR(got.e_subs, figures.e_subs, 1e-7 * (1.0 + figures.e_subs));
  }
}

}  // namespace

// A stem pair that is G-C, G-U and A-U in the three taxa (one-sided and
// compensatory changes, all likely), an ambiguous pair and a loop column.
TEST(BranchChanges, MatchBruteForceEnumerationAndIntegrationAlongTheBranch) {
  HandTree tree = BuildTree("((t0:0.1,t1:0.25):0.15,t2:0.3)");
  const std::vector<int> structure = {1, 1, 0, -1, -1};
  const Alignment alignment = MakeAlignment(structure, {"GCAGC", "GGAUU", "ARCUU"});
  const std::vector<SiteRecord> SS = SiteRecordsOf(alignment, 0);
  GiveVectors(tree, structure, true);
  const ModelParams parameters = UnevenParameters();
  const PartitionModels models = MakePartitionModels(parameters);
  SetSingeltonTransitionProbabilities(tree.up_pass, models.loops, tree.matrices);
  SetDoubletTransitionProbabilities(tree.up_pass, models.stems, tree.matrices, 2.0);
  PassOptions options;
  options.stem_codes_as_sets = true;
  GetFractionalLikelihoods(tree.down_pass, tree.matrices, SS, alignment, options);
  BranchChanges changes(tree.up_pass.size(), CountBlocks(structure));
  BranchChangeRecorder recorder(changes, tree.up_pass, models, 1.0, 2.0);
  GetMarginalPosteriors(tree.up_pass, tree.matrices, SS, alignment, parameters, options, &recorder);
  // Blocks in column order: pair 0-4, pair 1-3, loop 2.
  ExpectBlockMatches<16>(tree, changes, alignment, SS, models.stems, 2.0, 0);
  ExpectBlockMatches<16>(tree, changes, alignment, SS, models.stems, 2.0, 1);
  ExpectBlockMatches<4>(tree, changes, alignment, SS, models.loops, 1.0, 2);
  EXPECT_GT(changes.At(*tree.root->children[1], 0).p_cbc, 0.05);  // G-C above, A-U at t2
}

namespace {

// A tab-separated table as rows of column name -> text.
std::vector<std::map<std::string, std::string>> ReadTable(const std::string& path) {
  std::istringstream in(ReadFile(path));
  std::vector<std::string> header;
  std::vector<std::map<std::string, std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    if (header.empty()) {
      header = fields;
      continue;
    }
    std::map<std::string, std::string>& row = rows.emplace_back();
    for (std::size_t f = 0; f < header.size() && f < fields.size(); ++f) row[header[f]] = fields[f];
  }
  return rows;
}

}  // namespace

// The program on the bundled example, one tree and MrBayes's two runs: a
// row per branch of .tree (or clade and taxon) and stem pair, probabilities
// that are probabilities, and per-branch sums that are the presence-weighted
// sums of the pair rows.
TEST(BranchChanges, WholeRunsWriteConsistentTables) {
  const std::string examples = EXAMPLES_DIR;
  const std::string runs = examples + "/plant_srp10_2runs.nex";
  for (const bool sample : {false, true}) {
    SCOPED_TRACE(sample ? "two runs" : "one tree");
    ScratchDir dir;
    const std::string out = dir.Path("out");
    const std::vector<std::string> files =
        sample ? std::vector<std::string>{runs + ".run1.t," + runs + ".run2.t",
                                          runs + ".run1.p," + runs + ".run2.p"}
               : std::vector<std::string>{examples + "/plant_srp10.nex.con.tre",
                                          examples + "/plant_srp10.nex.pstat"};
    const ProgramResult run =
        RunProgram(RIBOTRACE_BINARY, {examples + "/plant_srp10.txt", files[0], files[1], out, "0",
                                      "0.1", "1", "0", "0", "--seed=3", "--changes"});
    ASSERT_EQ(run.status, 0) << run.errors;
    const auto pairs = ReadTable(out + ".changes");
    const auto branches = ReadTable(out + ".branches");
    const std::string tree = ReadFile(out + ".tree");
    ASSERT_GE(branches.size(), 10u + 5u);
    ASSERT_EQ(pairs.size() % branches.size(), 0u);
    const std::size_t n_pairs = pairs.size() / branches.size();
    EXPECT_GE(n_pairs, 20u);
    std::map<std::string, std::array<double, 5>> sums;
    for (const auto& row : pairs) {
      const std::string& name = row.at("Branch");
      EXPECT_NE(tree.find(name), std::string::npos) << name;
      double total = 0.0;
      for (const char* p : {"p_cbc", "p_hemi", "p_break", "p_restore", "p_present"}) {
        const double value = std::stod(row.at(p));
        EXPECT_TRUE(value >= 0.0 && value <= 1.0 + 1e-9) << name << " " << p;
        total += std::string(p) == "p_present" ? 0.0 : value;
      }
      EXPECT_LE(total, 1.0 + 1e-5);
      EXPECT_LT(std::stoi(row.at("Site5")), std::stoi(row.at("Site3")));
      EXPECT_GE(std::stoi(row.at("Helix")), 1);
      const double present = std::stod(row.at("p_present"));
      std::array<double, 5>& sum = sums[name];
      sum[0] += present * std::stod(row.at("p_cbc"));
      sum[1] += present * std::stod(row.at("p_hemi"));
      sum[2] += present * std::stod(row.at("p_break"));
      sum[3] += present * std::stod(row.at("E_subs"));
    }
    for (const auto& row : branches) {
      const std::array<double, 5>& sum = sums.at(row.at("Branch"));
      EXPECT_NEAR(std::stod(row.at("p_cbc")), sum[0], 1e-4 * (1.0 + sum[0]));
      EXPECT_NEAR(std::stod(row.at("p_hemi")), sum[1], 1e-4 * (1.0 + sum[1]));
      EXPECT_NEAR(std::stod(row.at("p_break")), sum[2], 1e-4 * (1.0 + sum[2]));
      EXPECT_NEAR(std::stod(row.at("E_subs")), sum[3], 1e-4 * (1.0 + sum[3]));
      EXPECT_GT(std::stod(row.at("E_subs_loops")), 0.0);
      EXPECT_GE(std::stod(row.at("Length")), 0.0);
    }
  }
}
