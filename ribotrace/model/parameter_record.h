// The substitution parameters that MrBayes estimated, in 32 slots:
//   0-5    stem exchange rates   AC AG AU CG CU GU
//   6-11   loop exchange rates   AC AG AU CG CU GU
//   12-27  doublet frequencies   AA AC ... UU (doublet index order)
//   28-31  loop base frequencies A C G U
#pragma once

#include <array>

using ParameterRecord = std::array<double, 32>;

constexpr int kStemRatesSlot = 0;
constexpr int kLoopRatesSlot = 6;
constexpr int kDoubletFrequenciesSlot = 12;
constexpr int kLoopFrequenciesSlot = 28;
