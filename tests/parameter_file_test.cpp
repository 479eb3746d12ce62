#include "io/parameter_file.h"

#include <gtest/gtest.h>

#include <sstream>

#include "test_support.h"

namespace {

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

// A table in the layout of MrBayes 3.1 (six columns, spaces) whose means
// are the row numbers 1, 2, 3, ...
std::string SixColumnTable(int rate_rows_per_partition = 6) {
  std::string text = "[ID: 1]\nParameter Mean Variance Lower Upper Median\nTL{all} 9 0 0 0 0\n";
  int value = 0;
  auto row = [&](const std::string& name) {
    text += name + " " + std::to_string(++value) + " 0.1 0.2 0.3 0.4\n";
  };
  const char* pairs[] = {"A<->C", "A<->G", "A<->T", "C<->G", "C<->T", "G<->T"};
  for (const char* partition : {"{1}", "{2}"}) {
    for (int i = 0; i < rate_rows_per_partition; ++i)
      row(std::string("r(") + pairs[i] + ")" + partition);
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
  const ParameterRecord parameters = ReadParameterFile(kPstat, true);
  const std::vector<double> means = MeansFrom(kPstat, "r(A<->C){1}");
  ASSERT_EQ(means.size(), 32u);
  for (std::size_t slot = 0; slot < 32; ++slot) EXPECT_EQ(parameters[slot], means[slot]) << slot;
  EXPECT_DOUBLE_EQ(parameters[kStemRatesSlot], 1.248687e-01);
  EXPECT_DOUBLE_EQ(parameters[kLoopRatesSlot + 5], 2.197657e-01);
  EXPECT_DOUBLE_EQ(parameters[kDoubletFrequenciesSlot], 8.778896e-02);
  EXPECT_DOUBLE_EQ(parameters[kDoubletFrequenciesSlot + 15], 6.961965e-02);
  EXPECT_DOUBLE_EQ(parameters[kLoopFrequenciesSlot + 3], 2.570924e-01);
}

TEST(ParameterFile, WithoutStructureTheSingleModelFillsTheLoopSlots) {
  const ParameterRecord parameters = ReadParameterFile(kSingleModelPstat, false);
  const std::vector<double> means = MeansFrom(kSingleModelPstat, "r(A<->C)");
  ASSERT_EQ(means.size(), 10u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(parameters[kLoopRatesSlot + i], means[i]) << i;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(parameters[kLoopFrequenciesSlot + i], means[6 + i]) << i;
  EXPECT_DOUBLE_EQ(parameters[kLoopRatesSlot], 1.648215e-01);
  EXPECT_DOUBLE_EQ(parameters[kLoopFrequenciesSlot + 3], 2.866983e-01);
  for (int slot = 0; slot < kLoopRatesSlot; ++slot) EXPECT_EQ(parameters[slot], 1.0) << slot;
  for (int slot = kDoubletFrequenciesSlot; slot < kLoopFrequenciesSlot; ++slot) {
    EXPECT_EQ(parameters[slot], 1.0) << slot;
  }
}

TEST(ParameterFile, ReadsOtherLayoutsOfTheTable) {
  ScratchDir dir;
  // Six columns (MrBayes 3.1), with rows after the 32 and an end.
  const ParameterRecord six =
      ReadParameterFile(dir.Write("six.pstat", SixColumnTable() + "extra 7 7 7 7 7\nend;\n"), true);
  for (std::size_t slot = 0; slot < 32; ++slot) EXPECT_EQ(six[slot], slot + 1.0) << slot;

  // Nine tab-separated columns (several runs), CR LF line ends, lower case.
  std::string nine = "Parameter\tMean\tVariance\tLower\tUpper\tMedian\tminESS\tavgESS\tPSRF\r\n";
  for (const char* name : {"r(a<->c)", "r(a<->g)", "r(a<->t)", "r(c<->g)", "r(c<->t)", "r(g<->t)",
                           "pi(a)", "pi(c)", "pi(g)", "pi(t)"}) {
    nine += std::string(name) + "\t0.5\t1\t1\t1\t1\t1\t1\t1\r\n";
  }
  const ParameterRecord single = ReadParameterFile(dir.Write("nine.pstat", nine), false);
  EXPECT_EQ(single[kLoopRatesSlot], 0.5);
  EXPECT_EQ(single[kLoopFrequenciesSlot + 3], 0.5);
  EXPECT_EQ(single[kStemRatesSlot], 1.0);
}

TEST(ParameterFile, RefusesATableThatDoesNotFitTheModel) {
  EXPECT_EQ(ParameterFailure(ReadFile(kSingleModelPstat), true),
            "ReadParameterFile Error: In 'P': no row 'r(a<->c){1}' starts the parameter table; "
            "expected the MrBayes parameter summary (.pstat) of this alignment, analysed with the "
            "stem and loop partitions.\n");
  EXPECT_EQ(ParameterFailure("Parameter Mean\n", false),
            "ReadParameterFile Error: In 'P': no row 'r(a<->c)' starts the parameter table; "
            "expected the MrBayes parameter summary (.pstat) of this alignment.\n");
  const std::string table = SixColumnTable();
  EXPECT_EQ(
      ParameterFailure(table.substr(0, table.find("pi(DA)")), true),
      "ReadParameterFile Error: In 'P': the parameter table ends after 24 of 32 rows; the row "
      "'pi(da){1}' is missing.\n");
  EXPECT_EQ(
      ParameterFailure(SixColumnTable(5), true),
      "ReadParameterFile Error: In 'P', line 14: expected the exchange rate row 'r(c<->t){2}', "
      "found the row 'pi(aa){1}'.\n");
  EXPECT_EQ(ParameterFailure(ReadFile(kPstat), false),
            "ReadParameterFile Error: In 'P': no row 'r(a<->c)' starts the parameter table; "
            "expected the MrBayes parameter summary (.pstat) of this alignment.\n");
  std::string swapped = ReadFile(kSingleModelPstat);
  swapped.replace(swapped.find("pi(A)"), 5, "r(X)");
  EXPECT_EQ(
      ParameterFailure(swapped, false),
      "ReadParameterFile Error: In 'P', line 10: expected the frequency row 'pi(a)', found the "
      "row 'r(x)'.\n");
  std::string bad_value = table;
  bad_value.replace(bad_value.find(" 3 0.1"), 6, " 3,5 0.1");
  EXPECT_EQ(ParameterFailure(bad_value, true),
            "ReadParameterFile Error: In 'P', line 6: the value '3,5' of the row 'r(a<->t){1}' is "
            "not a number.\n");
  ScratchDir dir;
  EXPECT_EQ(FatalOutput([&] { ReadParameterFile(dir.Path("absent"), true); }),
            "ReadParameterFile Error: Unable to open file '" + dir.Path("absent") + "'.\n");
}
