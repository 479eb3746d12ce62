#include "model/model_params.h"

#include <algorithm>

namespace {

template <typename Params>
auto* GroupStart(Params& params, ParamGroup group) {
  switch (group) {
    case ParamGroup::kStemRates:
      return params.stem.rates.data();
    case ParamGroup::kLoopRates:
      return params.loop.rates.data();
    case ParamGroup::kDoubletFrequencies:
      return params.stem.frequencies.data();
    case ParamGroup::kLoopFrequencies:
      return params.loop.frequencies.data();
    case ParamGroup::kStemAlpha:
      return &params.stem.alpha;
    case ParamGroup::kLoopAlpha:
      return &params.loop.alpha;
    case ParamGroup::kStemRate:
      return &params.stem_rate;
    case ParamGroup::kLoopRate:
      return &params.loop_rate;
  }
  return static_cast<decltype(&params.stem.alpha)>(nullptr);
}

}  // namespace

double& At(ModelParams& params, ParamField field) {
  return GroupStart(params, field.group)[field.index];
}

double At(const ModelParams& params, ParamField field) {
  return GroupStart(params, field.group)[field.index];
}

int GroupSize(ParamGroup group) {
  switch (group) {
    case ParamGroup::kStemRates:
    case ParamGroup::kLoopRates:
      return 6;
    case ParamGroup::kDoubletFrequencies:
      return 16;
    case ParamGroup::kLoopFrequencies:
      return 4;
    case ParamGroup::kStemAlpha:
    case ParamGroup::kLoopAlpha:
    case ParamGroup::kStemRate:
    case ParamGroup::kLoopRate:
      return 1;
  }
  return 0;
}

ModelParams UnitParams() {
  ModelParams params;
  params.stem.rates.fill(1.0);
  params.loop.rates.fill(1.0);
  params.stem.frequencies.fill(1.0);
  params.loop.frequencies.fill(1.0);
  return params;
}

std::vector<ParamField> AllFields() {
  std::vector<ParamField> fields;
  for (const ParamGroup group :
       {ParamGroup::kStemRates, ParamGroup::kLoopRates, ParamGroup::kDoubletFrequencies,
        ParamGroup::kLoopFrequencies, ParamGroup::kStemAlpha, ParamGroup::kLoopAlpha,
        ParamGroup::kStemRate, ParamGroup::kLoopRate}) {
    for (int i = 0; i < GroupSize(group); ++i) fields.push_back({group, i});
  }
  return fields;
}

std::vector<double> AllValues(const ModelParams& params) {
  std::vector<double> values;
  for (const ParamField field : AllFields()) values.push_back(At(params, field));
  return values;
}
