#include "inference/gap_draws.h"

#include <cmath>

#include "base/random_source.h"
#include "sequence/state_coding.h"

TreeGapDraws::TreeGapDraws(const GapReconstruction& gaps, double hidden_length)
    : posteriors_(gaps.posteriors) {
  const GapCharacters& characters = gaps.characters;
  const double decay = std::exp(-gaps.fit.rate * hidden_length);
  for (std::size_t k = 0; k < characters.size(); ++k) {
    const double pi = characters.absence_frequency[k];
    if (!(pi > 0.0)) continue;
    const std::array<double, 4> p = GapTransitionMatrix(pi, decay);
    // Under insertions and deletions the hidden branch can only delete:
    // a character inserted there would be another homology.
    const std::array<double, 2> after_hidden =
        gaps.indel ? std::array{-std::expm1(-gaps.indel->deletion * hidden_length), 1.0}
                   : std::array{p[kGapAbsent], p[2 + kGapAbsent]};
    drawn_.push_back({k, characters.first_column[k], characters.second_column[k], after_hidden});
  }
}

void TreeGapDraws::Apply(const NodeStruct& node, bool hidden, std::int32_t state,
                         int* codes) const {
  const double* p_gap = posteriors_.OfNode(node);
  for (const Drawn& drawn : drawn_) {
    bool absent = p_gap[drawn.character] > DrawUniform(&state);
    if (hidden) absent = drawn.absent_after_hidden[absent ? 1 : 0] > DrawUniform(&state);
    if (!absent) continue;
    codes[drawn.first_column] = kGapCode;
    if (drawn.second_column >= 0) codes[drawn.second_column] = kGapCode;
  }
}
