#include "inference/node_posteriors.h"

#include <algorithm>
#include <cmath>

#include "inference/likelihood_blocks.h"
#include "sequence/state_coding.h"

PosteriorLayout::PosteriorLayout(const std::vector<int>& structure,
                                 const std::vector<SiteRecord>& SS)
    : offsets_(structure.size()), partners_(structure.size(), -1) {
  std::size_t offset = 0;
  for (std::size_t c = 0; c < structure.size(); ++c) {
    if (structure[c] == kOpeningColumn) {
      const auto partner = static_cast<std::size_t>(SS[c].partner);
      partners_[c] = SS[c].partner;
      partners_[partner] = static_cast<int>(c);
      offsets_[c] = offsets_[partner] = offset;
    } else if (structure[c] == kLoopColumn) {
      offsets_[c] = offset;
    }
    offset += OwnsBlock(structure[c]) ? BlockEntries(structure[c]) : 0;
  }
}

std::span<const double, 16> NodePosteriors::Doublets(std::size_t column) const {
  return std::span<const double, 16>(probabilities_ + layout_.Offset(column), 16);
}

std::span<const double, 4> NodePosteriors::Nucleotides(std::size_t column) const {
  return std::span<const double, 4>(probabilities_ + layout_.Offset(column), 4);
}

std::array<double, 4> NucleotideMarginals(const NodePosteriors& posteriors, std::size_t column) {
  const PosteriorLayout& layout = posteriors.layout();
  std::array<double, 4> marginals{};
  if (!layout.IsStem(column)) {
    const std::span<const double, 4> own = posteriors.Nucleotides(column);
    std::copy(own.begin(), own.end(), marginals.begin());
    return marginals;
  }
  const std::span<const double, 16> doublets = posteriors.Doublets(column);
  const bool five_prime = layout.IsOpening(column);
  for (int d = 0; d < kNumDoublets; ++d) {
    marginals[static_cast<std::size_t>(five_prime ? d / 4 : d % 4)] +=
        doublets[static_cast<std::size_t>(d)];
  }
  return marginals;
}

int MostProbable(std::span<const double> probabilities) {
  int best = -1;
  for (std::size_t i = 0; i < probabilities.size(); ++i) {
    const double p = probabilities[i];
    if (!(p > 0.0) || !std::isfinite(p)) continue;
    if (best < 0 || p > probabilities[static_cast<std::size_t>(best)]) best = static_cast<int>(i);
  }
  return best;
}

void MostProbableSequence(const NodePosteriors& posteriors, std::span<int> states) {
  const PosteriorLayout& layout = posteriors.layout();
  for (std::size_t c = 0; c < layout.n_sites(); ++c) {
    if (!layout.IsStem(c)) {
      states[c] = MostProbable(posteriors.Nucleotides(c));
    } else if (layout.IsOpening(c)) {
      const int doublet = MostProbable(posteriors.Doublets(c));
      const auto partner = static_cast<std::size_t>(layout.Partner(c));
      states[c] = states[partner] = -1;
      GetDoubletMembers(states[c], states[partner], doublet);
    }
  }
}
