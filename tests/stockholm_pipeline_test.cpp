// From an Rfam Stockholm file to ribotrace's results with no hand editing,
// through the real MrBayes and IQ-TREE. The family is Plant_SRP from
// Debian's infernal test data, cut to its first ten sequences: the ones
// examples/plant_srp10.txt was converted from by hand.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>

#include "test_support.h"

namespace {

const std::string kInfernalTests = "/usr/share/doc/infernal/examples/testsuite";

// The Stockholm file with the rows of its first `n` sequences only.
std::string FirstSequences(const std::string& stockholm, std::size_t n) {
  std::set<std::string> kept;
  std::string cut;
  std::istringstream lines(stockholm);
  std::string line;
  while (std::getline(lines, line)) {
    const bool sequence = !line.empty() && line[0] != '#' && !line.starts_with("//");
    const std::string name = line.substr(0, line.find(' '));
    if (sequence && kept.size() < n) kept.insert(name);
    if (!sequence || kept.contains(name)) cut += line + "\n";
  }
  return cut;
}

// How the names of examples/plant_srp10.txt were made by hand.
std::string HandConverted(std::string name) {
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

// The tree of a Newick file as MrBayes writes it: a translate table, numeric
// labels, no interior labels.
std::string InMrBayesFormat(const std::string& newick) {
  std::string translate;
  std::string tree;
  int number = 0;
  std::size_t i = 0;
  while (i < newick.size() && newick[i] != ';') {
    const char c = newick[i];
    const std::size_t end = newick.find_first_of(":,();", i + 1);
    if (c == '(' || c == ',') {
      tree += c;
      ++i;
      continue;
    }
    if (c == ')') {
      tree += c;  // and whatever support value follows is dropped
    } else if (c == ':') {
      tree += newick.substr(i, end - i);
    } else {
      translate += number == 0 ? "\t\t" : ",\n\t\t";
      tree += std::to_string(++number);
      translate += std::to_string(number) + "\t" + newick.substr(i, end - i);
    }
    i = end;
  }
  return "#NEXUS\n[ID: 1]\nbegin trees;\n\ttranslate\n" + translate + ";\n   tree t = [&U] " +
         tree + ";\nend;\n";
}

// The matrix of a NEXUS file written by pairnex, as FASTA.
std::string MatrixAsFasta(const std::string& nexus) {
  std::string fasta;
  std::istringstream lines(nexus.substr(nexus.find("matrix\n") + 7));
  std::string line;
  while (std::getline(lines, line) && line != ";") {
    const std::size_t tab = line.find("\t\t", 1);
    fasta.append(">").append(line, 1, tab - 1).append("\n").append(line, tab + 2).append("\n");
  }
  return fasta;
}

// pairnex on the Stockholm file writes the NEXUS file of the hand-converted
// alignment, but for the names, which now keep their '.' and say so in
// srp.nex.names. `chain`: the MrBayes settings to write.
void CheckConversionMatchesHandConverted(const ScratchDir& dir, const std::string& stockholm,
                                         const std::vector<std::string>& chain) {
  std::vector<std::string> args = chain;
  args.insert(args.end(), {stockholm, dir.Path("srp.nex")});
  const ProgramResult converted = RunProgram(PAIRNEX_BINARY, args);
  ASSERT_EQ(converted.status, 0) << converted.output;
  EXPECT_EQ(converted.errors.rfind("Warning: 10 taxon names were changed for MrBayes", 0), 0u);
  std::string nexus = ReadFile(dir.Path("srp.nex"));
  std::istringstream table(ReadFile(dir.Path("srp.nex.names")));
  std::string nexus_name;
  std::string original;
  while (std::getline(table, nexus_name, '\t') && std::getline(table, original)) {
    const std::size_t at = nexus.find("\t" + nexus_name + "\t\t");
    ASSERT_NE(at, std::string::npos) << nexus_name;
    nexus.replace(at + 1, nexus_name.size(), HandConverted(original));
  }
  args = chain;
  args.insert(args.end(), {std::string(EXAMPLES_DIR) + "/plant_srp10.txt", dir.Path("hand.nex")});
  ASSERT_EQ(RunProgram(PAIRNEX_BINARY, args).status, 0);
  EXPECT_EQ(nexus, ReadFile(dir.Path("hand.nex")));
}

// IQ-TREE's tree (with SH-aLRT support values) gives the same results as
// that tree written in MrBayes's format.
void CheckIqTreeTreeAsMrBayesTree(const ScratchDir& dir, const std::string& iqtree,
                                  const std::string& stockholm) {
  dir.Write("srp.fa", MatrixAsFasta(ReadFile(dir.Path("srp.nex"))));
  const ProgramResult searched =
      RunProgram(iqtree,
                 {"-s", "srp.fa", "-m", "GTR+F", "-nt", "1", "-seed", "1", "-alrt", "1000",
                  "--prefix", "iq", "-redo", "-quiet"},
                 "", dir.Path(""));
  ASSERT_EQ(searched.status, 0) << searched.output;
  const std::string newick = ReadFile(dir.Path("iq.treefile"));
  ASSERT_NE(newick.find(")100:"), std::string::npos) << newick;
  dir.Write("iq.tre", InMrBayesFormat(newick));
  std::vector<std::string> results;
  for (const char* tree : {"iq.treefile", "iq.tre"}) {
    const std::string out = dir.Path(std::string(tree) + ".fa");
    const ProgramResult run =
        RunProgram(RIBOTRACE_BINARY, {"--seed=5", "--marginal", stockholm, dir.Path(tree),
                                      dir.Path("srp.nex.pstat"), out, "1", "1.0", "20", "0", "0"});
    ASSERT_EQ(run.status, 0) << tree << ": " << run.output;
    results.push_back(ReadFile(out));
  }
  EXPECT_FALSE(results[0].empty());
  EXPECT_EQ(results[0], results[1]);
}

}  // namespace

TEST(StockholmPipeline, RfamFamilyThroughPairnexMrBayesIqTreeAndRibotrace) {
  const std::string family = ReadFile(kInfernalTests + "/Plant_SRP.sto");
  ASSERT_FALSE(family.empty()) << "Debian's infernal test data is missing; scripts/install-deps.sh "
                                  "installs the infernal package";
  const std::string mb = FindOnPath("mb");
  const std::string iqtree = FindOnPath("iqtree2");
  ASSERT_FALSE(mb.empty() || iqtree.empty()) << "scripts/install-deps.sh installs mb and iqtree2";
  ScratchDir dir;
  const std::string stockholm = dir.Write("srp.sto", FirstSequences(family, 10));
  const std::vector<std::string> chain = {"--mrbayes=3.2", "--nruns=1", "--nchains=1",
                                          "--ngen=2000", "--samplefreq=20"};

  ASSERT_NO_FATAL_FAILURE(CheckConversionMatchesHandConverted(dir, stockholm, chain));

  const ProgramResult mrbayes = RunProgram(mb, {"srp.nex"}, "", dir.Path(""));
  ASSERT_EQ(mrbayes.status, 0) << mrbayes.output;

  // ribotrace on the Stockholm file itself: the results carry its names.
  const ProgramResult analysed = RunProgram(
      RIBOTRACE_BINARY, {"--seed=3", stockholm, dir.Path("srp.nex.con.tre"),
                         dir.Path("srp.nex.pstat"), dir.Path("mb.fa"), "1", "1.0", "4", "1", "0"});
  ASSERT_EQ(analysed.status, 0) << analysed.output;
  EXPECT_NE(ReadFile(dir.Path("mb.fa")).find("\n>ABCN01005680.1/1602-1315\nGCC-GGCUGG"),
            std::string::npos);

  CheckIqTreeTreeAsMrBayesTree(dir, iqtree, stockholm);
}
