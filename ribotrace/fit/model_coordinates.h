// The model's parameters as the fit's searches see them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "model/model_params.h"

// One model parameter as the optimiser sees it: a bounded coordinate
// (logs of ratios, so that any value in the bounds is a valid model) and
// the partition whose likelihood it changes (both for the stems' rate
// relative to the loops').
struct Coordinate {
  std::string name;
  enum { kStem, kLoop, kBoth } partition;
  double lo, hi;
  std::function<double(const ModelParams&)> get;
  std::function<void(ModelParams&, double)> set;
};

// With one partition, a scale on its rate is a scale on the whole tree:
// no parameter of the model (the fit folds it into the lengths after each
// round), but it lets the search move the tree's length with the gamma
// shape that trades with it, which the branch-length passes alone do only
// over many rounds.
inline constexpr char kTreeScale[] = "tree scale";

struct CoordinateChoice {
  bool stems = false, loops = false;   // the partitions the alignment has
  bool gamma = false;                  // a gamma shape per partition
  bool empirical_frequencies = false;  // frequencies counted, not searched
  double stem_share = 0.0;             // the stems' share of the nucleotides
  // The state to whose frequency the others' are searched as log ratios:
  // best the most frequent. Against a rare one, whose frequency the data
  // barely fix, every ratio moves with it, and a search one coordinate at
  // a time crawls along that ridge: with the rare doublet UU as reference
  // a simulated fit took over 100 rounds.
  std::size_t stem_reference = 15, loop_reference = 3;
};

// The stems' coordinates, then the loops', then (with both) the stems'
// rate relative to the loops'.
std::vector<Coordinate> ModelCoordinates(const CoordinateChoice& choice);
