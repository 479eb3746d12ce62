#include "io/tree_file.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

std::string ReadTree(const std::string& content) {
  ScratchDir dir;
  return ReadTreeFile(dir.Write("trees.nex", content));
}

}  // namespace

TEST(TreeFile, TakesTheLastOfSeveralTreesAndTheOnlyOne) {
  EXPECT_EQ(
      ReadTree("begin trees;\n tree one = (a:1,b:1,c:1);\n tree two = (b:2,c:2,a:2);\nend;\n"),
      "(b:2,c:2,a:2)");
  std::string five = "#NEXUS\nbegin trees;\n";
  for (int i = 1; i <= 5; ++i) {
    five += " tree t" + std::to_string(i) + " = (a:" + std::to_string(i) + ",b:1,c:1);\n";
  }
  EXPECT_EQ(ReadTree(five + "end;\n"), "(a:5,b:1,c:1)");
  // MrBayes 3.2 consensus files hold one tree statement.
  EXPECT_EQ(ReadTree("begin trees;\n tree con_all_compat = (a:1,b:1,c:1);\nend;\n"),
            "(a:1,b:1,c:1)");
}

TEST(TreeFile, LowerCasesAndDropsCommentsButNotStrayBrackets) {
  EXPECT_EQ(
      ReadTree(
          "[ID: 123]\nBEGIN TREES;\n TREE X = [&U] (Alpha[&prob=1]:0.5[&len=2],b]:1,c:1);\nEND;\n"),
      "(alpha:0.5,b]:1,c:1)");
}

TEST(TreeFile, SeparatorsCutTheTreeText) {
  // A ';' standing apart stays out of the tree; blanks between its tokens
  // are dropped, as Newick allows them there; a quoted label keeps its case,
  // blanks and punctuation, encoded until the tree is built.
  EXPECT_EQ(ReadTree("begin trees;\ntree t = (a:1,b:1,c:1)\n;\nend;\n"), "(a:1,b:1,c:1)");
  EXPECT_EQ(ReadTree("begin trees;\ntree t = (a : 1, b:1 ,\n c:1);\nend;\n"), "(a:1,b:1,c:1)");
  EXPECT_EQ(ReadTree("begin trees;\ntree t = ('Homo sapiens (x)':1,'it''s':1,c%:1);\nend;\n"),
            "(Homo%20sapiens%20%28x%29:1,it%27s:1,c%25:1)");
}

TEST(TreeFile, StopsAtTheEndOfTheTreesBlockNotOfTheTaxaBlock) {
  EXPECT_EQ(ReadTree("begin taxa;\n dimensions ntax=3;\n taxlabels a b c;\nend;\n"
                     "begin trees;\n tree t = (a:1,b:1,c:1);\nend;\n"
                     "begin trees;\n tree late = (c:9,b:9,a:9);\nend;\n"),
            "(a:1,b:1,c:1)");
}

TEST(TreeFile, ReplacesTranslatedLabelsButNotLengths) {
  // The two layouts MrBayes 3.2 writes: .con.tre (tabs, ';' on its own line)
  // and .t (spaces, ';' after the last name).
  EXPECT_EQ(
      ReadTree("begin trees;\n\ttranslate\n\t\t1\tAlpha,\n\t\t2\tBeta,\n\t\t10\tGamma\n\t\t;\n"
               "   tree con = [&U] (1[&prob=1]:1.0,2:10,10:2e-01);\nend;\n"),
      "(alpha:1.0,beta:10,gamma:2e-01)");
  EXPECT_EQ(
      ReadTree(
          "begin trees;\n translate\n  1 a,\n  2 b,\n  3 c;\n"
          " tree gen.0 = [&U] ((1:1,2:1):1,3:1);\n tree gen.20 = [&U] ((3:2,2:2):2,1:2);\nend;\n"),
      "((c:2,b:2):2,a:2)");
}

TEST(TreeFile, RefusesMissingFilesAndFilesWithoutATree) {
  ScratchDir dir;
  EXPECT_EQ(FatalOutput([&] { ReadTreeFile(dir.Path("absent.tre")); }),
            "ReadTreeFile Error: Unable to open file '" + dir.Path("absent.tre") +
                "': No such file or directory.\n");
  const std::string no_tree = dir.Write("taxa.nex", "begin taxa;\n taxlabels a b c;\nend;\n");
  EXPECT_EQ(FatalOutput([&] { ReadTreeFile(no_tree); }),
            "ReadTreeFile Error: The file '" + no_tree +
                "' holds no tree statement; expected a MrBayes tree file (.con.tre or .t).\n");
  const std::string cut = dir.Write("cut.nex", "begin trees;\n tree t =");
  EXPECT_EQ(FatalOutput([&] { ReadTreeFile(cut); }),
            "ReadTreeFile Error: The file '" + cut + "' ends inside a tree statement.\n");
}

TEST(TreeFile, NewickFilesHoldOneTreeWhoseSupportValuesAndRootLengthAreDropped) {
  EXPECT_EQ(ReadTree("\n (A.1_x:0.1,(b:0.2,c:0.3)95/100:0.4,d:0.5)root:0.0;\n\n"),
            "(a.1_x:0.1,(b:0.2,c:0.3):0.4,d:0.5)");
  EXPECT_EQ(ReadTree("(a:1,b:1,c:1)"), "(a:1,b:1,c:1)");  // without its ';'
  EXPECT_NE(FatalOutput([] {
              ReadTree("(a:1,b:1,c:1);\n  (a:1,b:1,c:1);\n");
            }).find("' holds more than one tree (more text on line 2, column 3);"),
            std::string::npos);
  // Anything but the root's name and length after the outermost group.
  EXPECT_NE(FatalOutput([] {
              ReadTree("(a:1,b:1,c:1),(d:1,e:1);");
            }).find("' has text after the end of its tree: ',(d:1,e:1)';"),
            std::string::npos);
}
