// The convergence figures on series small enough to work out by hand, and
// the warning a run over a short MrBayes chain gives.
#include "inference/convergence.h"

#include <gtest/gtest.h>

#include <cmath>

#include "test_support.h"

TEST(Convergence, FiguresOfSmallSeriesWorkedOutByHand) {
  // Equal runs: no spread between them, PSRF sqrt((n - 1) / n).
  EXPECT_NEAR(PotentialScaleReduction({{1, 2, 3, 4}, {1, 2, 3, 4}}), std::sqrt(0.75), 1e-12);
  // Means 0.5 and 2.5, within-run variance 1/3: B = 8, pooled 0.25 + 2.
  EXPECT_NEAR(PotentialScaleReduction({{0, 0, 1, 1}, {2, 2, 3, 3}}), std::sqrt(2.25 * 3), 1e-12);
  EXPECT_TRUE(std::isnan(PotentialScaleReduction({{1, 2, 3}})));

  // Independent-looking draws keep about their number; a chain stuck for
  // half its length and then moved is worth very few.
  std::vector<double> stuck(100, 0.0);
  std::fill(stuck.begin() + 50, stuck.end(), 1.0);
  EXPECT_LT(EffectiveSampleSize(stuck), 5.0);
  EXPECT_EQ(EffectiveSampleSize(std::vector<double>(10, 3.0)), 10.0);
  const std::vector<double> alternating = {1, -1, 1, -1, 1, -1, 1, -1};
  EXPECT_EQ(EffectiveSampleSize(alternating), 8.0);

  // Splits seen in 10% of some run's trees count: sd(0.5, 0.7) and sd(1, 1).
  EXPECT_NEAR(AverageSplitDeviation({{0.5, 0.7}, {0.05, 0.08}, {1.0, 1.0}}),
              (std::sqrt(0.02) + 0.0) / 2.0, 1e-12);
  EXPECT_TRUE(std::isnan(AverageSplitDeviation({{0.5}})));
}

// The bundled two-run analysis is a chain of 2,000 generations, far from
// converged: the run says so, with the figures in the summary; one run
// cannot show convergence at all.
TEST(Convergence, AShortChainIsSaidNotToHaveConverged) {
  ScratchDir dir;
  const std::string examples = EXAMPLES_DIR;
  const std::string runs = examples + "/plant_srp10_2runs.nex";
  const ProgramResult two = RunProgram(
      RIBOTRACE_BINARY,
      {"--seed=1", examples + "/plant_srp10.txt", runs + ".run1.t," + runs + ".run2.t",
       runs + ".run1.p," + runs + ".run2.p", dir.Path("two.fa"), "1", "1.0", "1", "0", "0"});
  ASSERT_EQ(two.status, 0) << two.output;
  EXPECT_NE(two.errors.find("Warning: MrBayes's runs have not converged over the samples used: "
                            "ESS of the log-likelihood"),
            std::string::npos)
      << two.errors;
  const std::string summary = ReadFile(dir.Path("two.fa.par"));
  for (const char* figure : {"\nESS_LnL\t", "\nPSRF_max\t", "\nASDSF\t"}) {
    EXPECT_NE(summary.find(figure), std::string::npos) << figure;
  }
  const ProgramResult one = RunProgram(
      RIBOTRACE_BINARY, {"--seed=1", examples + "/plant_srp10.txt", runs + ".run1.t",
                         runs + ".run1.p", dir.Path("one.fa"), "1", "1.0", "1", "0", "0"});
  ASSERT_EQ(one.status, 0) << one.output;
  EXPECT_NE(one.errors.find("comes from one MrBayes run, so whether it has converged cannot be "
                            "checked"),
            std::string::npos)
      << one.errors;
  // On one tree, from MrBayes's own figures in the parameter summary.
  const ProgramResult summary_run = RunProgram(
      RIBOTRACE_BINARY, {examples + "/plant_srp10.txt", runs + ".con.tre", runs + ".pstat",
                         dir.Path("con.fa"), "1", "1.0", "1", "0", "0"});
  ASSERT_EQ(summary_run.status, 0) << summary_run.output;
  EXPECT_NE(summary_run.errors.find("Warning: MrBayes's runs have not converged ('" + runs +
                                    ".pstat': smallest ESS 2.5 (below 100), largest PSRF 5.686 "
                                    "(above 1.05))"),
            std::string::npos)
      << summary_run.errors;
}

// Over the same samples (MrBayes's own burn-in of half the samples, every
// sample used), the ASDSF equals the one MrBayes prints after sumt.
TEST(Convergence, TheSplitDeviationIsMrBayesOwn) {
  ScratchDir dir;
  const std::string mb = FindOnPath("mb");
  ASSERT_FALSE(mb.empty()) << "scripts/install-deps.sh installs MrBayes";
  const std::string data = std::string(EXAMPLES_DIR) + "/plant_srp10.txt";
  ASSERT_EQ(RunProgram(PAIRNEX_BINARY, {"--ngen=2000", "--samplefreq=20", data, dir.Path("c.nex")})
                .status,
            0);
  const ProgramResult run = RunProgram(mb, {"c.nex"}, "", dir.Path(""));
  const std::string marker = "Average standard deviation of split frequencies = ";
  const std::size_t at = run.output.rfind(marker);
  ASSERT_NE(at, std::string::npos) << run.output.substr(run.output.size() - 2000);
  const double printed = std::stod(run.output.substr(at + marker.size()));
  const ProgramResult ours =
      RunProgram(RIBOTRACE_BINARY, {"--burnin=0.5", "--trees=100000", "--min-clade=0.5", data,
                                    dir.Path("c.nex.run1.t") + "," + dir.Path("c.nex.run2.t"),
                                    dir.Path("c.nex.run1.p") + "," + dir.Path("c.nex.run2.p"),
                                    dir.Path("o.fa"), "1", "1.0", "1", "0", "0"});
  ASSERT_EQ(ours.status, 0) << ours.output;
  const std::string summary = ReadFile(dir.Path("o.fa.par"));
  const std::size_t asdsf = summary.find("\nASDSF\t");
  ASSERT_NE(asdsf, std::string::npos);
  EXPECT_NEAR(std::stod(summary.substr(asdsf + 7)), printed, 1e-6);
}
