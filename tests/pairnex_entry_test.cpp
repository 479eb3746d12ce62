#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "convert_file.h"
#include "pairnex_input_values.h"
#include "test_support.h"

using pairnex::ConverterOptions;
using pairnex::GetInputValues;
using pairnex::kPairnexUsage;
using pairnex::MrBayesDialect;
using pairnex::ParseConverterOptions;

namespace {

const char* const kBanner = "######################## INPUT OPTIONS ###########################\n";
const char* const kClosingBanner =
    "##################################################################\n\n";
const char* const kSmallAlignment = ">s\n(-)\n>a\nGAC\n>b\nGUC\n>c\nGAC\n>d\nCAG\n";

ConverterOptions Parse(std::vector<const char*> argv) {
  return ParseConverterOptions(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

TEST(PairnexOptions, AreTakenOutBeforePositions) {
  const ConverterOptions defaults = Parse({"pairnex", "in.txt", "out.nex"});
  // MrBayes 3.2's text and its own two runs of four chains; 3.1's original
  // text keeps one run of one chain.
  EXPECT_EQ(defaults.run.dialect, MrBayesDialect::k32);
  EXPECT_EQ(defaults.run.ngen, 1000000);
  EXPECT_EQ(defaults.run.samplefreq, 1000);
  EXPECT_EQ(defaults.run.Burnin(), 500);
  EXPECT_EQ(defaults.run.nruns, 2);
  EXPECT_EQ(defaults.run.nchains, 4);
  const ConverterOptions original = Parse({"pairnex", "--mrbayes=3.1", "in.txt", "out.nex"});
  EXPECT_EQ(original.run.nruns, 1);
  EXPECT_EQ(original.run.nchains, 1);

  const ConverterOptions set =
      Parse({"pairnex", "--ngen=2000", "in.txt", "--mrbayes=3.2", "out.nex", "--samplefreq=20"});
  EXPECT_EQ(set.run.dialect, MrBayesDialect::k32);
  EXPECT_EQ(set.run.ngen, 2000);
  EXPECT_EQ(set.run.samplefreq, 20);
  EXPECT_EQ(set.run.Burnin(), 50);
  EXPECT_EQ(set.positional, (std::vector<std::string>{"pairnex", "in.txt", "out.nex"}));
  EXPECT_EQ(Parse({"pairnex", "--mrbayes=3.1"}).run.dialect, MrBayesDialect::k31);
  const ConverterOptions runs = Parse({"pairnex", "--nruns=2", "--nchains=4"});
  EXPECT_EQ(runs.run.nruns, 2);
  EXPECT_EQ(runs.run.nchains, 4);
  EXPECT_FALSE(runs.run.gamma_rates);
  const ConverterOptions gamma = Parse({"pairnex", "--rates=gamma", "--ngammacat=6"});
  EXPECT_TRUE(gamma.run.gamma_rates);
  EXPECT_EQ(gamma.run.gamma_categories, 6);

  for (const char* bad :
       {"--mrbayes=3", "--mrbayes=", "--ngen=0", "--ngen=-5", "--ngen=12k", "--ngen=99999999999",
        "--samplefreq=", "--chains=2", "--ngen", "--nruns=0", "--nchains=x", "--rates=invgamma",
        "--ngammacat=21", "--ngammacat=1", "--ngammacat=4"}) {
    const std::string printed = FatalOutput([&] { Parse({"pairnex", bad}); });
    EXPECT_EQ(printed.rfind("\n\nErr: ", 0), 0u) << bad;
    EXPECT_NE(printed.find(kPairnexUsage), std::string::npos) << bad;
  }
  EXPECT_NE(FatalOutput([] {
              Parse({"pairnex", "--ngen=100", "--samplefreq=200"});
            }).find("--samplefreq=200 exceeds --ngen=100"),
            std::string::npos);
}

TEST(PairnexInput, CommandLineNeedsExactlyTwoNames) {
  std::istringstream none;
  std::string data;
  std::string output;
  GetInputValues({"pairnex", "in.txt", "out.nex"}, true, data, output, none);
  EXPECT_EQ(data, "in.txt");
  EXPECT_EQ(output, "out.nex");

  EXPECT_EQ(FatalOutput([&] {
              GetInputValues({"pairnex", "in.txt"}, true, data, output, none);
            }),
            "\n\nErr: GetInputValues Error: No output file name was given after 'in.txt'.\n" +
                std::string(kPairnexUsage) + "\n");
  EXPECT_NE(FatalOutput([&] {
              GetInputValues({"pairnex", "a", "b", "c"}, true, data, output, none);
            }).find("Unexpected argument 'c'"),
            std::string::npos);
}

TEST(PairnexInput, PromptsForBothNames) {
  std::istringstream answers("  in.txt\n\tout.nex extra\n");
  std::string data;
  std::string output;
  const std::string printed =
      CapturedOutput([&] { GetInputValues({"pairnex"}, false, data, output, answers); });
  EXPECT_EQ(printed, std::string(kBanner) +
                         "\tEnter data/structure filename > \tEnter output filename > " +
                         kClosingBanner);
  EXPECT_EQ(data, "in.txt");
  EXPECT_EQ(output, "out.nex");

  std::istringstream short_input("in.txt\n");
  CapturedOutput([&] {
    EXPECT_EQ(FatalOutput([&] { GetInputValues({"pairnex"}, false, data, output, short_input); }),
              "\n\nErr: GetInputValues Error: The input ended before an output file name.\n");
  });
}

TEST(PairnexProgram, TwoArgumentsAskNothingAndNoneAskBoth) {
  ScratchDir dir;
  const std::string data = dir.Write("in.txt", kSmallAlignment);
  const ProgramResult direct = RunProgram(PAIRNEX_BINARY, {data, dir.Path("direct.nex")});
  EXPECT_EQ(direct.status, 0);
  EXPECT_EQ(direct.output, "");

  const ProgramResult asked = RunProgram(PAIRNEX_BINARY, {}, data + "\n" + dir.Path("asked.nex"));
  EXPECT_EQ(asked.status, 0);
  EXPECT_EQ(asked.output, std::string(kBanner) +
                              "\tEnter data/structure filename > \tEnter output filename > " +
                              kClosingBanner);
  const std::string written = ReadFile(dir.Path("asked.nex"));
  EXPECT_EQ(written, ReadFile(dir.Path("direct.nex")));
  EXPECT_EQ(written.substr(written.size() - 5), "\nend;");
}

TEST(PairnexProgram, OneArgumentIsAnErrorWithUsage) {
  ScratchDir dir;
  const std::string data = dir.Write("in.txt", kSmallAlignment);
  // Whatever is on standard input must not be taken as the output name.
  const ProgramResult result = RunProgram(PAIRNEX_BINARY, {"--ngen=2000", data}, "out.nex\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "\n\nErr: GetInputValues Error: No output file name was given after '" +
                               data + "'.\n" + kPairnexUsage + "\n");
}

TEST(PairnexProgram, HelpAndVersion) {
  const ProgramResult help = RunProgram(PAIRNEX_BINARY, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind(std::string(kPairnexUsage) + "\n", 0), 0u);
  EXPECT_NE(help.output.find("(default 1000000)"), std::string::npos);
  const ProgramResult version = RunProgram(PAIRNEX_BINARY, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output.rfind("pairnex ", 0), 0u);
}

TEST(PairnexFailures, ReaderAndOutputFileErrors) {
  ScratchDir dir;
  const std::string data = dir.Write("in.txt", kSmallAlignment);
  EXPECT_EQ(FatalOutput([&] { pairnex::ConvertFile(dir.Path("absent.txt"), dir.Path("o.nex")); }),
            "\n\nErr: GetNumberOfTaxaSitesAndAllocate Error: Unable to open file '" +
                dir.Path("absent.txt") + "': No such file or directory.\n");
  EXPECT_EQ(FatalOutput([&] { pairnex::ConvertFile(data, dir.Path("no/such/dir/o.nex")); }),
            "\n\nErr: WriteMrBayesDoubletFile Error: Unable to open file '" +
                dir.Path("no/such/dir/o.nex") + "': No such file or directory.\n");
  // A link at the name table's path is refused before the data are read,
  // whether or not the names will need the table.
  const std::string victim = dir.Write("victim.txt", "kept\n");
  std::filesystem::create_symlink(victim, dir.Path("o.nex.names"));
  EXPECT_EQ(FatalOutput([&] { pairnex::ConvertFile(dir.Path("absent.txt"), dir.Path("o.nex")); }),
            "\n\nErr: WriteMrBayesDoubletFile Error: Unable to open file '" +
                dir.Path("o.nex.names") +
                "': it is a symbolic link, and a file named after the output is only ever written "
                "as a new regular file (remove it, or choose another output name).\n");
  EXPECT_EQ(ReadFile(victim), "kept\n");
  std::filesystem::remove(dir.Path("o.nex.names"));
  // A full disk: the failure is reported, never a silent success.
  EXPECT_EQ(FatalOutput([&] { pairnex::ConvertFile(data, "/dev/full"); }),
            "\n\nErr: WriteMrBayesDoubletFile Error: Unable to write file '/dev/full': No space "
            "left on device.\n");
  const ProgramResult full = RunProgram(PAIRNEX_BINARY, {data, "/dev/full"});
  EXPECT_EQ(full.status, 1);

  // The reader's structure checks hold for pairnex too.
  const std::string unbalanced = dir.Write("bad.txt", ">s\n((-)\n>a\nGGAC\n");
  EXPECT_NE(FatalOutput([&] {
              pairnex::ConvertFile(unbalanced, dir.Path("o.nex"));
            }).find("the '(' at column 0 has no closing partner"),
            std::string::npos);
  // Names up to 99 characters fit, as in MrBayes and ribotrace; 100 do not.
  const std::string long_name(99, 'n');
  pairnex::ConvertFile(dir.Write("long.txt", ">s\n-\n>" + long_name + "\nA\n"), dir.Path("o.nex"));
  EXPECT_NE(ReadFile(dir.Path("o.nex")).find("\t" + long_name + "\t\tA\n"), std::string::npos);
  EXPECT_NE(FatalOutput([&] {
              pairnex::ConvertFile(dir.Write("longer.txt", ">s\n-\n>" + long_name + "n\nA\n"),
                                   dir.Path("o.nex"));
            }).find("has 100 characters; at most 99 fit"),
            std::string::npos);
}

TEST(PairnexFailures, RefusesToOverwriteTheDataFileOrWriteNothing) {
  ScratchDir dir;
  const std::string data = dir.Write("in.txt", kSmallAlignment);
  EXPECT_NE(FatalOutput([&] {
              pairnex::ConvertFile(data, dir.Path("./in.txt"));
            }).find("is the data file"),
            std::string::npos);
  EXPECT_EQ(ReadFile(data), kSmallAlignment);
  EXPECT_NE(FatalOutput([&] {
              pairnex::ConvertFile(dir.Write("empty.txt", ">s\n(-)\n"), dir.Path("o.nex"));
            }).find("holds 0 taxa and 3 columns; nothing to convert."),
            std::string::npos);
}

TEST(PairnexWarnings, NameTheFirstCharacterThatMrBayesRejects) {
  ScratchDir dir;
  const std::string data =
      dir.Write("in.txt", ">s\n(--)\n>a\nGRYC\n>b\nGA.x\n>c\nnu-?\n>d\nG 3C\n");
  const ProgramResult result = RunProgram(PAIRNEX_BINARY, {data, dir.Path("o.nex")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.errors,
            "Warning: MrBayes does not accept '.' (taxon 'b', column 2) in RNA data; there are 4 "
            "in all. It is written as read; MrBayes will stop at it.\n");
  // Every character still goes through, upper-cased.
  EXPECT_NE(ReadFile(dir.Path("o.nex")).find("\tb\t\tGA.X\n\tc\t\tNU-?\n\td\t\tG 3C\n"),
            std::string::npos);

  // MrBayes stops below four taxa ("There must be at least four taxa").
  EXPECT_NE(RunProgram(PAIRNEX_BINARY,
                       {dir.Write("three.txt", ">s\n-\n>a\nA\n>b\nC\n>c\nG\n"), dir.Path("t.nex")})
                .errors.find("holds 3 taxa; MrBayes needs at least 4"),
            std::string::npos);
  const std::string one = dir.Write("one.txt", ">s\n--\n>a\nA\x01\n>b\nAA\n>c\nAA\n>d\nAA\n");
  const ProgramResult control = RunProgram(PAIRNEX_BINARY, {one, dir.Path("p.nex")});
  EXPECT_EQ(control.errors,
            "Warning: MrBayes does not accept the byte 0x01 (taxon 'a', column 1) in RNA data; it "
            "is the only one. It is written as read; MrBayes will stop at it.\n");
}
