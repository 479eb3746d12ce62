// ribotrace's exact posteriors against the programs our users trust: the
// log-likelihood against the LnL column that MrBayes wrote for a sampled
// tree and its parameters, and the loop columns of the per-site table
// against IQ-TREE's empirical Bayesian ancestral states on the same tree
// and model, nodes matched through the tree file of the run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "parity_support.h"
#include "test_support.h"

namespace {

// Runs ribotrace --marginal --loglik on the last tree of `t_file` with the
// last parameters of `p_file`; returns |ribotrace - MrBayes LnL|.
double LogLikelihoodDifference(const std::string& data_file, const std::string& t_file,
                               const std::string& p_file) {
  ScratchDir dir;
  const LastSample sample = ReadLastSample(p_file);
  const ProgramResult run = RunProgram(
      RIBOTRACE_BINARY, {"--seed=7", "--marginal", "--loglik", data_file, t_file,
                         WriteSampleTable(dir, sample), dir.Path("out"), "0", "1", "1", "0", "0"});
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
  std::printf("MrBayes LnL %s, ribotrace %.6f, difference %.6f\n", sample.values[1].c_str(), total,
              difference);
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
  const std::string data = dir.Write(
      "ambiguous.txt", ReadFile(std::string(EXAMPLES_DIR) + "/plant_srp10_ambiguous.txt"));
  const ProgramResult converted =
      RunProgram(PAIRNEX_BINARY, {"--mrbayes=3.2", "--nruns=1", "--nchains=1", "--ngen=200",
                                  "--samplefreq=20", data, dir.Path("ambiguous.nex")});
  ASSERT_EQ(converted.status, 0) << converted.output;
  dir.Write("seeded.nex",
            "#NEXUS\nbegin mrbayes;\n\tset seed=1 swapseed=1;\n\texecute ambiguous.nex;\nend;\n");
  const ProgramResult run = RunProgram(mb, {"seeded.nex"}, "", dir.Path(""));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_LT(LogLikelihoodDifference(data, dir.Path("ambiguous.nex.t"), dir.Path("ambiguous.nex.p")),
            0.01);
}

namespace {

// Runs pairnex --rates=gamma and a short seeded MrBayes chain on
// examples/<name>.txt in `dir`; returns the data file.
std::string RunMrBayesWithGamma(const ScratchDir& dir, const std::string& name) {
  const std::string mb = FindOnPath("mb");
  EXPECT_FALSE(mb.empty()) << "MrBayes (mb) is not on PATH; scripts/install-deps.sh installs it";
  const std::string data_file = std::string(EXAMPLES_DIR) + "/" + name + ".txt";
  const ProgramResult converted = RunProgram(
      PAIRNEX_BINARY, {"--mrbayes=3.2", "--nruns=1", "--nchains=1", "--rates=gamma", "--ngen=400",
                       "--samplefreq=20", data_file, dir.Path("gamma.nex")});
  EXPECT_EQ(converted.status, 0) << converted.output;
  dir.Write("seeded.nex",
            "#NEXUS\nbegin mrbayes;\n\tset seed=3 swapseed=3;\n\texecute gamma.nex;\nend;\n");
  const ProgramResult mrbayes = RunProgram(mb, {"seeded.nex"}, "", dir.Path(""));
  EXPECT_EQ(mrbayes.status, 0) << mrbayes.output;
  return data_file;
}

}  // namespace

TEST(GammaParity, TheSingleModelGivesMrBayesLnL) {
  ScratchDir dir;
  const std::string data_file = RunMrBayesWithGamma(dir, "snr75");
  EXPECT_GT(ReadLastSample(dir.Path("gamma.nex.p")).Value("alpha"), 0.0);
  EXPECT_LT(LogLikelihoodDifference(data_file, dir.Path("gamma.nex.t"), dir.Path("gamma.nex.p")),
            0.01);
}

TEST(MarginalIqTreeParity, LoopPosteriorsEqualIqTreeAncestralStates) {
  const std::string examples = EXAMPLES_DIR;
  std::string report;
  CompareLoopPosteriorsWithIqTree(examples + "/plant_srp10.txt", examples + "/plant_srp10.nex.t",
                                  ReadLastSample(examples + "/plant_srp10.nex.p"), 0.0, &report);
}

// The bundled example under rates=gamma: MrBayes's LnL, IQ-TREE's loop
// posteriors under +G4 with the same shape (its categories are mean rates
// too), the same samples on any number of threads, and --classic refused.
TEST(GammaParity, StemsAndLoopsMatchMrBayesAndIqTreeAndEveryThreadCountDrawsTheSame) {
  ScratchDir dir;
  const std::string data_file = RunMrBayesWithGamma(dir, "plant_srp10");
  const std::string t_file = dir.Path("gamma.nex.t");
  const LastSample sample = ReadLastSample(dir.Path("gamma.nex.p"));
  EXPECT_LT(LogLikelihoodDifference(data_file, t_file, dir.Path("gamma.nex.p")), 0.01);

  const double alpha = sample.Value("alpha{2}");
  std::string report;
  CompareLoopPosteriorsWithIqTree(data_file, t_file, sample, alpha, &report);
  EXPECT_NE(report.find("computed as MEAN of the portion"), std::string::npos) << report;
  const std::size_t at = report.find("Gamma shape alpha: ");
  ASSERT_NE(at, std::string::npos) << report;
  EXPECT_NEAR(std::stod(report.substr(at + 19)), alpha, 5e-4 * alpha);

  const std::string table = WriteSampleTable(dir, sample);
  std::string first;
  for (const std::string threads : {"1", "2", "3"}) {
    const std::string out = dir.Path("out" + threads);
    const ProgramResult ours =
        RunProgram(RIBOTRACE_BINARY, {"--seed=11", "--threads=" + threads, "--state", data_file,
                                      t_file, table, out, "1", "1", "40", "0", "1"});
    ASSERT_EQ(ours.status, 0) << ours.output;
    const std::string results = ReadFile(out) + ReadFile(out + ".state") + ReadFile(out + ".pairs");
    if (first.empty()) first = results;
    EXPECT_TRUE(results == first) << threads << " threads";
  }
  const ProgramResult classic =
      RunProgram(RIBOTRACE_BINARY,
                 {"--classic", data_file, t_file, table, dir.Path("c"), "1", "1", "1", "0", "0"});
  EXPECT_EQ(classic.status, 1);
  EXPECT_NE(classic.output.find("which --classic does not model"), std::string::npos);
}

// ratepr=variable: the stems' and loops' rate multipliers (m{1}, m{2}) in
// MrBayes's own sample scale every branch of their partition as in its LnL.
TEST(MarginalMrBayesParity, PartitionRateMultipliersGiveMrBayesLnL) {
  const std::string mb = FindOnPath("mb");
  ASSERT_FALSE(mb.empty()) << "MrBayes (mb) is not on PATH; scripts/install-deps.sh installs it";
  const std::string examples = EXAMPLES_DIR;
  std::string nexus = ReadFile(examples + "/plant_srp10.nex");
  const auto replace = [&nexus](const std::string& from, const std::string& to) {
    const std::size_t at = nexus.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    nexus.replace(at, from.size(), to);
  };
  replace("nowarn=yes;", "nowarn=yes seed=5 swapseed=5;");
  replace("unlink revmat=(all);", "unlink revmat=(all);\n\tprset applyto=(all) ratepr=variable;");
  replace("ngen=2000", "ngen=400");
  replace("sump relburnin=no burnin=50;", "sump relburnin=no burnin=2;");
  replace("sumt relburnin=no burnin=50", "sumt relburnin=no burnin=2");
  ScratchDir dir;
  dir.Write("variable.nex", nexus);
  const ProgramResult run = RunProgram(mb, {"variable.nex"}, "", dir.Path(""));
  ASSERT_EQ(run.status, 0) << run.output;
  const LastSample sample = ReadLastSample(dir.Path("variable.nex.p"));
  ASSERT_NE(sample.Value("m{1}"), sample.Value("m{2}"));
  EXPECT_LT(LogLikelihoodDifference(examples + "/plant_srp10.txt", dir.Path("variable.nex.t"),
                                    dir.Path("variable.nex.p")),
            0.01);
}
