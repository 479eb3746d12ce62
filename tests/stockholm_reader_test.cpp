#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "alignment/alignment_reader.h"
#include "alignment/taxon_names.h"
#include "test_support.h"

namespace {

// Two interleaved blocks, every bracket kind of WUSS, a pseudoknot (Aa),
// gaps as '.' and '-', Infernal's lower-case inserts, and annotation that
// is not read.
const char* const kInterleaved =
    "# STOCKHOLM 1.0\n"
    "#=GF ID   mini\n"
    "#=GS seq/1-10 AC X00001.1\n"
    "\n"
    "seq/1-10       GCa.A\n"
    "other          gcUUA\n"
    "#=GR other SS  <<..A\n"
    "#=GC SS_cons   <(A.[\n"
    "#=GC RF        xxxxx\n"
    "\n"
    "seq/1-10       UU-gc\n"
    "other          UUAGC\n"
    "#=GC SS_cons   ]_a)>\n"
    "//\n";

// The same alignment as converted by hand.
const char* const kConverted = ">h\n((--()--))\n>seq/1-10\nGCA-AUU-GC\n>other\nGCUUAUUAGC\n";

}  // namespace

TEST(StockholmReader, ReadsInterleavedWussLikeTheHandConvertedFile) {
  ScratchDir dir;
  const RawAlignment converted = LoadAlignment(dir.Write("c.txt", kConverted), {});
  const RawAlignment read = LoadAlignment(dir.Write("s.sto", kInterleaved), {});
  EXPECT_EQ(read.structure, converted.structure);
  EXPECT_EQ(read.sequences, converted.sequences);
  ASSERT_EQ(read.n_taxa(), 2);
  EXPECT_EQ(read.names[0].name, "seq/1-10");
  EXPECT_EQ(read.names[1].name, "other");
  EXPECT_EQ(
      read.warnings,
      (std::vector<std::string>{"Warning: The structure of '" + dir.Path("s.sto") +
                                "' has 1 pseudoknot pair (letters Aa to Zz); their columns are "
                                "read as unpaired.\n"}));
}

TEST(StockholmReader, RefusesMalformedFilesNamingLineAndColumn) {
  ScratchDir dir;
  auto error_of = [&](const std::string& body) {
    const std::string path = dir.Write("bad.sto", "# STOCKHOLM 1.0\n" + body);
    const std::string printed = FatalOutput([&] { LoadAlignment(path, {4, false}); });
    const std::string prefix = "\n\nErr: ReadDataFile Error: File '" + path + "', ";
    EXPECT_EQ(printed.rfind(prefix, 0), 0u) << printed;
    return printed.substr(prefix.size());
  };
  const std::string ss = "#=GC SS_cons <..>\n";
  EXPECT_EQ(error_of("a ACGU\n" + ss + "//\n# STOCKHOLM 1.0\nb ACGU\n" + ss + "//\n"),
            "line 5, column 1: more text after the '//' that ends the alignment on line 4; a file "
            "of several alignments is not read (split it into one file per alignment).\n");
  EXPECT_EQ(error_of("a ACGU\n//\n").substr(0, 70),
            "line 3, column 1: the alignment that ends here has no '#=GC SS_cons' l");
  EXPECT_EQ(error_of("a ACGU\n" + ss).substr(0, 70),
            "line 3, column 1: the file ends without the '//' line that closes a St");
  EXPECT_EQ(error_of("a ACGU\nb ACG\n" + ss + "//\n").substr(0, 70),
            "line 3, column 3: the sequence of 'b' has 3 columns in this block; the");
  EXPECT_EQ(error_of("a AC\n#=GC SS_cons <.\n\na AC\na AC\n#=GC SS_cons .>\n//\n").substr(0, 60),
            "line 6, column 3: the sequence of 'a' appears twice in one b");
  EXPECT_EQ(error_of("a AC\nb AC\n#=GC SS_cons <.\n\na GU\n#=GC SS_cons .>\n//\n").substr(0, 70),
            "line 3, column 3: the sequence of 'b' has 2 columns in all, the '#=GC ");
  EXPECT_EQ(error_of("abcde ACGU\n" + ss + "//\n").substr(0, 50),
            "line 2, column 1: the taxon name has 5 characters;");
  // Columns of a later block are traced back to their own line.
  EXPECT_EQ(error_of("a AC\n#=GC SS_cons <(\n\na GU\n#=GC SS_cons  .>\n//\n"),
            "line 6, column 16: the '>' of the structure closes the '(' on line 3, column 15.\n");
  EXPECT_EQ(error_of("a ACGU\n#=GC SS_cons <..[\n//\n"),
            "line 3, column 17: the '[' of the structure has no closing partner.\n");
  EXPECT_EQ(error_of("a ACGU\n#=GC SS_cons ..}.\n//\n"),
            "line 3, column 16: the '}' of the structure closes no open pair.\n");
  // A row missing from one block and present in a later one would have its
  // columns shifted.
  EXPECT_EQ(error_of("a AC\nb AC\n#=GC SS_cons <.\n\na GU\n#=GC SS_cons .>\n\n"
                     "a AC\nb GU\n#=GC SS_cons ..\n//\n"),
            "line 10, column 3: the sequence of 'b' is missing from the block that starts on line "
            "6; every block must hold every row, or the columns after it shift.\n");
  EXPECT_EQ(error_of("a ACGU\n#=GC SS_cons <.9>\n//\n").substr(0, 61),
            "line 3, column 16: '9' is not a character of a WUSS structure");
  EXPECT_EQ(error_of("a ACGU\n#=GC SS_cons <.x>\n//\n"),
            "line 3, column 16: the pseudoknot letter 'x' closes no 'X'.\n");
  EXPECT_EQ(error_of("a ACGU\n#=GC SS_cons <B.>\n//\n"),
            "line 3, column 15: the pseudoknot letter 'B' has no partner 'b'.\n");
  const std::string other_version = dir.Write("v2.sto", "# STOCKHOLM 2.0\na ACGU\n" + ss + "//\n");
  EXPECT_EQ(FatalOutput([&] { LoadAlignment(other_version, {}); }),
            "\n\nErr: ReadDataFile Error: File '" + other_version +
                "', line 1, column 1: the header says '# STOCKHOLM 2.0'; only Stockholm 1.0 ('# "
                "STOCKHOLM 1.0', as Rfam and Infernal write it) is read.\n");
}

// The data file may be a pipe or a process substitution: it is read once.
TEST(StockholmReader, ReadsAPipeWhateverTheFormat) {
  ScratchDir dir;
  for (const char* text : {kInterleaved, kConverted}) {
    const std::string fifo = dir.Path("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] { std::ofstream(fifo) << text; });
    const RawAlignment read = LoadAlignment(fifo, {});
    writer.join();
    EXPECT_EQ(read.sequences[1], "GCUUAUUAGC");
    std::remove(fifo.c_str());
  }
}

TEST(MrBayesTaxonNames, RewritesRefusedNamesAndNumbersCollisions) {
  std::vector<TaxonName> taxa;
  for (const char* name : {"x/1", "x_1", "x_1", "X_1", "x_1_2", "a : b", "", "AB1.1"}) {
    taxa.push_back({name, static_cast<int>(taxa.size())});
  }
  // Names kept as they were keep them; the rest take the first suffix that
  // is no other name, regardless of case (tree files are read lower-cased).
  EXPECT_EQ(MrBayesTaxonNames(taxa),
            (std::vector<std::string>{"x_1_3", "x_1", "x_1_4", "X_1_5", "x_1_2", "a_b", "unnamed",
                                      "AB1.1"}));
}
