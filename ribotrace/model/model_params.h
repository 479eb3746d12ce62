// The parameters of the stem and loop substitution models as one value: what
// MrBayes's summary (.pstat) or one row of its sample (.p) gives, and what a
// maximum-likelihood fit estimates. A plain value, so several parameter sets
// can be live at once (an optimiser's trial point beside its best one).
#pragma once

#include <array>
#include <vector>

// The 16-state doublet model of stem pairs: six exchange rates in the order
// AC AG AU CG CU GU, the 16 doublet frequencies in doublet index order
// (4 x first + second, nucleotides A C G U), and the gamma shape of the
// stems' site rates (0 where the rates are equal across sites).
struct StemParams {
  std::array<double, 6> rates{};
  std::array<double, 16> frequencies{};
  double alpha = 0.0;
  bool operator==(const StemParams&) const = default;
};

// The 4-state GTR model of loop columns, likewise.
struct LoopParams {
  std::array<double, 6> rates{};
  std::array<double, 4> frequencies{};
  double alpha = 0.0;
  bool operator==(const LoopParams&) const = default;
};

struct ModelParams {
  StemParams stem;
  LoopParams loop;
  // Relative rates of the two partitions (MrBayes's m{1} and m{2} under
  // ratepr=variable): branch lengths are multiplied by them. 1 where the
  // partitions share one rate.
  double stem_rate = 1.0;
  double loop_rate = 1.0;
  bool operator==(const ModelParams&) const = default;
};

// True when some partition's site rates follow a gamma distribution.
inline bool HasGammaRates(const ModelParams& params) {
  return params.stem.alpha > 0.0 || params.loop.alpha > 0.0;
}

// One parameter of the model, as a reader fills it from a named row or
// column: a group and the place in it.
enum class ParamGroup {
  kStemRates,
  kLoopRates,
  kDoubletFrequencies,
  kLoopFrequencies,
  kStemAlpha,
  kLoopAlpha,
  kStemRate,  // the partitions' relative rates
  kLoopRate,
};

struct ParamField {
  ParamGroup group;
  int index = 0;
};

double& At(ModelParams& params, ParamField field);
double At(const ModelParams& params, ParamField field);

// The size of a group: 6 rates, 16 or 4 frequencies, one shape or rate.
int GroupSize(ParamGroup group);

// Every value at 1 but the shapes (0: equal rates), which is where a reader
// starts: a model without stems leaves the stem model at these values.
ModelParams UnitParams();

// The model's parameters one after another: stem rates, loop rates,
// doublet frequencies, loop frequencies, the two shapes, the two partition
// rates (the order in which
// the convergence figures walk them).
std::vector<ParamField> AllFields();
std::vector<double> AllValues(const ModelParams& params);
