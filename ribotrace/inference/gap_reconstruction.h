// The gaps reconstructed on the tree: the presence/absence characters of
// the alignment, the one rate of their model fitted by maximum likelihood
// for the whole alignment, and every interior node's absence posteriors at
// that rate.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "base/alignment.h"
#include "inference/gap_characters.h"
#include "inference/gap_posteriors.h"
#include "inference/indel_gaps.h"
#include "sequence/stems_and_loops.h"
#include "tree/node_struct.h"

// The range of the rate search.
constexpr double kMinGapRate = 1e-6;
constexpr double kMaxGapRate = 1e6;

enum class GapRateStatus {
  kFitted,
  // The likelihood is as high at the upper end of the range as anywhere:
  // gaps that look independent of the tree. The rate is that end, where
  // every node's absence posterior is close to the character's absence
  // frequency.
  kAtBound,
  // No character is absent in some taxa and present in others: the rate
  // changes nothing and is reported as 0.
  kNoVariableCharacter,
};

struct GapRateFit {
  double rate = 0.0;
  double log_likelihood = 0.0;
  GapRateStatus status = GapRateStatus::kFitted;
};

// The maximum-likelihood rate: the log-likelihood at every half decade of
// the range, then a golden-section search on log rate between the two
// neighbours of the best of them, to a relative precision of 1e-6. The
// likelihood being 0 at every rate (taxa that differ in a gap joined by
// branches of length 0) is fatal.
GapRateFit FitGapRate(const std::vector<NodeStruct*>& down_pass, const GapCharacters& characters);

struct GapReconstruction {
  // The probability that the column is absent at the node: a stem
  // column's is its pair's.
  double PGap(const NodeStruct& node, std::size_t column) const {
    return posteriors.OfNode(node)[characters.of_column[column]];
  }

  GapCharacters characters;
  GapRateFit fit;                   // the two-state model's rate
  std::optional<IndelRates> indel;  // the indel process's rates, instead
  GapPosteriors posteriors;
};

// The characters, the fit and the posteriors under `model`; prints the
// rates with `listing`.
GapReconstruction ReconstructGaps(const std::vector<NodeStruct*>& down_pass,
                                  const Alignment& alignment, const std::vector<SiteRecord>& SS,
                                  GapModel model, bool listing = false);
