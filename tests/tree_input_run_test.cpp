// The tree and parameter input stages as the user meets them: the real
// program, its messages and its exit status.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

const char* const kAlignment =
    ">SS_cons\n(--)\n>Alpha\nGAAC\n>beta\nGAAU\n>gamma\nAAAU\n>delta\nCAAG\n";
// The examples' parameters away from the NEXUS files beside them, which
// describe other alignments than these tests' own (and would be refused).
std::string Lone(const std::string& example) {
  static ScratchDir folder;
  return folder.Write(example, ReadFile(std::string(EXAMPLES_DIR) + "/" + example));
}
const std::string kPstat = Lone("plant_srp10.nex.pstat");
const std::string kSingleModelPstat = Lone("snr75.nex.pstat");

std::string TreeFile(const std::string& tree) {
  return "#NEXUS\nbegin trees;\n translate 1 Alpha, 2 beta, 3 gamma, 4 delta;\n tree t = [&U] " +
         tree + ";\nend;\n";
}

class TreeInputRun : public testing::Test {
 protected:
  ProgramResult Run(const std::string& tree, const std::string& pstat,
                    const std::string& is_harmonic, const std::string& samples = "5",
                    const std::string& debug = "0") {
    const std::string tree_file =
        tree.empty() ? dir_.Path("absent.tre") : dir_.Write("t.tre", tree);
    return RunProgram(RIBOTRACE_BINARY,
                      {"--seed=7", dir_.Write("a.txt", kAlignment), tree_file, pstat,
                       dir_.Path("out.fa"), is_harmonic, "1.0", samples, "1", "0", debug});
  }
  ScratchDir dir_;
};

}  // namespace

TEST_F(TreeInputRun, BuildsTheTreeAndShowsItWithDiagnostics) {
  const std::string good = TreeFile("(1:0.1,2:0.2,(3:0.3,4:0.4):0.5)");
  const ProgramResult quiet = Run(good, kPstat, "1");
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.output, "");
  const ProgramResult shown = Run(good, kPstat, "0", "5", "1");
  EXPECT_EQ(shown.status, 0);
  EXPECT_NE(shown.output.find("Tree structure (7 nodes"), std::string::npos) << shown.output;
  EXPECT_NE(shown.output.find("  0 alpha\n"), std::string::npos) << shown.output;
  EXPECT_NE(shown.output.find("Down-pass sequence: 3 4 2 5 1 6 0\n"), std::string::npos);
}

TEST_F(TreeInputRun, EveryInputFailureEndsTheRunWithStatusOne) {
  const std::string good = TreeFile("(1:0.1,2:0.2,(3:0.3,4:0.4):0.5)");
  const struct {
    std::string tree;
    std::string pstat;
    std::string is_harmonic;
    std::string samples;
    std::string message;
  } cases[] = {
      // The switch is checked only once both files have been read.
      {good, kPstat, "2", "5",
       "\n\nErr: GetHarmonicMeanOfBranchLengths Error: Parameter 'is_harmonic' has an incorrect "
       "value.\n"},
      {good, kSingleModelPstat, "2", "5",
       "ReadParameterFile Error: In '" + kSingleModelPstat +
           "': no row 'r(a<->c){1}' starts the parameter table; expected the MrBayes parameter "
           "summary (.pstat) of this alignment, analysed with the stem and loop partitions.\n"},
      {"", kPstat, "1", "5",
       "ReadTreeFile Error: Unable to open file '" + dir_.Path("absent.tre") +
           "': No such file or directory.\n"},
      {TreeFile("(1:0.1,2:0.2,(3:0.3,5:0.4):0.5)"), kPstat, "1", "5",
       "SetUpTree Error: The tree's taxon '5' at character 32 of the tree text matches no taxon "
       "of the data file.\n"},
      {TreeFile("(1:0.1,2:0.2,(3:0.3,epsilon:0.4):0.5)"), kPstat, "1", "5",
       "SetUpTree Error: The tree's taxon 'epsilon' at character 32 of the tree text matches no "
       "taxon of the data file.\n"},
      {TreeFile("(1:0.1,2:0.2,3:0.3)"), kPstat, "1", "5",
       "SetUpTree Error: The taxon 'delta' of the data file is missing from the tree.\n"},
      {TreeFile("(1,2,(3,4))"), kPstat, "1", "5",
       "SetUpTree Error: No branch length for the taxon 'Alpha' before character 7 of the tree "
       "text.\n"},
      {good, kPstat, "1", "-1",
       "\n\nErr: CalcAncestralStates Error: Failure to allocate anc_seqs.\n"},
  };
  // The tree's faults also name the tree file, on a line of their own.
  const std::string in_tree = "(In the tree of '" + dir_.Path("t.tre") + "'.)\n";
  for (const auto& c : cases) {
    const ProgramResult result = Run(c.tree, c.pstat, c.is_harmonic, c.samples);
    EXPECT_EQ(result.status, 1) << c.message;
    const bool tree_fault = result.output.ends_with(in_tree);
    EXPECT_EQ(tree_fault, c.message.find("SetUpTree") != std::string::npos ||
                              c.message.find("is_harmonic") != std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.substr(0, result.output.size() - (tree_fault ? in_tree.size() : 0)),
              c.message);
  }
}

// Names that need quotes in Newick: a tree that a Newick writer such as
// dendropy wrote with quoted labels (blanks for underscores, a quote
// doubled, punctuation inside) is read, and so is ribotrace's own .tree,
// which dendropy reads too; both give the same results.
TEST(QuotedLabels, TreesWithQuotedNamesReadBackIntoTheSameResults) {
  ScratchDir dir;
  const std::string data =
      dir.Write("q.txt",
                ">SS_cons\n(--)\n>Homo_sapiens\nGAAC\n>it's:odd,(name)\nGAAU\n>gamma\nAAAU\n"
                ">delta\nCAAG\n");
  const std::string newick = dir.Write(
      "t.nwk", "('Homo sapiens' : 0.1 , 'it''s:odd,(name)':0.2,(GAMMA:0.3,delta:0.4):0.5);\n");
  const auto run = [&](const std::string& tree, const std::string& out) {
    return RunProgram(RIBOTRACE_BINARY,
                      {"--seed=7", data, tree, kPstat, dir.Path(out), "1", "1.0", "5", "1", "0"});
  };
  ASSERT_EQ(run(newick, "first.fa").status, 0);
  ASSERT_EQ(run(dir.Path("first.fa.tree"), "again.fa").status, 0);
  EXPECT_EQ(ReadFile(dir.Path("again.fa")), ReadFile(dir.Path("first.fa")));
  EXPECT_EQ(ReadFile(dir.Path("again.fa.map.fa")), ReadFile(dir.Path("first.fa.map.fa")));
  const ProgramResult dendropy = RunProgram(
      "/usr/bin/python3",
      {"-c",
       "import sys, dendropy\n"
       "t = dendropy.Tree.get(path=sys.argv[1], schema='newick', preserve_underscores=True)\n"
       "print(sorted(n.taxon.label for n in t.leaf_node_iter()))",
       dir.Path("first.fa.tree")});
  EXPECT_EQ(dendropy.output, "['Homo_sapiens', 'delta', 'gamma', \"it's:odd,(name)\"]\n");
  const std::string flat = dir.Write("flat.nwk", "(a:0,b:0,(c:0,d:0):0);");
  const std::string plain =
      dir.Write("p.txt", ">SS_cons\n(--)\n>a\nGAAC\n>b\nGAAU\n>c\nAAAU\n>d\nCAAG\n");
  EXPECT_EQ(RunProgram(RIBOTRACE_BINARY,
                       {plain, flat, kPstat, dir.Path("f.fa"), "1", "1.0", "5", "1", "0"})
                .output,
            "\n\nErr: SetUpTree Error: Every branch of the tree has length 0; ancestral states "
            "need a tree with branch lengths.\n(In the tree of '" +
                flat + "'.)\n");
  // A taxon named like the results' own rows would be taken for one of them.
  const std::string reserved =
      dir.Write("r.txt", ">SS_cons\n(--)\n>anc_2_1\nGAAC\n>b\nGAAU\n>c\nAAAU\n");
  const ProgramResult refused = RunProgram(
      RIBOTRACE_BINARY, {reserved, newick, kPstat, dir.Path("r.fa"), "1", "1.0", "5", "1", "0"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.output.find("The taxon 'anc_2_1' of '" + reserved +
                                "' has a name that the results give their own rows"),
            std::string::npos)
      << refused.output;
}

// MrBayes's consensus tree leaves unresolved groups as polytomies: one node
// with one name, written back as it is, with the log-likelihood of the same
// tree resolved with branches of length 0.
TEST(Polytomies, AConsensusTreeWithPolytomiesRunsAndIsWrittenAsItIs) {
  ScratchDir dir;
  const std::string examples = EXAMPLES_DIR;
  const auto consensus = [&](const std::string& name, const std::string& tree) {
    return dir.Write(name,
                     "#NEXUS\nbegin trees;\n translate 1 ABCN01005680_1_1602_1315, 2 "
                     "X71484_1_3_290, 3 AP008207_1_23319682_23319999, 4 AP003333_4_45380_45697, "
                     "5 AP003253_3_106424_106741, 6 ABRL01000488_1_5816_6128, 7 "
                     "AC079888_10_27802_27492, 8 AAAA02010927_1_7990_7685, 9 U85037_1_1_298, 10 "
                     "X13914_1_1_303;\n tree con_50_majrule = [&U] " +
                         tree + ";\nend;\n");
  };
  const auto run = [&](const std::string& tree, const std::string& out) {
    return RunProgram(RIBOTRACE_BINARY, {"--seed=3", "--loglik", examples + "/plant_srp10.txt",
                                         tree, examples + "/plant_srp10.nex.pstat", dir.Path(out),
                                         "1", "1.0", "2", "0", "0"});
  };
  const ProgramResult polytomy = run(
      consensus("poly.con.tre",
                "(1[&prob=1.0]:0.05,2:0.05,10:0.02,(3:0.003,4:0.001,5:0.11,6:0.1)[&prob=0.62]:0.08,"
                "(7:0.08,9:0.13,8:0.16)[&prob=0.99]:0.06)"),
      "p.fa");
  ASSERT_EQ(polytomy.status, 0) << polytomy.output;
  const ProgramResult resolved = run(
      consensus("resolved.con.tre",
                "(((2:0.05,(1:0.05,10:0.02):0):0,((4:0.001,6:0.1):0,(3:0.003,5:0.11):0):0.08):0,"
                "(9:0.13,(7:0.08,8:0.16):0):0.06)"),
      "r.fa");
  ASSERT_EQ(resolved.status, 0) << resolved.output;
  EXPECT_EQ(polytomy.output, resolved.output);  // the log-likelihood line, to six decimals
  EXPECT_EQ(ReadFile(dir.Path("p.fa.tree")),
            "(((ABCN01005680_1_1602_1315:0.05,X71484_1_3_290:0.05,X13914_1_1_303:0.02,"
            "(AP008207_1_23319682_23319999:0.003,AP003333_4_45380_45697:0.001,"
            "AP003253_3_106424_106741:0.11,ABRL01000488_1_5816_6128:0.1)anc_6[&prob=0.62]:0.08)"
            "anc_2[&prob=0.99]:0.06,"
            "AC079888_10_27802_27492:0.08,U85037_1_1_298:0.13)anc_1:0.08,"
            "AAAA02010927_1_7990_7685:0.08)anc_0;\n");
  // One row, sample and most probable sequence per node of the tree as written.
  std::string names;
  for (const std::string& line : {ReadFile(dir.Path("p.fa.map.fa"))}) {
    for (std::size_t at = line.find('>'); at != std::string::npos; at = line.find('>', at + 1)) {
      names += line.substr(at, line.find('\n', at) - at);
    }
  }
  EXPECT_EQ(names, ">anc_1>anc_2>anc_6");
  EXPECT_EQ(ReadFile(dir.Path("p.fa")).find(">anc_7"), std::string::npos);
}

// MrBayes's files beside the NEXUS file it ran (x.nex): trees and
// parameters of another alignment, or of a structure changed since, are
// refused, naming both files and the first difference.
TEST(AnalysedAlignment, FilesOfAnotherAlignmentAreRefused) {
  ScratchDir dir;
  const std::string examples = EXAMPLES_DIR;
  for (const char* suffix : {".nex", ".nex.con.tre", ".nex.pstat"}) {
    dir.Write(std::string("srp") + suffix, ReadFile(examples + "/plant_srp10" + suffix));
  }
  std::string data = ReadFile(examples + "/plant_srp10.txt");
  const auto run = [&](const std::string& data_file, const std::string& pstat) {
    return RunProgram(RIBOTRACE_BINARY, {data_file, dir.Path("srp.nex.con.tre"), pstat,
                                         dir.Path("o.fa"), "1", "1.0", "2", "0", "0"});
  };
  EXPECT_EQ(run(dir.Write("same.txt", data), dir.Path("srp.nex.pstat")).status, 0);
  // The structure's first pair (columns 1 and 42) undone after MrBayes ran.
  const std::size_t structure = data.find('\n') + 1;
  data[structure] = '-';
  data[data.find('\n', structure) - 1 - (367 - 42)] = '-';
  const std::string changed = dir.Write("changed.txt", data);
  const ProgramResult refused = run(changed, dir.Path("srp.nex.pstat"));
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.output, "ReadParameterFile Error: MrBayes analysed '" + dir.Path("srp.nex") +
                                "' (beside '" + dir.Path("srp.nex.con.tre") +
                                "'), not the alignment of the data file '" + changed +
                                "': it pairs columns 1 and 42, which the data file's structure "
                                "does not. Its trees and parameters do not belong to this "
                                "alignment; run MrBayes on pairnex's file of it.\n");
  // Another family's parameter summary beside its own NEXUS file.
  const ProgramResult other = run(dir.Path("same.txt"), examples + "/snr75.nex.pstat");
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.output.find("MrBayes analysed '" + examples + "/snr75.nex' (beside '" + examples +
                              "/snr75.nex.pstat')"),
            std::string::npos)
      << other.output;
}
