// The substitution parameters that MrBayes estimated, in 34 slots:
//   0-5    stem exchange rates   AC AG AU CG CU GU
//   6-11   loop exchange rates   AC AG AU CG CU GU
//   12-27  doublet frequencies   AA AC ... UU (doublet index order)
//   28-31  loop base frequencies A C G U
//   32-33  gamma shapes (alpha) of the stem and loop site rates; 0 where
//          the rates are equal across sites (no rates=gamma)
#pragma once

#include <algorithm>
#include <array>

#include "model/model_params.h"

using ParameterRecord = std::array<double, 34>;

constexpr int kStemRatesSlot = 0;
constexpr int kLoopRatesSlot = 6;
constexpr int kDoubletFrequenciesSlot = 12;
constexpr int kLoopFrequenciesSlot = 28;
constexpr int kStemAlphaSlot = 32;
constexpr int kLoopAlphaSlot = 33;

// True when some partition's site rates follow a gamma distribution.
inline bool HasGammaRates(const ParameterRecord& parameters) {
  return parameters[kStemAlphaSlot] > 0.0 || parameters[kLoopAlphaSlot] > 0.0;
}

// The record's values as the model's value.
inline ModelParams ToModelParams(const ParameterRecord& parameters) {
  ModelParams model;
  const auto copy = [&](int slot, auto& into) {
    std::copy_n(parameters.begin() + slot, into.size(), into.begin());
  };
  copy(kStemRatesSlot, model.stem.rates);
  copy(kLoopRatesSlot, model.loop.rates);
  copy(kDoubletFrequenciesSlot, model.stem.frequencies);
  copy(kLoopFrequenciesSlot, model.loop.frequencies);
  model.stem.alpha = parameters[kStemAlphaSlot];
  model.loop.alpha = parameters[kLoopAlphaSlot];
  return model;
}
