// ribotrace --marginal against the programs our users trust: the
// log-likelihood against the LnL column that MrBayes wrote for a sampled
// tree and its parameters, and the loop posteriors against IQ-TREE's
// empirical Bayesian ancestral states on the same tree and model.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "alignment/alignment_reader.h"
#include "inference/fractional_likelihoods.h"
#include "inference/likelihood_blocks.h"
#include "inference/marginal_posteriors.h"
#include "io/data_file.h"
#include "io/parameter_file.h"
#include "io/tree_file.h"
#include "model/rate_matrices.h"
#include "model/transition_probabilities.h"
#include "sequence/stems_and_loops.h"
#include "test_support.h"
#include "tree/tree_construction.h"

namespace {

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::filesystem::path candidate = std::filesystem::path(folder) / program;
    if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return "";
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

// The header and the last row of a MrBayes .p file.
struct LastSample {
  std::vector<std::string> names;
  std::vector<std::string> values;
  double Value(const std::string& name) const {
    const auto at = std::find(names.begin(), names.end(), name);
    EXPECT_NE(at, names.end()) << name;
    return at == names.end() ? 0.0 : std::stod(values[static_cast<std::size_t>(at - names.begin())]);
  }
};

LastSample ReadLastSample(const std::string& p_file) {
  std::istringstream lines(ReadFile(p_file));
  std::string line;
  LastSample sample;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '[') continue;
    if (sample.names.empty()) {
      sample.names = SplitTabs(line);
    } else {
      sample.values = SplitTabs(line);
    }
  }
  return sample;
}

// The parameters of that sample as a summary table that ReadParameterFile
// reads: one row per parameter, from the first exchange rate on.
std::string WriteSampleTable(const ScratchDir& dir, const LastSample& sample) {
  std::string table = "Parameter\tMean\n";
  for (std::size_t i = 0; i < sample.names.size(); ++i) {
    if (sample.names[i].rfind("r(", 0) == 0 || sample.names[i].rfind("pi(", 0) == 0) {
      table += sample.names[i] + "\t" + sample.values[i] + "\n";
    }
  }
  return dir.Write("sample.pstat", table);
}

// Runs ribotrace --marginal --loglik on the last tree of `t_file` with the
// last parameters of `p_file`; returns |ribotrace - MrBayes LnL|.
double LogLikelihoodDifference(const std::string& data_file, const std::string& t_file,
                               const std::string& p_file) {
  ScratchDir dir;
  const LastSample sample = ReadLastSample(p_file);
  const ProgramResult run =
      RunProgram(RIBOTRACE_BINARY, {"--seed=7", "--marginal", "--loglik", data_file, t_file,
                                    WriteSampleTable(dir, sample), dir.Path("out"), "0", "1",
                                    "1", "0", "0"});
  EXPECT_EQ(run.status, 0) << run.output;
  double total = 0.0;
  double stems = 0.0;
  double loops = 0.0;
  const std::size_t at = run.output.find("Log-likelihood: ");
  EXPECT_NE(at, std::string::npos) << run.output;
  if (at == std::string::npos) return INFINITY;
  EXPECT_EQ(std::sscanf(run.output.c_str() + at, "Log-likelihood: %lf (stems: %lf, loops: %lf)",
                        &total, &stems, &loops),
            3);
  EXPECT_NEAR(stems + loops, total, 1e-5);
  const double difference = std::fabs(total - sample.Value("LnL"));
  std::printf("MrBayes LnL %s, ribotrace %.6f, difference %.6f\n",
              sample.values[1].c_str(), total, difference);
  return difference;
}

}  // namespace

TEST(MarginalMrBayesParity, LogLikelihoodOfTheLastSampleEqualsMrBayesLnL) {
  const std::string examples = EXAMPLES_DIR;
  EXPECT_LT(LogLikelihoodDifference(examples + "/plant_srp10.txt", examples + "/plant_srp10.nex.t",
                                    examples + "/plant_srp10.nex.p"),
            0.01);
}

TEST(MarginalMrBayesParity, AmbiguityCodesAtStemsAreStateSetsAsInMrBayes) {
  const std::string mb = FindOnPath("mb");
  ASSERT_FALSE(mb.empty()) << "MrBayes (mb) is not on PATH; scripts/install-deps.sh installs it";
  ScratchDir dir;
  // The example with ambiguity codes put into stem columns of several taxa.
  const std::string data = dir.Write("ambiguous.txt", ReadFile(std::string(EXAMPLES_DIR) +
                                                               "/plant_srp10_ambiguous.txt"));
  const ProgramResult converted = RunProgram(
      PAIRNEX_BINARY, {"--mrbayes=3.2", "--ngen=200", "--samplefreq=20", data,
                       dir.Path("ambiguous.nex")});
  ASSERT_EQ(converted.status, 0) << converted.output;
  dir.Write("seeded.nex",
            "#NEXUS\nbegin mrbayes;\n\tset seed=1 swapseed=1;\n\texecute ambiguous.nex;\nend;\n");
  const ProgramResult run = RunProgram(mb, {"seeded.nex"}, "", dir.Path(""));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_LT(LogLikelihoodDifference(data, dir.Path("ambiguous.nex.t"), dir.Path("ambiguous.nex.p")),
            0.01);
}
