#include "io/parameter_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bailout/bailout.h"
#include "io/nexus_text.h"
#include "tree-utility/string_token.h"

namespace {

enum class RowKind { kRate, kFrequency };

// One row of the table the model needs: the slot it fills, what it must be,
// and its name in a MrBayes 3.2 summary (for messages).
struct ExpectedRow {
  int slot;
  RowKind kind;
  std::string name;
};

constexpr std::array<const char*, 6> kRatePairs = {"a<->c", "a<->g", "a<->t",
                                                   "c<->g", "c<->t", "g<->t"};
constexpr std::string_view kBases = "acgt";
// MrBayes names the doublet states with A B C D for A C G U.
constexpr std::string_view kDoubletLetters = "abcd";

std::vector<ExpectedRow> ExpectedRows(bool isStructure) {
  std::vector<ExpectedRow> rows;
  if (!isStructure) {
    // A single 4 x 4 model: its rates and frequencies go where the loop
    // model reads them.
    for (int i = 0; i < 6; ++i) {
      rows.push_back({kLoopRatesSlot + i, RowKind::kRate, std::string("r(") + kRatePairs[i] + ")"});
    }
    for (int i = 0; i < 4; ++i) {
      rows.push_back(
          {kLoopFrequenciesSlot + i, RowKind::kFrequency, std::string("pi(") + kBases[i] + ")"});
    }
    return rows;
  }
  for (const int partition : {1, 2}) {
    const int first = partition == 1 ? kStemRatesSlot : kLoopRatesSlot;
    for (int i = 0; i < 6; ++i) {
      rows.push_back({first + i, RowKind::kRate,
                      std::string("r(") + kRatePairs[i] + "){" + std::to_string(partition) + "}"});
    }
  }
  for (int i = 0; i < 16; ++i) {
    rows.push_back({kDoubletFrequenciesSlot + i, RowKind::kFrequency,
                    std::string("pi(") + kDoubletLetters[i / 4] + kDoubletLetters[i % 4] + "){1}"});
  }
  for (int i = 0; i < 4; ++i) {
    rows.push_back(
        {kLoopFrequenciesSlot + i, RowKind::kFrequency, std::string("pi(") + kBases[i] + "){2}"});
  }
  return rows;
}

bool HasKind(std::string_view name, RowKind kind) {
  return name.starts_with(kind == RowKind::kRate ? "r(" : "pi(");
}

std::optional<double> ParseNumber(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

struct Line {
  int number;  // 1-based, in the file
  std::string_view text;
};

// Hands out the lines one at a time: no per-line table, so a file of
// nothing but line breaks costs no more than its text.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : rest_(text) {}

  std::optional<Line> Next() {
    if (rest_.empty()) return std::nullopt;
    const std::size_t end = std::min(rest_.find('\n'), rest_.size());
    const Line line{++number_, rest_.substr(0, end)};
    rest_.remove_prefix(std::min(end + 1, rest_.size()));
    return line;
  }

 private:
  std::string_view rest_;
  int number_ = 0;
};

}  // namespace

ParameterRecord ReadParameterFile(const std::string& file_name, bool isStructure) {
  ParameterRecord parameters;
  parameters.fill(1.0);
  const std::string where = "ReadParameterFile Error: In '" + file_name + "'";
  std::optional<std::string> text;
  try {
    text = ReadNexusText(file_name, true, "ReadParameterFile");
  } catch (const std::bad_alloc&) {
    FailWithLine("ReadParameterFile Error: Problem allocating memory for string.");
  }
  if (!text) FailWithLine("ReadParameterFile Error: Unable to open file '" + file_name + "'.");

  const std::vector<ExpectedRow> expected = ExpectedRows(isStructure);
  const std::string start_row = expected.front().name;
  std::size_t filled = 0;
  bool started = false;
  // The table is read row by row: the first field names the parameter, the
  // second is its posterior mean, whatever else the row holds (MrBayes 3.1
  // writes six columns, 3.2 seven, or nine for several runs).
  LineCursor lines(*text);
  while (const std::optional<Line> next = lines.Next()) {
    const Line& line = *next;
    std::size_t pos = 0;
    const std::string name = StringToken(pos, line.text, kNexusSeparators);
    if (name.empty()) continue;
    if (name == "end;" || name == "end") break;
    if (!started) {
      if (name != start_row) continue;
      started = true;
    }
    const ExpectedRow& row = expected[filled];
    const std::string at_line = where + ", line " + std::to_string(line.number) + ": ";
    if (!HasKind(name, row.kind)) {
      FailWithLine(at_line + "expected the " +
                   (row.kind == RowKind::kRate ? "exchange rate" : "frequency") + " row '" +
                   row.name + "', found the row '" + name + "'.");
    }
    const std::string value_text = StringToken(pos, line.text, kNexusSeparators);
    const std::optional<double> value = ParseNumber(value_text);
    if (!value) {
      FailWithLine(at_line + "the value '" + value_text + "' of the row '" + name +
                   "' is not a number.");
    }
    parameters[static_cast<std::size_t>(row.slot)] = *value;
    if (++filled == expected.size()) return parameters;
  }
  if (!started) {
    FailWithLine(where + ": no row '" + start_row +
                 "' starts the parameter table; expected the MrBayes parameter summary (.pstat) "
                 "of this alignment" +
                 (isStructure ? ", analysed with the stem and loop partitions." : "."));
  }
  FailWithLine(where + ": the parameter table ends after " + std::to_string(filled) + " of " +
               std::to_string(expected.size()) + " rows; the row '" + expected[filled].name +
               "' is missing.");
}
