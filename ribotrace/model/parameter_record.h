// The substitution parameters that MrBayes estimated, in 34 slots:
//   0-5    stem exchange rates   AC AG AU CG CU GU
//   6-11   loop exchange rates   AC AG AU CG CU GU
//   12-27  doublet frequencies   AA AC ... UU (doublet index order)
//   28-31  loop base frequencies A C G U
//   32-33  gamma shapes (alpha) of the stem and loop site rates; 0 where
//          the rates are equal across sites (no rates=gamma)
#pragma once

#include <array>

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
