#include "inference/likelihood_blocks.h"

#include <cstdio>

BlockLayout::BlockLayout(const std::vector<int>& structure) : offsets_{0} {
  for (std::size_t c = 0; c < structure.size(); ++c) {
    if (!OwnsBlock(structure[c])) continue;
    columns_.push_back(static_cast<int>(c));
    offsets_.push_back(offsets_.back() + BlockEntries(structure[c]));
  }
}

void PrintBlock(const double* entries, std::size_t n) {
  constexpr int kListedEntries = 20;
  constexpr int kFirstNucleotide = 16;
  const int first = n == 16 ? 0 : kFirstNucleotide;
  for (int i = 0; i < kListedEntries; ++i) {
    const bool own = i >= first && i < first + static_cast<int>(n);
    std::printf("%lf ", own ? entries[i - first] : 0.0);
    if (i % 4 == 3 && i < kFirstNucleotide) std::printf("\n\t\t");
  }
  std::printf("\n");
}
