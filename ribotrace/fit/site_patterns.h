// The alignment reduced to its distinct site patterns, each with the number
// of sites it stands for: a likelihood is computed once per pattern, which
// is what makes a fit over hundreds of taxa affordable. Stem pairs and loop
// columns are kept apart, since they evolve under different models.
#pragma once

#include <vector>

#include "base/alignment.h"

struct SitePatterns {
  int n_states = 0;  // 16 for stem pairs, 4 for loop columns
  int n_taxa = 0;
  // Per pattern, per taxon (pattern-major), the tip's n_states entries:
  // 1 for each state its characters allow, 0 for the others.
  std::vector<double> tips;
  std::vector<double> weights;  // sites per pattern

  int size() const { return static_cast<int>(weights.size()); }
  const double* Tip(int pattern, int taxon) const {
    return tips.data() + (static_cast<std::size_t>(pattern) * n_taxa + taxon) * n_states;
  }
};

// The patterns of the stem pairs (each opening column with its partner,
// ambiguity codes read as the doublets they allow, as MrBayes does) and of
// the loop columns. Patterns appear in order of first occurrence.
SitePatterns StemPatterns(const Alignment& alignment);
SitePatterns LoopPatterns(const Alignment& alignment);
