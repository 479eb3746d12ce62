#include "parameter_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace sim {
namespace {

// MrBayes writes T for U, and A B C D for A C G U in doublet names.
const char* const kExchangeNames[6] = {"A<->C", "A<->G", "A<->T", "C<->G", "C<->T", "G<->T"};
const char* const kNucleotideNames = "ACGT";
const char* const kDoubletLetters = "ABCD";

struct Row {
  std::string name;
  double* slot;
  bool required;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::vector<Row> ModelRows(ModelParameters& model, bool has_stems) {
  std::vector<Row> rows;
  auto partition = [&](PartitionParameters& part, const std::string& tag, bool doublet) {
    for (int i = 0; i < 6; ++i)
      rows.push_back({std::string("r(") + kExchangeNames[i] + ")" + tag, &part.exchange[i], true});
    part.frequencies.resize(doublet ? 16 : 4);  // keeps the values of a full model
    for (int s = 0; s < (doublet ? 16 : 4); ++s) {
      const std::string state = doublet
                                    ? std::string{kDoubletLetters[s / 4], kDoubletLetters[s % 4]}
                                    : std::string{kNucleotideNames[s]};
      rows.push_back({"pi(" + state + ")" + tag, &part.frequencies[s], true});
    }
  };
  if (!has_stems) {
    partition(model.loops, "", false);
    rows.push_back({"alpha", &model.loops.alpha, false});
    return rows;
  }
  partition(model.stems, "{1}", true);
  partition(model.loops, "{2}", false);
  rows.push_back({"alpha{1}", &model.stems.alpha, false});
  rows.push_back({"alpha{2}", &model.loops.alpha, false});
  rows.push_back({"m{1}", &model.stems.multiplier, false});
  rows.push_back({"m{2}", &model.loops.multiplier, false});
  return rows;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; in >> field;) fields.push_back(field);
  return fields;
}

}  // namespace

ModelParameters ReadParameterTable(const std::string& path, bool has_stems) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open parameter file '" + path + "'");
  ModelParameters model;
  const std::vector<Row> rows = ModelRows(model, has_stems);
  std::map<std::string, double> values;
  int mean_column = -1;
  int line_number = 0;
  for (std::string line; std::getline(in, line);) {
    ++line_number;
    const std::vector<std::string> fields = Fields(line);
    if (fields.empty() || fields[0][0] == '[') continue;
    if (mean_column < 0) {
      const auto mean = std::find(fields.begin(), fields.end(), "Mean");
      if (fields[0] != "Parameter" || mean == fields.end()) {
        throw std::runtime_error(path + ":" + std::to_string(line_number) +
                                 ": expected the header 'Parameter Mean ...'");
      }
      mean_column = static_cast<int>(mean - fields.begin());
      continue;
    }
    if (static_cast<int>(fields.size()) <= mean_column) {
      throw std::runtime_error(path + ":" + std::to_string(line_number) +
                               ": row without a Mean value");
    }
    std::size_t used = 0;
    double mean = 0.0;
    try {
      mean = std::stod(fields[mean_column], &used);
    } catch (const std::exception&) {
    }
    if (used != fields[mean_column].size() || !std::isfinite(mean)) {
      throw std::runtime_error(path + ":" + std::to_string(line_number) + ": the Mean of '" +
                               fields[0] + "' is not a number");
    }
    values[Lower(fields[0])] = mean;
  }
  for (const Row& row : rows) {
    const auto found = values.find(Lower(row.name));
    if (found != values.end()) {
      *row.slot = found->second;
    } else if (row.required) {
      throw std::runtime_error(path + ": no row '" + row.name + "'");
    }
  }
  if (const auto shared = values.find("alpha{all}"); shared != values.end()) {
    model.stems.alpha = model.loops.alpha = shared->second;
  }
  model.has_multipliers = values.count("m{1}") > 0 || values.count("m{2}") > 0;
  // Printed means miss 1 by rounding; the stationary draws need the exact sum.
  for (PartitionParameters* part : {&model.stems, &model.loops}) {
    double sum = 0.0;
    for (double p : part->frequencies) sum += p;
    for (double& p : part->frequencies) p /= sum;
  }
  return model;
}

std::string WriteParameterTable(const ModelParameters& model, bool has_stems, double tree_length) {
  ModelParameters copy = model;
  // The model depends on the exchangeabilities' ratios only; MrBayes prints
  // them summing to 1.
  for (PartitionParameters* part : {&copy.stems, &copy.loops}) {
    double sum = 0.0;
    for (double r : part->exchange) sum += r;
    for (double& r : part->exchange) r /= sum;
  }
  const std::vector<Row> rows = ModelRows(copy, has_stems);
  std::string out = "[ID: simulated]\nParameter\tMean\tVariance\tLower\tUpper\tMedian\tESS\n";
  auto row = [&out](const std::string& name, double value) {
    char line[200];
    std::snprintf(line, sizeof line, "%s\t%.9e\t0\t%.9e\t%.9e\t%.9e\t1000\n", name.c_str(), value,
                  value, value, value);
    out += line;
  };
  row(has_stems ? "TL{all}" : "TL", tree_length);
  for (const Row& r : rows) {
    const bool is_alpha = r.name.rfind("alpha", 0) == 0;
    const bool is_multiplier = r.name.rfind("m{", 0) == 0;
    if ((is_alpha && *r.slot <= 0.0) || (is_multiplier && !model.has_multipliers)) continue;
    row(r.name, *r.slot);
  }
  return out;
}

}  // namespace sim
