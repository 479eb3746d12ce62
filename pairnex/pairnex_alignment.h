// The alignment as pairnex holds it: the input characters themselves,
// upper-cased, because they go unchanged into the NEXUS matrix.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "alignment/alignment_reader.h"

namespace pairnex {

// Longest taxon name pairnex keeps (its name field holds 151 characters).
// MrBayes stops at 99 characters, and so does ribotrace: a longer name
// must fail here, not after the MrBayes run.
constexpr std::size_t kMaxTaxonNameLength = 99;

// One alignment column; partner is the paired column, or -1 in a loop.
struct SiteRecord {
  int site = 0;
  int paired = 0;
  int partner = -1;
};

struct PairnexAlignment {
  int n_taxa = 0;
  int n_sites = 0;
  std::vector<int> structure;            // per column: 1 opening, -1 closing, 0 unpaired
  std::vector<TaxonName> Names;          // file order, as the data file gives them
  std::vector<std::string> nexus_names;  // by taxon number: the names MrBayes reads
  std::vector<SiteRecord> SS;            // one record per column
  std::string dmatrix;                   // n_taxa x n_sites upper-cased characters, taxon-major
  bool isStructure = false;              // at least one stem pair

  char At(int taxon, int site) const {
    return dmatrix[static_cast<std::size_t>(taxon) * n_sites + site];
  }
};

// Fills an alignment whose buffers ConvertFile allocated from what the
// reader loaded: the structure, the names with their NEXUS forms, and the
// sequences, upper-cased and otherwise as read.
void TakeRawAlignment(RawAlignment raw, PairnexAlignment& alignment);

// Fills SS from the structure: every opening column and its partner become
// paired and point at each other; sets isStructure when a pair exists.
void InitializeStemPairs(PairnexAlignment& alignment);

}  // namespace pairnex
