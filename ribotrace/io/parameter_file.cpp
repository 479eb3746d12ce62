#include "io/parameter_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <sstream>
#include <string_view>
#include <vector>

#include "bailout/bailout.h"
#include "bailout/quoted.h"
#include "io/nexus_text.h"
#include "io/parameter_model.h"

namespace {

std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The fields of a row. MrBayes 3.2 separates them by tabs: then every tab
// counts, so that an empty or lost field shows as a wrong count instead of
// shifting the next column into its place. Tables without tabs (MrBayes 3.1)
// are split at runs of blanks.
std::vector<std::string_view> Fields(std::string_view line, bool tab_separated) {
  std::vector<std::string_view> fields;
  line = Trimmed(line);
  if (line.empty()) return fields;
  if (tab_separated) {
    std::size_t start = 0;
    while (true) {
      const std::size_t end = std::min(line.find('\t', start), line.size());
      fields.push_back(Trimmed(line.substr(start, end - start)));
      if (end == line.size()) break;
      start = end + 1;
    }
    return fields;
  }
  std::size_t start = 0;
  while (start < line.size()) {
    const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
    fields.push_back(line.substr(start, end - start));
    start = line.find_first_not_of(" \t", end);
    if (start == std::string_view::npos) break;
  }
  return fields;
}

// MrBayes 3.2.7 prints a diagnostic that it cannot compute (the ESS or
// PSRF of a parameter that never moved in a short chain) as "NA" without
// the tab before it: "1.666667e-01\t3.000000e+00NA", "...e-01NANANA". The
// fields after the mean are split again there, so such a row keeps its
// count and the mean stays where the header says; the caller still checks
// the count, so nothing else is forgiven.
std::vector<std::string_view> WithGluedNaSplit(const std::vector<std::string_view>& fields,
                                               std::size_t mean_column) {
  std::vector<std::string_view> split;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    std::string_view field = fields[f];
    if (f <= mean_column) {
      split.push_back(field);
      continue;
    }
    std::size_t n_na = 0;
    while (field.size() > 2 && field.ends_with("na")) {
      field.remove_suffix(2);
      ++n_na;
    }
    split.push_back(field);
    split.insert(split.end(), n_na, std::string_view("na"));
  }
  return split;
}

struct Header {
  std::size_t n_fields = 0;
  std::size_t mean_column = 0;
  bool tab_separated = false;
};

// Reads the table of one file against the rows a model needs.
class TableReader {
 public:
  TableReader(const std::string& file_name, bool isStructure)
      : where_("ReadParameterFile Error: In '" + file_name + "'"),
        model_(ExpectedModel(isStructure)),
        isStructure_(isStructure) {
    for (std::size_t i = 0; i < model_.rows.size(); ++i) index_.emplace(model_.rows[i].name, i);
  }

  ModelParams Read(std::string_view text) {
    Collect(text);
    if (!found_any_) FailNotThisModel();
    for (const auto& [line, name, fields] : rows_in_order_) Judge(line, name, fields);
    // Equal rates across sites unless a shape row says otherwise.
    ModelParams parameters = UnitParams();
    std::size_t n_required = 0;
    for (const ExpectedRow& row : model_.rows) n_required += row.optional ? 0 : 1;
    std::size_t n_found = 0;
    for (const auto& [i, value] : found_) n_found += model_.rows[i].optional ? 0 : 1;
    for (std::size_t i = 0; i < model_.rows.size(); ++i) {
      const ExpectedRow& row = model_.rows[i];
      const auto found = found_.find(i);
      if (found == found_.end()) {
        if (row.optional) continue;
        FailWithLine(where_ + ": the row " + Quoted(row.name) +
                     " is missing from the parameter table (found " + std::to_string(n_found) +
                     " of the " + std::to_string(n_required) + " rows " + model_.description +
                     ").");
      }
      FillOnce(parameters, row.field, i, found->second);
      if (row.second) FillOnce(parameters, *row.second, i, found->second);
    }
    for (const FrequencyGroup& group : model_.frequencies) CheckSum(parameters, group);
    return parameters;
  }

 private:
  struct Row {
    int line;
    std::string_view name;
    std::vector<std::string_view> fields;
  };

  std::string AtLine(int line) const { return where_ + ", line " + std::to_string(line) + ": "; }

  // Every rate and frequency row of the table, and the header that tells
  // where the means are. The table ends at the file's end or at "end;".
  void Collect(std::string_view text) {
    int number = 0;
    while (!text.empty()) {
      const std::size_t end = std::min(text.find('\n'), text.size());
      const std::string_view line = text.substr(0, end);
      text.remove_prefix(std::min(end + 1, text.size()));
      ++number;
      const std::vector<std::string_view> fields = Fields(line, line.find('\t') != line.npos);
      if (fields.empty()) continue;
      if (fields.front() == "end;" || fields.front() == "end") break;
      if (fields.front() == "parameter" && !header_) {
        ReadHeader(line, number);
        continue;
      }
      if (!header_ && !IsRateOrFrequencyName(fields.front())) continue;
      if (IsTreeLengthName(fields.front())) continue;
      if (!header_) {
        FailWithLine(AtLine(number) + "the row " + Quoted(fields.front()) +
                     " comes before the header row (Parameter, Mean, ...) of the table.");
      }
      std::vector<std::string_view> row_fields = Fields(line, header_->tab_separated);
      const std::string_view name = row_fields.front();
      rows_in_order_.push_back({number, name, std::move(row_fields)});
      if (index_.contains(std::string(name))) found_any_ = true;
    }
  }

  void ReadHeader(std::string_view line, int number) {
    Header header;
    header.tab_separated = line.find('\t') != line.npos;
    const std::vector<std::string_view> fields = Fields(line, header.tab_separated);
    header.n_fields = fields.size();
    const auto mean = std::find(fields.begin(), fields.end(), "mean");
    if (mean == fields.end()) {
      FailWithLine(AtLine(number) + "the header row of the table has no column 'Mean'.");
    }
    header.mean_column = static_cast<std::size_t>(mean - fields.begin());
    header_ = header;
  }

  [[noreturn]] void FailNotThisModel() const {
    FailWithLine(where_ + ": no row '" + model_.rows.front().name +
                 "' starts the parameter table; expected the MrBayes parameter summary (.pstat) "
                 "of this alignment" +
                 (isStructure_ ? ", analysed with the stem and loop partitions." : "."));
  }

  // Fills a parameter that no row filled yet. Only shapes can collide:
  // alpha{all} with alpha{1} or alpha{2} would give one partition two shapes.
  void FillOnce(ModelParams& parameters, ParamField field, std::size_t row, double value) {
    const auto [filled, fresh] =
        filled_by_.emplace(std::pair(static_cast<int>(field.group), field.index), row);
    if (!fresh) {
      const std::size_t other = filled->second;
      FailWithLine(AtLine(std::max(first_line_.at(row), first_line_.at(other))) + "the rows " +
                   Quoted(model_.rows[std::min(row, other)].name) + " and " +
                   Quoted(model_.rows[std::max(row, other)].name) +
                   " both give the gamma shape of one partition.");
    }
    At(parameters, field) = value;
  }

  void Judge(int line, std::string_view name, std::vector<std::string_view> fields) {
    if (fields.size() < header_->n_fields) {
      std::vector<std::string_view> split = WithGluedNaSplit(fields, header_->mean_column);
      if (split.size() == header_->n_fields) fields = std::move(split);
    }
    const auto expected = index_.find(std::string(name));
    if (expected == index_.end() && !IsRateOrFrequencyName(name)) {
      FailWithLine(AtLine(line) + "the row " + Quoted(name) +
                   " is a parameter that ribotrace does not model (it reads " + model_.description +
                   ", and " + model_.optional_description +
                   " with gamma-distributed rates); analyse the alignment in MrBayes without it.");
    }
    if (expected == index_.end()) {
      FailWithLine(AtLine(line) + "the row " + Quoted(name) +
                   " is not a parameter of this model (expected the rows " + model_.description +
                   ").");
    }
    const std::size_t i = expected->second;
    if (const auto seen = first_line_.find(i); seen != first_line_.end()) {
      FailWithLine(AtLine(line) + "the row " + Quoted(name) + " appears again (first on line " +
                   std::to_string(seen->second) + ").");
    }
    first_line_.emplace(i, line);
    if (fields.size() != header_->n_fields) {
      FailWithLine(AtLine(line) + "the row " + Quoted(name) + " has " +
                   std::to_string(fields.size()) + " fields; the header row has " +
                   std::to_string(header_->n_fields) + ".");
    }
    const std::string_view value_text = fields[header_->mean_column];
    const std::optional<double> value = ParseNumber(value_text);
    if (!value) {
      FailWithLine(AtLine(line) + "the value " + Quoted(value_text) + " of the row " +
                   Quoted(name) + " is not a number.");
    }
    if (!std::isfinite(*value)) {
      FailWithLine(AtLine(line) + "the value " + Quoted(value_text) + " of the row " +
                   Quoted(name) + " is not finite.");
    }
    if (model_.rows[i].kind == RowKind::kRate && *value < 0.0) {
      FailWithLine(AtLine(line) + "the exchange rate " + Quoted(name) + " is negative (" +
                   std::string(value_text) + ").");
    }
    // A state of frequency 0 makes data that hold it impossible, and the
    // run would fail late, while drawing; MrBayes never estimates 0.
    if (model_.rows[i].kind == RowKind::kFrequency && !(*value > 0.0 && *value <= 1.0)) {
      FailWithLine(AtLine(line) + "the frequency " + Quoted(name) + " is " +
                   std::string(value_text) + ", outside (0, 1].");
    }
    // A shape of 0 would put every site at rate 0 but one category.
    if (model_.rows[i].kind == RowKind::kShape && !(*value > 0.0)) {
      FailWithLine(AtLine(line) + "the gamma shape " + Quoted(name) + " is " +
                   std::string(value_text) + "; it must be positive.");
    }
    if (model_.rows[i].kind == RowKind::kMultiplier && !(*value > 0.0)) {
      FailWithLine(AtLine(line) + "the rate multiplier " + Quoted(name) + " is " +
                   std::string(value_text) + "; it must be positive.");
    }
    found_.emplace(i, *value);
  }

  void CheckSum(const ModelParams& parameters, const FrequencyGroup& group) const {
    const std::optional<double> sum = FrequencySumProblem(parameters, group);
    if (!sum) return;
    const auto name = [&](int k) {
      for (const ExpectedRow& row : model_.rows) {
        if (row.field.group == group.group && row.field.index == k) return row.name;
      }
      return std::string();
    };
    char shown[32];
    std::snprintf(shown, sizeof shown, "%.6g", *sum);
    FailWithLine(where_ + ": the frequencies " + name(0) + " ... " +
                 name(GroupSize(group.group) - 1) + " sum to " + shown +
                 "; they must sum to 1 (within 0.001).");
  }

  std::string where_;
  ParameterModel model_;
  bool isStructure_;
  std::map<std::string, std::size_t> index_;  // expected row name -> its index in model_.rows
  std::optional<Header> header_;
  std::vector<Row> rows_in_order_;
  bool found_any_ = false;               // a row of this model is in the table
  std::map<std::size_t, double> found_;  // index in model_.rows -> mean
  std::map<std::size_t, int> first_line_;
  // (group, index) of a filled parameter -> the row that filled it
  std::map<std::pair<int, int>, std::size_t> filled_by_;
};

}  // namespace

SummaryDiagnostics ReadSummaryDiagnostics(const NexusText& nexus) {
  SummaryDiagnostics diagnostics;
  std::istringstream lines(nexus.text);
  std::string line;
  std::vector<std::string_view> header;
  std::string header_line;
  std::size_t ess = 0;
  std::size_t psrf = 0;
  while (std::getline(lines, line)) {
    const bool tabs = line.find('\t') != std::string::npos;
    if (header.empty()) {
      if (Trimmed(line).rfind("parameter", 0) != 0) continue;
      header_line = line;
      header = Fields(header_line, tabs);
      for (std::size_t f = 0; f < header.size(); ++f) {
        if (header[f] == "miness" || (header[f] == "ess" && ess == 0)) ess = f;
        if (header[f] == "psrf") psrf = f;
      }
      continue;
    }
    std::vector<std::string_view> fields = Fields(line, tabs);
    if (fields.size() < header.size()) fields = WithGluedNaSplit(fields, 1);
    if (fields.size() != header.size()) continue;
    const auto take = [&](std::size_t column, double& figure, bool smallest) {
      if (column == 0) return;
      const std::optional<double> value = ParseNumber(fields[column]);
      if (!value || !std::isfinite(*value)) return;
      if (std::isnan(figure) || (smallest ? *value < figure : *value > figure)) figure = *value;
    };
    take(ess, diagnostics.min_ess, true);
    take(psrf, diagnostics.max_psrf, false);
  }
  return diagnostics;
}

ModelParams ReadParameterText(const NexusText& nexus, const std::string& file_name,
                              bool isStructure) {
  try {
    return TableReader(file_name, isStructure).Read(nexus.text);
  } catch (const std::bad_alloc&) {
    FailWithLine("ReadParameterFile Error: Problem allocating memory for string.");
  }
}

ModelParams ReadParameterFile(const std::string& file_name, bool isStructure,
                              std::string* analysis_id) {
  try {
    const NexusText nexus = ReadNexusText(file_name, true, "ReadParameterFile");
    if (analysis_id != nullptr) *analysis_id = nexus.analysis_id;
    return ReadParameterText(nexus, file_name, isStructure);
  } catch (const std::bad_alloc&) {
    FailWithLine("ReadParameterFile Error: Problem allocating memory for string.");
  }
}
