// End-to-end: what pairnex writes must run through the real MrBayes (`mb`)
// and give the files and parameter names that ribotrace reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "test_support.h"

namespace {

// The first column of every row of a tab-separated .pstat file.
std::vector<std::string> ParameterNames(const std::string& pstat) {
  std::vector<std::string> names;
  std::istringstream lines(pstat);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '[') continue;
    names.push_back(line.substr(0, line.find('\t')));
  }
  return names;
}

// Converts examples/<name>.txt with a short chain for MrBayes 3.2, runs mb
// on it in `dir`, and returns the parameter names of the summary.
std::vector<std::string> ConvertAndRunMrBayes(const ScratchDir& dir, const std::string& name) {
  const std::string mb = FindOnPath("mb");
  if (mb.empty()) {
    ADD_FAILURE() << "MrBayes (mb) is not on PATH; scripts/install-deps.sh installs it";
    return {};
  }
  const std::string nexus = name + ".nex";
  const ProgramResult converted =
      RunProgram(PAIRNEX_BINARY,
                 {"--mrbayes=3.2", "--nruns=1", "--nchains=1", "--ngen=2000", "--samplefreq=20",
                  std::string(EXAMPLES_DIR) + "/" + name + ".txt", dir.Path(nexus)});
  EXPECT_EQ(converted.status, 0) << converted.output;

  const ProgramResult run = RunProgram(mb, {nexus}, "", dir.Path(""));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output.find("Error"), std::string::npos) << run.output;
  for (const char* suffix : {".con.tre", ".t", ".pstat"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.Path(nexus + suffix))) << nexus << suffix;
  }
  EXPECT_NE(ReadFile(dir.Path(nexus + ".con.tre")).find("tree con_all_compat = "),
            std::string::npos);
  return ParameterNames(ReadFile(dir.Path(nexus + ".pstat")));
}

bool Has(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

TEST(MrBayesRun, StemsAndLoopsGiveDoubletAndLoopParameters) {
  ScratchDir dir;
  const std::vector<std::string> names = ConvertAndRunMrBayes(dir, "plant_srp10");
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), "Parameter");
  // MrBayes names the 16 doublets AA ... DD, A B C D standing for A C G U.
  for (const char first : std::string("ABCD")) {
    for (const char second : std::string("ABCD")) {
      const std::string doublet = std::string("pi(") + first + second + "){1}";
      EXPECT_TRUE(Has(names, doublet)) << doublet;
    }
  }
  for (const char* loop : {"r(A<->C){2}", "r(G<->T){2}", "pi(A){2}", "pi(T){2}"}) {
    EXPECT_TRUE(Has(names, loop)) << loop;
  }
  EXPECT_TRUE(Has(names, "r(A<->C){1}"));  // the stems' own exchange rates
}

TEST(MrBayesRun, NoPairsGiveOneUnpartitionedModel) {
  ScratchDir dir;
  const std::vector<std::string> names = ConvertAndRunMrBayes(dir, "snr75");
  EXPECT_EQ(names, (std::vector<std::string>{"Parameter", "TL", "r(A<->C)", "r(A<->G)", "r(A<->T)",
                                             "r(C<->G)", "r(C<->T)", "r(G<->T)", "pi(A)", "pi(C)",
                                             "pi(G)", "pi(T)"}));
}

// Names that MrBayes cannot take as written (a leading digit, punctuation,
// names equal but for case) reach MrBayes renamed and come back as written:
// pairnex, the real mb and ribotrace run through, and the tree that
// ribotrace writes reads back in dendropy with the data's own names.
TEST(MrBayesRun, AwkwardNamesRunThroughAndComeBackAsWritten) {
  ScratchDir dir;
  std::string data = ReadFile(std::string(EXAMPLES_DIR) + "/plant_srp10.txt");
  const std::vector<std::pair<std::string, std::string>> renames = {
      {">X71484_1_3_290\n", ">16S=rice{1}\n"},
      {">U85037_1_1_298\n", ">Oryza\n"},
      {">X13914_1_1_303\n", ">ORYZA\n"}};
  for (const auto& [from, to] : renames) data.replace(data.find(from), from.size(), to);
  const std::string mb = FindOnPath("mb");
  ASSERT_FALSE(mb.empty()) << "scripts/install-deps.sh installs MrBayes";
  // pairnex's default text: MrBayes 3.2.7 runs it through its summaries,
  // with two runs (an earlier default stopped at sump after the chain).
  ASSERT_EQ(RunProgram(PAIRNEX_BINARY, {"--ngen=1000", "--samplefreq=20",
                                        dir.Write("names.txt", data), dir.Path("names.nex")})
                .status,
            0);
  const ProgramResult run = RunProgram(mb, {"names.nex"}, "", dir.Path(""));
  ASSERT_EQ(run.output.find("Error"), std::string::npos) << run.output;
  for (const char* made : {".con.tre", ".pstat", ".tstat", ".run1.t", ".run2.p"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.Path(std::string("names.nex") + made)))
        << made;
  }
  const ProgramResult traced =
      RunProgram(RIBOTRACE_BINARY,
                 {"--seed=1", dir.Path("names.txt"), dir.Path("names.nex.con.tre"),
                  dir.Path("names.nex.pstat"), dir.Path("out.fa"), "1", "1.0", "2", "0", "0"});
  ASSERT_EQ(traced.status, 0) << traced.output << traced.errors;
  const ProgramResult dendropy = RunProgram(
      "/usr/bin/python3",
      {"-c",
       "import sys, dendropy\n"
       "taxa = dendropy.TaxonNamespace(is_case_sensitive=True)\n"
       "t = dendropy.Tree.get(path=sys.argv[1], schema='newick', preserve_underscores=True,\n"
       "                      taxon_namespace=taxa, case_sensitive_taxon_labels=True)\n"
       "print(sorted(n.taxon.label for n in t.leaf_node_iter() if n.taxon.label[0] in '1O'))",
       dir.Path("out.fa.tree")});
  EXPECT_EQ(dendropy.output, "['16S=rice{1}', 'ORYZA', 'Oryza']\n") << dendropy.errors;
}
