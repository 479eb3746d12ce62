// The alignment as ribotrace holds it: state-set codes, one row per taxon.
#pragma once

#include <cstddef>
#include <string>
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

// Longest taxon name ribotrace keeps (its name field holds 99 characters).
constexpr std::size_t kMaxTaxonNameLength = 99;

// Reading pass into an alignment whose buffers the driver allocated: the structure, the names and the
// sequences, upper-cased and coded. Echoes the file when diagnostics are on.
void ReadDataFile(const std::string& file_name, Alignment& alignment);
