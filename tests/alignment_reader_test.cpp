#include <gtest/gtest.h>

#include "alignment/alignment_reader.h"
#include "alignment/structure_pairing.h"
#include "io/data_file.h"
#include "sequence/state_coding.h"
#include "test_support.h"

namespace {

const char* const kSmallFile =
    ">structure\n"
    "((--))\n"
    ">alpha\n"
    "GCAAGC\n"
    ">beta\n"
    "acgu-?\n"
    ">gamma\n"
    "GC.XTU\n";

}  // namespace

TEST(AlignmentReader, ReadsAWellFormedFile) {
  ScratchDir dir;
  const std::string path = dir.Write("a.txt", kSmallFile);
  const Alignment alignment = ReadAlignment(path);
  EXPECT_EQ(alignment.n_taxa, 3);
  EXPECT_EQ(alignment.n_sites, 6);
  EXPECT_EQ(alignment.structure, (std::vector<int>{1, 1, 0, 0, -1, -1}));
  ASSERT_EQ(alignment.Names.size(), 3u);
  EXPECT_EQ(alignment.Names[2].name, "gamma");
  EXPECT_EQ(alignment.Names[2].taxon_number, 2);
  // Lower case reads as upper case; '.', 'X' and T read as N, N and U.
  EXPECT_EQ(std::vector<int>(alignment.dmatrix.begin() + 6, alignment.dmatrix.begin() + 12),
            (std::vector<int>{0, 1, 2, 3, kGapCode, kMissingCode}));
  EXPECT_EQ(alignment.Code(2, 2), kAnyNucleotide);
  EXPECT_EQ(alignment.Code(2, 3), kAnyNucleotide);
  EXPECT_EQ(alignment.Code(2, 4), 3);
}

TEST(AlignmentReader, CrLfLineEndsReadLikeLf) {
  ScratchDir dir;
  std::string crlf;
  for (const char c : std::string(kSmallFile)) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const Alignment lf = ReadAlignment(dir.Write("lf.txt", kSmallFile));
  const Alignment windows = ReadAlignment(dir.Write("crlf.txt", crlf));
  EXPECT_EQ(windows.n_sites, 6);
  EXPECT_EQ(windows.structure, lf.structure);
  EXPECT_EQ(windows.dmatrix, lf.dmatrix);
  EXPECT_EQ(windows.Names[0].name, "alpha");
}

TEST(AlignmentReader, NamesKeepBlanksAfterTheMarkerOnly) {
  ScratchDir dir;
  const std::string path = dir.Write("n.txt", ">h\n---\n> two words \nACG\n>x\nACG\n>y\nACG\n");
  EXPECT_EQ(LoadAlignment(path, {}).names[0].name, " two words ");
  // Leading blanks of a sequence line are skipped, so its sites run short.
  const std::string indented = dir.Write("i.txt", ">h\n-----\n>a\n  ACG\n");
  EXPECT_NE(FatalOutput([&] {
              LoadAlignment(indented, {});
            }).find("has 3 characters after its leading blanks; expected 5"),
            std::string::npos);
}

TEST(AlignmentReader, CountingPassMessages) {
  ScratchDir dir;
  EXPECT_EQ(FatalOutput([&] { LoadAlignment(dir.Path("missing.txt"), {}); }),
            "\n\nErr: GetNumberOfTaxaSitesAndAllocate Error: Unable to open file '" +
                dir.Path("missing.txt") + "': No such file or directory.\n");
  const std::string blank = dir.Write("b.txt", ">h\n--\n>a\nAC\n\n>b\nAC\n");
  EXPECT_EQ(FatalOutput([&] { LoadAlignment(blank, {}); }),
            "\n\nErr: GetNumberOfTaxaSitesAndAllocate Error: Sequences appear to be different "
            "lengths. In file '" +
                blank + "', line 5 has 0 characters, where line 2 has 2.\n");
  const RawAlignment only_header = LoadAlignment(dir.Write("h.txt", ">h\n(-)\n"), {});
  EXPECT_EQ(only_header.n_taxa(), 0);
  EXPECT_EQ(only_header.n_sites(), 3);
}

TEST(AlignmentReader, RejectsMalformedFilesWithTheirPlace) {
  ScratchDir dir;
  auto error_of = [&](const std::string& content) {
    const std::string path = dir.Write("m.txt", content);
    return FatalOutput([&] { LoadAlignment(path, {}); });
  };
  EXPECT_NE(error_of(">h\n(x)\n>a\nACG\n").find("Unexpected character 'x' at column 1"),
            std::string::npos);
  EXPECT_NE(error_of(">h\n(()\n>a\nACG\n").find("the '(' at column 0 has no closing partner"),
            std::string::npos);
  EXPECT_NE(error_of(">h\n())\n>a\nACG\n").find("the ')' at column 2 closes no open pair"),
            std::string::npos);
  EXPECT_NE(error_of(">h\n---\n>a\nACG\n>b\n").find("Taxon 'b'"), std::string::npos);
  EXPECT_NE(error_of(">h\n---\n>a\n>b\nACG\n").find("found another name line"), std::string::npos);
  EXPECT_NE(error_of(">h\n---\n>" + std::string(100, 'n') + "\nACG\n").find("at most 99 fit"),
            std::string::npos);
  EXPECT_NE(error_of("hhh\n---\n>a\nACG\n>b\nACG\n").find("'>' header line"), std::string::npos);
}

TEST(AlignmentReader, LongestNameFitsAndNamesMayGrowForTheConverter) {
  ScratchDir dir;
  const std::string name(151, 'n');
  const std::string path = dir.Write("l.txt", ">h\n-\n>" + name + "\nA\n");
  EXPECT_EQ(LoadAlignment(path, {151, false}).names[0].name, name);
  EXPECT_NE(FatalOutput([&] { LoadAlignment(path, {150, false}); }), "");
}

TEST(AlignmentReader, EchoesTheFileWhenDiagnosticsAreOn) {
  ScratchDir dir;
  const std::string path = dir.Write("a.txt", kSmallFile);
  const std::string echo = CapturedOutput([&] { ReadDataFile(path, true); });
  EXPECT_EQ(echo,
            "Data file contents (filename = " + path + " [nTaxa=3, nSites=6):\n" + kSmallFile);
  EXPECT_EQ(CapturedOutput([&] { ReadAlignment(path); }), "");
}

TEST(StructurePairing, NestedAndSequentialPairs) {
  EXPECT_EQ(FindStemPartners({1, 1, 0, 0, -1, -1}), (std::vector<int>{5, 4, -1, -1, 1, 0}));
  EXPECT_EQ(FindStemPartners({1, -1, 1, -1}), (std::vector<int>{1, 0, 3, 2}));
  EXPECT_EQ(ParseStructureLine("(.-)", "f"), (std::vector<int>{1, 0, 0, -1}));
}
