#include "io/parameter_model.h"

#include <array>
#include <charconv>
#include <cmath>

namespace {

constexpr std::array<const char*, 6> kRatePairs = {"a<->c", "a<->g", "a<->t",
                                                   "c<->g", "c<->t", "g<->t"};
constexpr std::string_view kBases = "acgt";
// MrBayes names the doublet states with A B C D for A C G U.
constexpr std::string_view kDoubletLetters = "abcd";
// MrBayes prints means with seven significant digits; frequencies that miss
// 1 by more than rounding can explain come from a damaged or edited file.
constexpr double kFrequencySumTolerance = 1e-3;

}  // namespace

ParameterModel ExpectedModel(bool isStructure) {
  ParameterModel model;
  std::vector<ExpectedRow>& rows = model.rows;
  if (!isStructure) {
    // A single 4 x 4 model: its rates and frequencies go where the loop
    // model reads them.
    for (int i = 0; i < 6; ++i) {
      rows.push_back(
          {{ParamGroup::kLoopRates, i}, RowKind::kRate, std::string("r(") + kRatePairs[i] + ")"});
    }
    for (int i = 0; i < 4; ++i) {
      rows.push_back({{ParamGroup::kLoopFrequencies, i},
                      RowKind::kFrequency,
                      std::string("pi(") + kBases[i] + ")"});
    }
    rows.push_back({{ParamGroup::kLoopAlpha}, RowKind::kShape, "alpha", true});
    model.frequencies = {{ParamGroup::kLoopFrequencies}};
    model.description = "r(a<->c) ... r(g<->t) and pi(a) ... pi(t)";
    model.optional_description = "alpha";
    return model;
  }
  for (const int partition : {1, 2}) {
    const ParamGroup group = partition == 1 ? ParamGroup::kStemRates : ParamGroup::kLoopRates;
    for (int i = 0; i < 6; ++i) {
      rows.push_back({{group, i},
                      RowKind::kRate,
                      std::string("r(") + kRatePairs[i] + "){" + std::to_string(partition) + "}"});
    }
  }
  for (int i = 0; i < 16; ++i) {
    rows.push_back({{ParamGroup::kDoubletFrequencies, i},
                    RowKind::kFrequency,
                    std::string("pi(") + kDoubletLetters[i / 4] + kDoubletLetters[i % 4] + "){1}"});
  }
  for (int i = 0; i < 4; ++i) {
    rows.push_back({{ParamGroup::kLoopFrequencies, i},
                    RowKind::kFrequency,
                    std::string("pi(") + kBases[i] + "){2}"});
  }
  rows.push_back({{ParamGroup::kStemAlpha}, RowKind::kShape, "alpha{1}", true});
  rows.push_back({{ParamGroup::kLoopAlpha}, RowKind::kShape, "alpha{2}", true});
  rows.push_back({{ParamGroup::kStemAlpha},
                  RowKind::kShape,
                  "alpha{all}",
                  true,
                  ParamField{ParamGroup::kLoopAlpha}});
  rows.push_back({{ParamGroup::kStemRate}, RowKind::kMultiplier, "m{1}", true});
  rows.push_back({{ParamGroup::kLoopRate}, RowKind::kMultiplier, "m{2}", true});
  model.frequencies = {{ParamGroup::kDoubletFrequencies}, {ParamGroup::kLoopFrequencies}};
  model.description =
      "r(a<->c){1} ... r(g<->t){2}, pi(aa){1} ... pi(dd){1} and pi(a){2} ... pi(t){2}";
  model.optional_description = "alpha{1}, alpha{2} or alpha{all}";
  return model;
}

bool IsRateOrFrequencyName(std::string_view name) {
  return name.starts_with("r(") || name.starts_with("pi(");
}

bool IsTreeLengthName(std::string_view name) { return name == "tl" || name.starts_with("tl{"); }

std::optional<double> ParseNumber(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string ValueProblem(RowKind kind, double value) {
  if (!std::isfinite(value)) return "is not finite";
  if (kind == RowKind::kRate && value < 0.0) return "is negative";
  // A state of frequency 0 makes data that hold it impossible, and the
  // run would fail late, while drawing; MrBayes never estimates 0.
  if (kind == RowKind::kFrequency && !(value > 0.0 && value <= 1.0)) return "lies outside (0, 1]";
  // A shape of 0 would put every site at rate 0 but one category.
  if ((kind == RowKind::kShape || kind == RowKind::kMultiplier) && !(value > 0.0)) {
    return "is not positive";
  }
  return "";
}

std::optional<double> FrequencySumProblem(const ModelParams& parameters,
                                          const FrequencyGroup& group) {
  double sum = 0.0;
  for (int k = 0; k < GroupSize(group.group); ++k) sum += At(parameters, {group.group, k});
  if (std::fabs(sum - 1.0) <= kFrequencySumTolerance) return std::nullopt;
  return sum;
}
