#include <gtest/gtest.h>

#include <sstream>

#include "option_table.h"
#include "test_support.h"

namespace {

const std::vector<std::string> kNineValues = {"ribotrace", "d.txt", "t.tre", "p.pstat", "out.fa",
                                              "1",         "0.5",   "100",   "1",       "1"};

const char* const kBanner =
    "############################### INPUT OPTIONS #############################\n";
const char* const kPrompts =
    "\tEnter data/structure filename > \tEnter tree filename > \tEnter parameter filename > "
    "\tEnter output filename > \tEnter 1 to use harmonic mean, 0 otherwise > "
    "\tEnter tuning parameter lambda > \tEnter number of ancestral samples > "
    "\tTo include original data in output enter 1, otherwise enter 0 > "
    "\tCondition on freq of pairs 1, otherwise unconditional 0 > "
    "\tTo show debug info enter 1, otherwise enter 0 > ";
const char* const kClosingBanner =
    "###########################################################################\n\n";

const std::string kProblem =
    "\n\nErr: A problem with the input or commandline values was encountered. Check and retry.\n";

}  // namespace

TEST(CommandLine, NineTenAndElevenArguments) {
  std::istringstream none;
  RunValues nine;
  ASSERT_EQ(GetInputValues(kNineValues, true, nine, none), 0);
  EXPECT_EQ(nine.data_file, "d.txt");
  EXPECT_EQ(nine.tree_file, "t.tre");
  EXPECT_EQ(nine.param_file, "p.pstat");
  EXPECT_EQ(nine.out_file, "out.fa");
  EXPECT_EQ(nine.is_harmonic, 1);
  EXPECT_DOUBLE_EQ(nine.lambda, 0.5);
  EXPECT_EQ(nine.n_samples, 100);
  EXPECT_EQ(nine.include_data, 1);
  EXPECT_EQ(nine.condition_on_pairs, 1);
  EXPECT_EQ(nine.show_debug, 0);

  std::vector<std::string> ten = kNineValues;
  ten.push_back("1");
  RunValues debug;
  ASSERT_EQ(GetInputValues(ten, true, debug, none), 0);
  EXPECT_EQ(debug.show_debug, 1);

  ten.push_back("1");
  RunValues eleven;
  ASSERT_EQ(GetInputValues(ten, true, eleven, none), 0);
  EXPECT_EQ(eleven.show_debug, 0);
}

TEST(CommandLine, NumbersAreReadLikeStrtol) {
  std::vector<std::string> args = kNineValues;
  args[5] = "1.9";
  args[7] = "abc";
  args[8] = "99999999999";
  RunValues values;
  std::istringstream none;
  ASSERT_EQ(GetInputValues(args, true, values, none), 0);
  EXPECT_EQ(values.is_harmonic, 1);
  EXPECT_EQ(values.n_samples, 0);
  EXPECT_EQ(values.include_data, 2147483647);
}

TEST(CommandLine, FewerThanNineArgumentsAreAProblem) {
  std::istringstream none;
  for (std::size_t given = 1; given <= 8; ++given) {
    const std::vector<std::string> args(kNineValues.begin(), kNineValues.begin() + given + 1);
    RunValues values;
    EXPECT_EQ(GetInputValues(args, true, values, none), 1) << given;
  }
}

TEST(CommandLine, OptionsAreTakenOutBeforePositions) {
  const char* argv[] = {"ribotrace", "--seed=42", "a", "--version"};
  const CommandLine options = ParseCommandLine(4, argv);
  EXPECT_EQ(options.values.seed, 42);
  EXPECT_TRUE(options.version);
  EXPECT_FALSE(options.help);
  EXPECT_EQ(options.positional, (std::vector<std::string>{"ribotrace", "a"}));
  for (const char* bad :
       {"--seed=0", "--seed=2147483647", "--seed=12x", "--seed=", "--frobnicate"}) {
    const char* args[] = {"ribotrace", bad};
    EXPECT_NE(FatalOutput([&] { ParseCommandLine(2, args); }), "") << bad;
  }
  const char* both[] = {"ribotrace", "--classic", "--marginal"};
  EXPECT_NE(FatalOutput([&] { ParseCommandLine(3, both); }), "");
}

TEST(Prompts, AskForTheTenValuesInOrder) {
  std::istringstream answers("d.txt t.tre p.pstat out.fa 1.7 0.25 10 2 1 0\n");
  RunValues values;
  const std::string printed =
      CapturedOutput([&] { ASSERT_EQ(GetInputValues({"ribotrace"}, false, values, answers), 0); });
  EXPECT_EQ(printed, std::string(kBanner) + kPrompts + kClosingBanner);
  EXPECT_EQ(values.param_file, "p.pstat");
  EXPECT_EQ(values.out_file, "out.fa");
  EXPECT_EQ(values.is_harmonic, 1);  // 1.7 truncates toward zero
  EXPECT_DOUBLE_EQ(values.lambda, 0.25);
  EXPECT_EQ(values.n_samples, 10);
  EXPECT_EQ(values.include_data, 2);
  EXPECT_EQ(values.show_debug, 0);

  std::istringstream half("d t p o 0.5 1 1 1 1 1\n");
  RunValues truncated;
  CapturedOutput([&] { GetInputValues({"ribotrace"}, false, truncated, half); });
  EXPECT_EQ(truncated.is_harmonic, 0);
}

TEST(Prompts, NonNumbersAndEndOfInputAreAProblem) {
  for (const char* input :
       {"d t p o x", "d t p o 1 1 many", "d t p o 1 1 1 1 1", "d t", "d t p o 1e300 1 1 1 1 1"}) {
    std::istringstream answers(input);
    RunValues values;
    int status = 0;
    CapturedOutput([&] { status = GetInputValues({"ribotrace"}, false, values, answers); });
    EXPECT_EQ(status, 1) << input;
  }
}

TEST(Program, ReportsIncompleteValuesWithUsage) {
  const ProgramResult few = RunProgram(RIBOTRACE_BINARY, {"a", "b", "c"});
  EXPECT_EQ(few.status, 1);
  EXPECT_EQ(few.output, kProblem + RibotraceUsage() + "\n");

  const ProgramResult closed = RunProgram(RIBOTRACE_BINARY, {}, "data.txt tree.tre\n");
  EXPECT_EQ(closed.status, 1);
  EXPECT_EQ(closed.output, std::string(kBanner) +
                               "\tEnter data/structure filename > \tEnter tree filename > "
                               "\tEnter parameter filename > " +
                               kProblem + RibotraceUsage() + "\n");
}

TEST(Program, HelpVersionAndBadOptions) {
  const ProgramResult help = RunProgram(RIBOTRACE_BINARY, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind(RibotraceUsage() + "\n", 0), 0u);
  // Every option that the parser takes and every value, each on a line of
  // its own.
  for (const char* line : {"\n  --marginal ", "\n  --classic ",    "\n  --state ",
                           "\n  --changes ",  "\n  --outgroup=",   "\n  --gaps=column|tree|indel\n",
                           "\n  --loglik ",   "\n  --seed=N ",     "\n  --threads=N ",
                           "\n  --timings ",  "\n  --help ",       "\n  --version ",
                           "\n  data_file ",  "\n  tree_file ",    "\n  param_file ",
                           "\n  out_file ",   "\n  is_harmonic ",  "\n  lambda ",
                           "\n  n_samples ",  "\n  include_data ", "\n  condition_on_pairs ",
                           "\n  show_debug "}) {
    EXPECT_NE(help.output.find(line), std::string::npos) << line;
  }
  const ProgramResult version = RunProgram(RIBOTRACE_BINARY, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output.rfind("ribotrace ", 0), 0u);
  const ProgramResult bad = RunProgram(RIBOTRACE_BINARY, {"--seed=-3"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.output.rfind("\n\nErr: Invalid value '-3' for --seed", 0), 0u);
  const ProgramResult bad_gaps = RunProgram(RIBOTRACE_BINARY, {"--gaps=node"});
  EXPECT_EQ(bad_gaps.status, 1);
  EXPECT_EQ(bad_gaps.output.rfind("\n\nErr: Invalid value 'node' for --gaps", 0), 0u);
  // A repeated option, and one that does nothing on a parameter summary.
  EXPECT_EQ(RunProgram(RIBOTRACE_BINARY, {"--seed=1", "--state", "--seed=2"}).output,
            "\n\nErr: The option --seed is given twice; give it once.\n");
  EXPECT_EQ(RunProgram(RIBOTRACE_BINARY, {"--changes", "--classic"})
                .output.rfind("\n\nErr: --changes needs the exact posteriors", 0),
            0u);
  const std::string examples = EXAMPLES_DIR;
  const ProgramResult ignored = RunProgram(
      RIBOTRACE_BINARY,
      {"--trees=10", examples + "/plant_srp10.txt", examples + "/plant_srp10.nex.con.tre",
       examples + "/plant_srp10.nex.pstat", "/dev/null", "1", "1.0", "1", "0", "0"});
  EXPECT_EQ(ignored.status, 1);
  EXPECT_NE(ignored.output.find("--trees applies to a run over MrBayes's sampled trees and "
                                "parameters (.t and .p files)"),
            std::string::npos)
      << ignored.output;
}

TEST(Program, MissingDataFileIsFatal) {
  ScratchDir dir;
  std::vector<std::string> args(kNineValues.begin() + 1, kNineValues.end());
  args[0] = dir.Path("absent.txt");
  const ProgramResult result = RunProgram(RIBOTRACE_BINARY, args);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "\n\nErr: GetNumberOfTaxaSitesAndAllocate Error: Unable to open file '" +
                               args[0] + "': No such file or directory.\n");
}

TEST(Program, TooFewTaxaIsFatal) {
  ScratchDir dir;
  std::vector<std::string> args(kNineValues.begin() + 1, kNineValues.end());
  args[0] = dir.Write("two.txt", ">h\n(-)\n>a\nGAC\n>b\nGAC\n");
  const ProgramResult result = RunProgram(RIBOTRACE_BINARY, args);
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("holds 2 taxa; at least 3 are needed"), std::string::npos);
}

// The run values by name give the run that the same values by position
// give; a value given both ways, or missing, is refused by name.
TEST(CommandLine, ValuesByNameRunAsByPosition) {
  const std::string examples = EXAMPLES_DIR;
  const std::vector<std::string> files = {examples + "/plant_srp10.txt",
                                          examples + "/plant_srp10.nex.con.tre",
                                          examples + "/plant_srp10.nex.pstat"};
  ScratchDir dir;
  const std::vector<std::string> numbers = {"1", "0.5", "2", "1", "0"};
  std::vector<std::string> by_position = {"--seed=3"};
  by_position.insert(by_position.end(), files.begin(), files.end());
  by_position.push_back(dir.Path("a.fa"));
  by_position.insert(by_position.end(), numbers.begin(), numbers.end());
  ASSERT_EQ(RunProgram(RIBOTRACE_BINARY, by_position).status, 0);
  const std::vector<std::string> by_name = {"--samples=2",
                                            "--seed=3",
                                            "--lambda=0.5",
                                            "--out-file=" + dir.Path("b.fa"),
                                            "--is-harmonic=1",
                                            "--include-data=1",
                                            "--condition-on-pairs=0",
                                            files[0],
                                            files[1],
                                            files[2]};
  const ProgramResult named = RunProgram(RIBOTRACE_BINARY, by_name);
  ASSERT_EQ(named.status, 0) << named.output;
  EXPECT_TRUE(ReadFile(dir.Path("a.fa")) == ReadFile(dir.Path("b.fa")));

  std::vector<std::string> twice = by_name;
  twice.push_back(dir.Path("c.fa"));
  EXPECT_NE(RunProgram(RIBOTRACE_BINARY, twice)
                .output.find("The value out_file is given both by position and as --out-file="),
            std::string::npos);
  const ProgramResult missing = RunProgram(RIBOTRACE_BINARY, {"--samples=2", files[0]});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("give --tree-file=FILE, --param-file=FILE, --out-file=FILE, "
                                "--is-harmonic=0|1, --lambda=X, --include-data=N, "
                                "--condition-on-pairs=N"),
            std::string::npos)
      << missing.output;
  EXPECT_NE(RunProgram(RIBOTRACE_BINARY, {"--lambda=fast"})
                .output.find("Invalid value 'fast' for --lambda: expected a number."),
            std::string::npos);
}
