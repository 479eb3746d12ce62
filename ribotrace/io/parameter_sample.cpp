#include "io/parameter_sample.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <optional>

#include "bailout/bailout.h"
#include "bailout/quoted.h"
#include "io/parameter_model.h"

namespace {

// A .p row is tab-separated; blanks around a field are not part of it.
std::vector<std::string_view> TabFields(std::string_view line) {
  std::vector<std::string_view> fields;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  if (line.find_first_not_of(" \t") == std::string_view::npos) return fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = std::min(line.find('\t', start), line.size());
    std::string_view field = line.substr(start, end - start);
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    fields.push_back(field);
    if (end == line.size()) return fields;
    start = end + 1;
  }
}

// The lines of the text with their 1-based numbers, blank ones skipped.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  bool Next(std::string_view* line, int* number) {
    while (!text_.empty()) {
      const std::size_t end = std::min(text_.find('\n'), text_.size());
      *line = text_.substr(0, end);
      text_.remove_prefix(std::min(end + 1, text_.size()));
      *number = ++number_;
      if (line->find_first_not_of(" \t\r") != std::string_view::npos) return true;
    }
    return false;
  }

 private:
  std::string_view text_;
  int number_ = 0;
};

// Where each value of a row goes: the Gen and LnL columns, and per model
// row its column (-1: absent).
struct Columns {
  std::size_t generation = 0;
  std::size_t log_likelihood = 0;
  std::vector<int> of_row;
  std::size_t n_fields = 0;
};

class SampleReader {
 public:
  SampleReader(const std::string& file_name, bool isStructure)
      : where_("ReadParameterFile Error: In '" + file_name + "'"),
        model_(ExpectedModel(isStructure)) {}

  std::vector<ParameterSampleRow> Read(std::string_view text) {
    Lines lines(text);
    std::string_view line;
    int number = 0;
    if (!lines.Next(&line, &number)) Fail(where_ + ": the file holds no header row.");
    const Columns columns = ReadHeader(TabFields(line), number);
    std::vector<ParameterSampleRow> rows;
    while (lines.Next(&line, &number)) {
      rows.push_back(ReadRow(columns, TabFields(line), number));
      if (rows.size() > 1 && rows.back().generation <= rows[rows.size() - 2].generation) {
        FailWithLine(AtLine(number) + "the generation " + std::to_string(rows.back().generation) +
                     " does not follow " + std::to_string(rows[rows.size() - 2].generation) +
                     "; a .p file lists each run's samples in the order of their generations.");
      }
    }
    if (rows.empty()) FailWithLine(where_ + ": the file holds no sample rows after its header.");
    return rows;
  }

 private:
  std::string AtLine(int line) const { return where_ + ", line " + std::to_string(line) + ": "; }

  Columns ReadHeader(const std::vector<std::string_view>& fields, int number) {
    Columns columns;
    columns.n_fields = fields.size();
    columns.of_row.assign(model_.rows.size(), -1);
    std::map<std::string_view, std::size_t> seen;
    for (std::size_t f = 0; f < fields.size(); ++f) {
      const std::string_view name = fields[f];
      if (const auto [first, fresh] = seen.emplace(name, f); !fresh) {
        FailWithLine(AtLine(number) + "the column " + Quoted(name) + " appears twice.");
      }
      if (name == "gen") {
        columns.generation = f;
      } else if (name == "lnl") {
        columns.log_likelihood = f;
      } else if (name == "lnpr" || IsTreeLengthName(name)) {
        continue;
      } else if (const std::optional<std::size_t> row = RowNamed(name)) {
        columns.of_row[*row] = static_cast<int>(f);
      } else {
        FailWithLine(AtLine(number) + "the column " + Quoted(name) +
                     " is a parameter that ribotrace does not model (it reads " +
                     model_.description + ", and " + model_.optional_description +
                     " with gamma-distributed rates); analyse the alignment in MrBayes "
                     "without it.");
      }
    }
    if (!seen.contains("gen") || !seen.contains("lnl")) {
      FailWithLine(AtLine(number) +
                   "the header row does not begin with the columns Gen and "
                   "LnL; expected MrBayes's sampled parameters (.p).");
    }
    for (std::size_t i = 0; i < model_.rows.size(); ++i) {
      if (columns.of_row[i] < 0 && !model_.rows[i].optional) {
        FailWithLine(AtLine(number) + "the column " + Quoted(model_.rows[i].name) +
                     " is missing (expected " + model_.description +
                     "): the .p file of another model or alignment?");
      }
    }
    const auto present = [&](std::string_view name) {
      const std::optional<std::size_t> row = RowNamed(name);
      return row && columns.of_row[*row] >= 0;
    };
    if (present("alpha{all}") && (present("alpha{1}") || present("alpha{2}"))) {
      FailWithLine(AtLine(number) +
                   "the columns alpha{all} and alpha{1} or alpha{2} both give "
                   "the gamma shape of one partition.");
    }
    return columns;
  }

  ParameterSampleRow ReadRow(const Columns& columns, const std::vector<std::string_view>& fields,
                             int number) const {
    if (fields.size() != columns.n_fields) {
      FailWithLine(AtLine(number) + "the row has " + std::to_string(fields.size()) +
                   " fields; the header row has " + std::to_string(columns.n_fields) + ".");
    }
    ParameterSampleRow row;
    const std::string_view gen = fields[columns.generation];
    const auto [end, error] = std::from_chars(gen.data(), gen.data() + gen.size(), row.generation);
    if (error != std::errc() || end != gen.data() + gen.size() || row.generation < 0) {
      FailWithLine(AtLine(number) + "the generation " + Quoted(gen) + " is not a whole number.");
    }
    row.log_likelihood = Value(fields[columns.log_likelihood], "lnl", number);
    row.parameters = UnitParams();
    for (std::size_t i = 0; i < model_.rows.size(); ++i) {
      if (columns.of_row[i] < 0) continue;
      const ExpectedRow& expected = model_.rows[i];
      const std::string_view text = fields[static_cast<std::size_t>(columns.of_row[i])];
      const double value = Value(text, expected.name, number);
      const std::string problem = ValueProblem(expected.kind, value);
      if (!problem.empty()) {
        FailWithLine(AtLine(number) + "the value " + Quoted(text) + " of " + Quoted(expected.name) +
                     " " + problem + ".");
      }
      At(row.parameters, expected.field) = value;
      if (expected.second) At(row.parameters, *expected.second) = value;
    }
    for (const FrequencyGroup& group : model_.frequencies) {
      if (const std::optional<double> sum = FrequencySumProblem(row.parameters, group)) {
        char shown[32];
        std::snprintf(shown, sizeof shown, "%.6g", *sum);
        FailWithLine(AtLine(number) + "the frequencies of the generation " +
                     std::to_string(row.generation) + " sum to " + shown +
                     "; they must sum to 1 (within 0.001).");
      }
    }
    return row;
  }

  double Value(std::string_view text, std::string_view column, int number) const {
    const std::optional<double> value = ParseNumber(text);
    if (!value) {
      FailWithLine(AtLine(number) + "the value " + Quoted(text) + " of the column " +
                   Quoted(column) + " is not a number.");
    }
    return *value;
  }

  std::optional<std::size_t> RowNamed(std::string_view name) const {
    for (std::size_t i = 0; i < model_.rows.size(); ++i) {
      if (model_.rows[i].name == name) return i;
    }
    return std::nullopt;
  }

  std::string where_;
  ParameterModel model_;
};

}  // namespace

bool IsParameterSample(std::string_view text) {
  Lines lines(text);
  std::string_view line;
  int number = 0;
  if (!lines.Next(&line, &number)) return false;
  const std::vector<std::string_view> fields = TabFields(line);
  return fields.size() >= 2 && fields[0] == "gen" && fields[1] == "lnl";
}

std::vector<ParameterSampleRow> ReadParameterSample(std::string_view text,
                                                    const std::string& file_name,
                                                    bool isStructure) {
  return SampleReader(file_name, isStructure).Read(text);
}
