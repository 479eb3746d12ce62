// The alignment as ribotrace holds it: state-set codes, one row per taxon.
// Every stage reads it; only the loading in io/ fills it.
#pragma once

#include <cstddef>
#include <vector>

#include "alignment/alignment_reader.h"

struct Alignment {
  int n_taxa = 0;
  int n_sites = 0;
  std::vector<int> structure;    // per column: 1 opening, -1 closing, 0 unpaired
  std::vector<TaxonName> Names;  // file order
  std::vector<int> dmatrix;      // n_taxa x n_sites state-set codes, taxon-major

  int Code(int taxon, int site) const {
    return dmatrix[static_cast<std::size_t>(taxon) * n_sites + site];
  }
};
