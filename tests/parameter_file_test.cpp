#include "io/parameter_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "test_support.h"

namespace {

// Places in AllValues: stem rates, loop rates, doublet and loop frequencies.
constexpr int kLoopRatesSlot = 6;
constexpr int kDoubletFrequenciesSlot = 12;
constexpr int kLoopFrequenciesSlot = 28;

const std::string kPstat = std::string(EXAMPLES_DIR) + "/plant_srp10.nex.pstat";
const std::string kSingleModelPstat = std::string(EXAMPLES_DIR) + "/snr75.nex.pstat";

// The second field of every row from the row named `start` on.
std::vector<double> MeansFrom(const std::string& path, const std::string& start) {
  std::istringstream lines(ReadFile(path));
  std::vector<double> means;
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name;
    std::string mean;
    fields >> name >> mean;
    if (name == start || !means.empty()) means.push_back(std::stod(mean));
  }
  return means;
}

// The mean that the tables below give a slot: rates 1, 2, ... 12; doublet
// and loop frequencies distinct and each set summing to 1.
double SlotValue(std::size_t slot) {
  if (slot < kDoubletFrequenciesSlot) return static_cast<double>(slot + 1);
  if (slot < kLoopFrequenciesSlot) return static_cast<double>(slot - 11) / 136.0;
  return static_cast<double>(slot - 27) / 10.0;
}

// A table in the layout of MrBayes 3.1 (six columns, spaces), rows in slot
// order.
std::string SixColumnTable(int rate_rows_per_partition = 6) {
  std::string text = "[ID: 1]\nParameter Mean Variance Lower Upper Median\nTL{all} 9 0 0 0 0\n";
  std::size_t slot = 0;
  auto row = [&](const std::string& name) {
    char value[32];
    std::snprintf(value, sizeof value, "%.17g", SlotValue(slot++));
    text += name + " " + value + " 0.1 0.2 0.3 0.4\n";
  };
  const char* pairs[] = {"A<->C", "A<->G", "A<->T", "C<->G", "C<->T", "G<->T"};
  for (const char* partition : {"{1}", "{2}"}) {
    for (int i = 0; i < 6; ++i) {
      if (i < rate_rows_per_partition) {
        row(std::string("r(") + pairs[i] + ")" + partition);
      } else {
        ++slot;
      }
    }
  }
  for (const char first : std::string("ABCD")) {
    for (const char second : std::string("ABCD")) row(std::string("pi(") + first + second + "){1}");
  }
  for (const char base : std::string("ACGT")) row(std::string("pi(") + base + "){2}");
  return text;
}

std::string ParameterFailure(const std::string& content, bool isStructure) {
  ScratchDir dir;
  const std::string path = dir.Write("p.pstat", content);
  const std::string printed = FatalOutput([&] { ReadParameterFile(path, isStructure); });
  // Messages name the file; take the path out so the cases read plainly.
  const std::size_t at = printed.find(path);
  return at == std::string::npos ? printed
                                 : printed.substr(0, at) + "P" + printed.substr(at + path.size());
}

}  // namespace

TEST(ParameterFile, FillsTheThirtyTwoSlotsFromMrBayes32Means) {
  const ModelParams parameters = ReadParameterFile(kPstat, true);
  const std::vector<double> means = MeansFrom(kPstat, "r(A<->C){1}");
  ASSERT_EQ(means.size(), 32u);
  for (std::size_t slot = 0; slot < 32; ++slot)
    EXPECT_EQ(AllValues(parameters)[slot], means[slot]) << slot;
  EXPECT_DOUBLE_EQ(parameters.stem.rates[0], 1.248687e-01);
  EXPECT_DOUBLE_EQ(parameters.loop.rates[5], 2.197657e-01);
  EXPECT_DOUBLE_EQ(parameters.stem.frequencies[0], 8.778896e-02);
  EXPECT_DOUBLE_EQ(parameters.stem.frequencies[15], 6.961965e-02);
  EXPECT_DOUBLE_EQ(parameters.loop.frequencies[3], 2.570924e-01);
}

TEST(ParameterFile, WithoutStructureTheSingleModelFillsTheLoopSlots) {
  const ModelParams parameters = ReadParameterFile(kSingleModelPstat, false);
  const std::vector<double> means = MeansFrom(kSingleModelPstat, "r(A<->C)");
  ASSERT_EQ(means.size(), 10u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(parameters.loop.rates[i], means[i]) << i;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(parameters.loop.frequencies[i], means[6 + i]) << i;
  EXPECT_DOUBLE_EQ(parameters.loop.rates[0], 1.648215e-01);
  EXPECT_DOUBLE_EQ(parameters.loop.frequencies[3], 2.866983e-01);
  for (int slot = 0; slot < kLoopRatesSlot; ++slot)
    EXPECT_EQ(AllValues(parameters)[slot], 1.0) << slot;
  for (int slot = kDoubletFrequenciesSlot; slot < kLoopFrequenciesSlot; ++slot) {
    EXPECT_EQ(AllValues(parameters)[slot], 1.0) << slot;
  }
}

TEST(ParameterFile, ReadsOtherLayoutsOfTheTable) {
  ScratchDir dir;
  // Six columns (MrBayes 3.1), with rows after the 32 and an end.
  const ModelParams six = ReadParameterFile(
      dir.Write("six.pstat", SixColumnTable() + "alpha{1} 7 7 7 7 7\nend;\nextra 1 1 1 1 1\n"),
      true);
  for (std::size_t slot = 0; slot < 32; ++slot)
    EXPECT_EQ(AllValues(six)[slot], SlotValue(slot)) << slot;
  EXPECT_EQ(six.stem.alpha, 7.0);

  // Nine tab-separated columns (several runs), CR LF line ends, lower case.
  std::string nine = "Parameter\tMean\tVariance\tLower\tUpper\tMedian\tminESS\tavgESS\tPSRF\r\n";
  for (const char* name : {"r(a<->c)", "r(a<->g)", "r(a<->t)", "r(c<->g)", "r(c<->t)", "r(g<->t)",
                           "pi(a)", "pi(c)", "pi(g)", "pi(t)"}) {
    nine += std::string(name) + "\t0.25\t1\t1\t1\t1\t1\t1\t1\r\n";
  }
  const ModelParams single = ReadParameterFile(dir.Write("nine.pstat", nine), false);
  EXPECT_EQ(single.loop.rates[0], 0.25);
  EXPECT_EQ(single.loop.frequencies[3], 0.25);
  EXPECT_EQ(single.stem.rates[0], 1.0);
}

// Rows are matched by name and every value is checked where it is read:
// swapped, unknown, repeated, missing or damaged rows and impossible values
// once ran to the end with wrong numbers or failed late and unclearly.
TEST(ParameterFile, MatchesRowsByNameAndRefusesWhatTheModelCannotUse) {
  EXPECT_EQ(ParameterFailure(ReadFile(kSingleModelPstat), true),
            "ReadParameterFile Error: In 'P': no row 'r(a<->c){1}' starts the parameter table; "
            "expected the MrBayes parameter summary (.pstat) of this alignment, analysed with the "
            "stem and loop partitions.\n");
  EXPECT_EQ(ParameterFailure("Parameter Mean\n", false),
            "ReadParameterFile Error: In 'P': no row 'r(a<->c)' starts the parameter table; "
            "expected the MrBayes parameter summary (.pstat) of this alignment.\n");
  EXPECT_EQ(ParameterFailure(ReadFile(kPstat), false),
            "ReadParameterFile Error: In 'P': no row 'r(a<->c)' starts the parameter table; "
            "expected the MrBayes parameter summary (.pstat) of this alignment.\n");

  // Swapped rows land in their own slots.
  const std::string pstat = ReadFile(kPstat);
  const auto line_of = [&](const std::string& name) {
    const std::size_t start = pstat.find("\n" + name + "\t") + 1;
    return pstat.substr(start, pstat.find('\n', start) + 1 - start);
  };
  std::string swapped = pstat;
  const std::string first = line_of("r(A<->C){1}");
  const std::string second = line_of("pi(T){2}");
  swapped.replace(swapped.find(first), first.size(), second);
  swapped.replace(swapped.rfind(second), second.size(), first);
  ScratchDir dir;
  EXPECT_EQ(ReadParameterFile(dir.Write("swapped.pstat", swapped), true),
            ReadParameterFile(kPstat, true));

  const auto edited = [&](const std::string& name, const std::string& replacement) {
    std::string text = pstat;
    const std::string line = line_of(name);
    text.replace(text.find(line), line.size(), replacement);
    return ParameterFailure(text, true);
  };
  const std::string at = "ReadParameterFile Error: In 'P', line ";
  EXPECT_EQ(edited("r(A<->G){1}", "r(X<->Y){7}\t0.1\t0\t0\t0\t0\t1\n"),
            at + "5: the row 'r(x<->y){7}' is not a parameter of this model (expected the rows "
                 "r(a<->c){1} ... r(g<->t){2}, pi(aa){1} ... pi(dd){1} and pi(a){2} ... "
                 "pi(t){2}).\n");
  EXPECT_EQ(edited("r(A<->G){1}", line_of("r(A<->C){1}")),
            at + "5: the row 'r(a<->c){1}' appears again (first on line 4).\n");
  EXPECT_EQ(edited("r(A<->G){1}", ""),
            "ReadParameterFile Error: In 'P': the row 'r(a<->g){1}' is missing from the parameter "
            "table (found 31 of the 32 rows r(a<->c){1} ... r(g<->t){2}, pi(aa){1} ... pi(dd){1} "
            "and pi(a){2} ... pi(t){2}).\n");
  // A lost tab would put the variance in the mean's place.
  EXPECT_EQ(edited("r(A<->C){1}", "r(A<->C){1}\t3.203180e-05\t1\t1\t1\t1\n"),
            at + "4: the row 'r(a<->c){1}' has 6 fields; the header row has 7.\n");
  EXPECT_EQ(edited("r(A<->C){1}", "r(A<->C){1}\t\t3.203180e-05\t1\t1\t1\t1\n"),
            at + "4: the value '' of the row 'r(a<->c){1}' is not a number.\n");
  EXPECT_EQ(edited("r(C<->G){2}", "r(C<->G){2}\t-0.1\t0\t0\t0\t0\t1\n"),
            at + "13: the exchange rate 'r(c<->g){2}' is negative (-0.1).\n");
  EXPECT_EQ(edited("r(C<->G){2}", "r(C<->G){2}\tinf\t0\t0\t0\t0\t1\n"),
            at + "13: the value 'inf' of the row 'r(c<->g){2}' is not finite.\n");
  EXPECT_EQ(edited("pi(A){2}", "pi(A){2}\t-2.320096e-01\t0\t0\t0\t0\t1\n"),
            at + "32: the frequency 'pi(a){2}' is -2.320096e-01, outside (0, 1].\n");
  EXPECT_EQ(edited("pi(AB){1}", "pi(AB){1}\t0.1\t0\t0\t0\t0\t1\n"),
            "ReadParameterFile Error: In 'P': the frequencies pi(aa){1} ... pi(dd){1} sum to "
            "1.0622; they must sum to 1 (within 0.001).\n");

  EXPECT_EQ(FatalOutput([&] { ReadParameterFile(dir.Path("absent"), true); }),
            "ReadParameterFile Error: Unable to open file '" + dir.Path("absent") +
                "': No such file or directory.\n");
}

// rates=gamma adds the shape rows; any other parameter of a model that
// ribotrace does not compute (invariable sites, ...) once passed unseen.
TEST(ParameterFile, ReadsGammaShapesAndRefusesParametersOutsideTheModel) {
  const std::string pstat = ReadFile(kPstat);
  const auto row = [](const std::string& name, const std::string& mean) {
    return name + "\t" + mean + "\t0\t0\t0\t0\t1\n";
  };
  ScratchDir dir;
  const ModelParams gamma = ReadParameterFile(
      dir.Write("g.pstat", pstat + row("alpha{1}", "0.4") + row("alpha{2}", "1.7")), true);
  EXPECT_EQ(gamma.stem.alpha, 0.4);
  EXPECT_EQ(gamma.loop.alpha, 1.7);
  EXPECT_EQ(ReadParameterFile(kPstat, true).loop.alpha, 0.0);
  const ModelParams single = ReadParameterFile(
      dir.Write("s.pstat", ReadFile(kSingleModelPstat) + row("alpha", "2.5")), false);
  EXPECT_EQ(single.loop.alpha, 2.5);

  const std::string at = "ReadParameterFile Error: In 'P', line 37: the row";
  EXPECT_EQ(ParameterFailure(pstat + row("alpha{2}", "0.8") + row("pinvar{2}", "0.1"), true),
            at + " 'pinvar{2}' is a parameter that ribotrace does not model (it reads "
                 "r(a<->c){1} ... r(g<->t){2}, pi(aa){1} ... pi(dd){1} and pi(a){2} ... pi(t){2}, "
                 "and alpha{1}, alpha{2} or alpha{all} with gamma-distributed rates); analyse the "
                 "alignment in MrBayes without it.\n");
  EXPECT_EQ(ParameterFailure(pstat + row("alpha{all}", "0.8") + row("alpha{2}", "0.8"), true),
            at + "s 'alpha{2}' and 'alpha{all}' both give the gamma shape of one partition.\n");
}

// The tree and the parameters of one MrBayes analysis carry the same ID;
// files of two analyses still run, with a warning that says so.
TEST(ParameterFile, AWarningNamesParametersFromAnotherAnalysis) {
  ScratchDir dir;
  std::string other = ReadFile(kPstat);
  other.replace(0, other.find(']') + 1, "[ID: 42]");
  const std::string examples = EXAMPLES_DIR;
  for (const std::string& pstat : {kPstat, dir.Write("other.pstat", other)}) {
    const ProgramResult run =
        RunProgram(RIBOTRACE_BINARY, {"--seed=1", examples + "/plant_srp10.txt",
                                      examples + "/plant_srp10.nex.con.tre", pstat,
                                      dir.Path("out.fa"), "1", "1", "1", "0", "0"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");
    // The example's short chain also draws the convergence warnings.
    const std::string warning = "Warning: The tree file '" + examples +
                                "/plant_srp10.nex.con.tre' (ID '6464477543') and the parameter "
                                "file '" +
                                pstat +
                                "' (ID '42') come from different MrBayes "
                                "analyses.\n";
    EXPECT_EQ(run.errors.find(warning) != std::string::npos, pstat != kPstat) << run.errors;
  }
}

// A real short MrBayes 3.2.7 run (2 runs of 40 generations) whose
// parameters barely moved: MrBayes glues "NA" to the field before it
// ("3.000000e+00NA", "NANANA"). The means are still in their column.
TEST(ParameterFile, ReadsTheNaThatMrBayesGluesToThePreviousField) {
  const std::string path = std::string(TEST_DATA_DIR) + "/mrbayes/short_na.pstat";
  ASSERT_NE(ReadFile(path).find("e-01NANANA\n"), std::string::npos);
  const ModelParams parameters = ReadParameterFile(path, true);
  const std::vector<double> means = MeansFrom(path, "r(A<->C){1}");
  for (std::size_t slot = 0; slot < 32; ++slot)
    EXPECT_EQ(AllValues(parameters)[slot], means[slot]) << slot;

  // A field lost anywhere else is still a wrong count.
  ScratchDir dir;
  std::string text = ReadFile(path);
  const std::size_t row = text.find("r(A<->G){1}");
  text.erase(text.find('\t', row), 13);  // the mean and its tab
  EXPECT_NE(FatalOutput([&] {
              ReadParameterFile(dir.Write("lost.pstat", text), true);
            }).find("the row 'r(a<->g){1}' has 7 fields; the header row has 9"),
            std::string::npos);
}
