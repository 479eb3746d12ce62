#include "sequence/helices.h"

#include <cstddef>

#include "sequence/state_coding.h"

std::vector<Helix> FindHelices(std::span<const int> partners) {
  std::vector<Helix> helices;
  const int n = static_cast<int>(partners.size());
  for (int c = 0; c < n; ++c) {
    const int partner = partners[static_cast<std::size_t>(c)];
    if (partner <= c) continue;
    // (c, partner) continues the last helix when it stacks on its last pair.
    if (!helices.empty()) {
      Helix& last = helices.back();
      if (last.first5 + last.n_pairs == c && last.last3 - last.n_pairs == partner) {
        ++last.n_pairs;
        continue;
      }
    }
    helices.push_back({c, partner, 1});
  }
  return helices;
}

CanonicalPairCounter::CanonicalPairCounter(const std::vector<Helix>& helices)
    : tallies_(helices.size()) {
  for (std::size_t h = 0; h < helices.size(); ++h) {
    for (int k = 0; k < helices[h].n_pairs; ++k) {
      pairs_.push_back({helices[h].first5 + k, helices[h].last3 - k, static_cast<int>(h)});
    }
  }
}

void CanonicalPairCounter::AddRow(std::span<const int> codes) {
  for (const Pair& pair : pairs_) {
    const int a = codes[static_cast<std::size_t>(pair.five)];
    const int b = codes[static_cast<std::size_t>(pair.three)];
    if (a < 0 || a > 3 || b < 0 || b > 3) continue;
    PairTally& tally = tallies_[static_cast<std::size_t>(pair.helix)];
    ++tally.compared;
    tally.canonical += static_cast<std::uint64_t>(IsCanonicalDoublet(a, b));
  }
}

void CanonicalPairCounter::Merge(const CanonicalPairCounter& other) {
  for (std::size_t h = 0; h < tallies_.size() && h < other.tallies_.size(); ++h) {
    tallies_[h].canonical += other.tallies_[h].canonical;
    tallies_[h].compared += other.tallies_[h].compared;
  }
}
