#include <gtest/gtest.h>

#include "convert_file.h"
#include "test_support.h"

using pairnex::ConvertFile;
using pairnex::MrBayesDialect;
using pairnex::MrBayesRun;

namespace {

// The original text: MrBayes 3.1's summary commands, one run of one chain.
MrBayesRun OriginalRun() {
  MrBayesRun run;
  run.dialect = MrBayesDialect::k31;
  run.nruns = 1;
  run.nchains = 1;
  return run;
}

// Converts `alignment_text` and returns the NEXUS file written.
std::string Converted(const std::string& alignment_text, const MrBayesRun& run = OriginalRun()) {
  ScratchDir dir;
  const std::string nexus = dir.Path("out.nex");
  ConvertFile(dir.Write("in.txt", alignment_text), nexus, run);
  return ReadFile(nexus);
}

const char* const kTenSites =
    ">structure\n"
    "((------))\n"
    ">alpha\n"
    "GCAAAAAAGC\n"
    ">beta_2\n"
    "gc.n?-0xgu\n";

const char* const kDataBlock =
    "#NEXUS\n"
    "\n"
    "begin data;\n"
    "\tdimensions ntax=2 nchar=10;\n"
    "\tformat datatype=rna gap=- missing=? interleave=yes;\n"
    "\tmatrix\n"
    "\talpha\t\tGCAAAAAAGC\n"
    "\tbeta_2\t\tGC.N?-0XGU\n"
    ";\n"
    "end;\n"
    "\n";

const char* const kPartitionedModel =
    "\tpartition by_stem_loop = 2:stems,loops;\n"
    "\tset partition = by_stem_loop;\n"
    "\tlset applyto=(1)   nucmodel=doublet;\n"
    "\tlset applyto=(2)   nucmodel=4by4;\n"
    "\tlset applyto=(1) nst=6;\n"
    "\tlset applyto=(2) nst=6;\n"
    "\tunlink revmat=(all);\n";

const char* const kDefaultChainAndSummary =
    "\tmcmc ngen=1000000 savebrlens=yes nchains=1 nruns=1 printfreq=1000 samplefreq=1000;\n"
    "\tsump burnin=500 printtofile=yes;\n"
    "\tsumt burnin=500 contype=allcompat;\n"
    "\tquit;\n"
    "end;";

}  // namespace

TEST(MrBayesBlock, TenSitesWithTwoNestedPairs) {
  const std::string expected = std::string(kDataBlock) +
                               "begin mrbayes;\n"
                               "\tset autoclose=yes nowarn=yes;\n"
                               "\tpairs 1:10,2:9;\n"
                               "\tcharset stems = 1 2 9 10;\n"
                               "\tcharset loops = 3 4 5 6 7 8;\n" +
                               kPartitionedModel + kDefaultChainAndSummary;
  // '.', '0' and 'X' are named (on standard error) before MrBayes runs.
  EXPECT_EQ(Converted(kTenSites), expected);
}

TEST(MrBayesBlock, PairsWithoutLoopsKeepAnEmptyLoopSet) {
  const std::string text = Converted(">s\n(())()\n>a\nGGCCAU\n>b\nGGCCGU\n");
  const std::string expected =
      "begin mrbayes;\n"
      "\tset autoclose=yes nowarn=yes;\n"
      "\tpairs 1:4,2:3,5:6;\n"
      "\tcharset stems = 1 2 3 4 5 6;\n"
      "\tcharset loops =;\n" +
      std::string(kPartitionedModel) + kDefaultChainAndSummary;
  ASSERT_NE(text.find("begin mrbayes;"), std::string::npos);
  EXPECT_EQ(text.substr(text.find("begin mrbayes;")), expected);
}

TEST(MrBayesBlock, NoPairsGiveTheSingleModel) {
  // '.' in the structure line is unpaired too.
  const std::string text = Converted(">s\n--..\n>a\nACGU\n>b\nACGT\n>c\nAC-?\n");
  EXPECT_EQ(text,
            "#NEXUS\n\nbegin data;\n"
            "\tdimensions ntax=3 nchar=4;\n"
            "\tformat datatype=rna gap=- missing=? interleave=yes;\n"
            "\tmatrix\n"
            "\ta\t\tACGU\n"
            "\tb\t\tACGT\n"
            "\tc\t\tAC-?\n"
            ";\nend;\n\n"
            "begin mrbayes;\n"
            "\tset autoclose=yes nowarn=yes;\n"
            "\tlset nucmodel=4by4 nst=6;\n" +
                std::string(kDefaultChainAndSummary));
}

TEST(MrBayesBlock, GammaRatesGiveEveryPartitionItsOwnShape) {
  MrBayesRun run = OriginalRun();
  run.gamma_rates = true;
  EXPECT_NE(Converted(">s\n(-)\n>a\nGAC\n>b\nGUC\n", run)
                .find("\tlset applyto=(1) nst=6 rates=gamma;\n\tlset applyto=(2) nst=6 "
                      "rates=gamma;\n\tunlink revmat=(all);\n\tunlink shape=(all);\n"),
            std::string::npos);
  run.gamma_categories = 6;
  EXPECT_NE(Converted(">s\n---\n>a\nGAC\n>b\nGUC\n", run)
                .find("\tlset nucmodel=4by4 nst=6 rates=gamma ngammacat=6;\n\tmcmc "),
            std::string::npos);
}

TEST(MrBayesBlock, ChainLengthAndRunsScaleTheBurnInInBothDialects) {
  const std::string alignment = ">s\n(-)\n>a\nGAC\n>b\nGUC\n";
  MrBayesRun run = OriginalRun();
  run.ngen = 3000;
  run.samplefreq = 20;  // 150 samples: burn-in 75
  const std::string old_style = Converted(alignment, run);
  EXPECT_NE(old_style.find("\tmcmc ngen=3000 savebrlens=yes nchains=1 nruns=1 printfreq=20 "
                           "samplefreq=20;\n\tsump burnin=75 printtofile=yes;\n"
                           "\tsumt burnin=75 contype=allcompat;\n\tquit;\nend;"),
            std::string::npos);

  run.dialect = MrBayesDialect::k32;
  run.samplefreq = 1000;  // 3 samples: burn-in 1
  run.nruns = 2;          // the burn-in counts the samples of each run
  run.nchains = 4;
  const std::string current = Converted(alignment, run);
  EXPECT_NE(current.find("\tmcmc ngen=3000 savebrlens=yes nchains=4 nruns=2 printfreq=1000 "
                         "samplefreq=1000;\n\tsump relburnin=no burnin=1;\n"
                         "\tsumt relburnin=no burnin=1 contype=allcompat;\n\tquit;\nend;"),
            std::string::npos);
  EXPECT_EQ(current.substr(0, current.find("\tmcmc")),
            old_style.substr(0, old_style.find("\tmcmc")));
}

TEST(MrBayesBlock, ReproducesTheBundledExampleInputs) {
  MrBayesRun run = OriginalRun();
  run.dialect = MrBayesDialect::k32;
  run.ngen = 2000;
  run.samplefreq = 20;
  for (const char* name : {"plant_srp10", "snr75"}) {
    const std::string examples = EXAMPLES_DIR;
    const std::string expected = ReadFile(examples + "/" + name + ".nex");
    ASSERT_FALSE(expected.empty()) << name;
    EXPECT_EQ(Converted(ReadFile(examples + "/" + name + ".txt"), run), expected) << name;
  }
}
