// The parameters of the stem and loop substitution models as one value: what
// MrBayes's summary (.pstat) or one row of its sample (.p) gives, and what a
// maximum-likelihood fit estimates. A plain value, so several parameter sets
// can be live at once (an optimiser's trial point beside its best one).
#pragma once

#include <array>

// The 16-state doublet model of stem pairs: six exchange rates in the order
// AC AG AU CG CU GU, the 16 doublet frequencies in doublet index order
// (4 x first + second, nucleotides A C G U), and the gamma shape of the
// stems' site rates (0 where the rates are equal across sites).
struct StemParams {
  std::array<double, 6> rates{};
  std::array<double, 16> frequencies{};
  double alpha = 0.0;
};

// The 4-state GTR model of loop columns, likewise.
struct LoopParams {
  std::array<double, 6> rates{};
  std::array<double, 4> frequencies{};
  double alpha = 0.0;
};

struct ModelParams {
  StemParams stem;
  LoopParams loop;
  // Relative rates of the two partitions (MrBayes's m{1} and m{2} under
  // ratepr=variable): branch lengths are multiplied by them. 1 where the
  // partitions share one rate.
  double stem_rate = 1.0;
  double loop_rate = 1.0;

  // True when some partition's site rates follow a gamma distribution.
  bool HasGammaRates() const { return stem.alpha > 0.0 || loop.alpha > 0.0; }
};
