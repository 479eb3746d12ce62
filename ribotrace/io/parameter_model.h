// The parameters of the stem and loop models as MrBayes names them: the
// rows of its parameter summary (.pstat) and the columns of its sampled
// parameters (.p), which both readers match by name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/model_params.h"

enum class RowKind { kRate, kFrequency, kShape, kMultiplier };

// One row of the table the model reads: the parameter it fills, what it
// must be, and its name as MrBayes writes it (lower-cased, as the text is
// read). Optional rows (the gamma shapes, the partitions' rate multipliers
// of ratepr=variable) may be absent; alpha{all}, the one
// shape of partitions that share it, fills a second parameter.
struct ExpectedRow {
  ParamField field;
  RowKind kind;
  std::string name;
  bool optional = false;
  std::optional<ParamField> second = std::nullopt;
};

// Rows whose values form one distribution: their sum must be 1.
struct FrequencyGroup {
  ParamGroup group;
};

struct ParameterModel {
  std::vector<ExpectedRow> rows;
  std::vector<FrequencyGroup> frequencies;
  std::string description;           // the required rows, for messages
  std::string optional_description;  // the optional ones
};

// The rows (columns) of the stem/loop model, or of the single GTR model of
// an alignment without structure.
ParameterModel ExpectedModel(bool isStructure);

// Rows that the table may hold before its header.
bool IsRateOrFrequencyName(std::string_view name);

// The tree length (TL, TL{all}) sums the branch lengths of the tree, which
// come from the tree file: the one parameter beside the model's own that is
// passed over. Every other one is a parameter of the model (pinvar, kappa,
// a rate multiplier m{1}, ...), and a model that ribotrace does not compute
// would give silently wrong results.
bool IsTreeLengthName(std::string_view name);

// A number as MrBayes prints it (a leading '+' allowed); nullopt otherwise.
std::optional<double> ParseNumber(std::string_view text);

// What is wrong with `value` for a parameter of this kind, for a message
// that goes on "the exchange rate 'r(a<->c){1}' ...": "" when nothing is.
// Not finite; a negative rate; a frequency outside (0, 1]; a shape that is
// not positive.
std::string ValueProblem(RowKind kind, double value);

// The sum of a frequency group's values when it misses 1 by more than
// MrBayes's rounding of printed values explains; nullopt when it is fine.
std::optional<double> FrequencySumProblem(const ModelParams& parameters,
                                          const FrequencyGroup& group);
