// Stems and loops: every column becomes one side of a stem pair (modelled
// as a doublet) or a loop column (a single nucleotide), with the column
// statistics that sampling and gap re-introduction use.
#pragma once

#include <vector>

#include "base/alignment.h"

struct SiteRecord {
  int site = 0;                 // 0-based column
  int paired = 0;               // 1 for either side of a stem pair
  int partner = -1;             // column of the partner, -1 when unpaired
  double freq_canonical = 0.0;  // both sides of a pair: fraction of taxa with a canonical pair
  double freq_gaps = 0.0;       // fraction of taxa with a gap in this column
};

struct StemsAndLoops {
  int n_doublets = 0;        // stem pairs (opening brackets)
  int n_singletons = 0;      // loop columns
  bool isStructure = false;  // at least one stem pair
};

// Fills one record per column of `SS` (sized n_sites by the caller): pairs
// each opening column with its partner and computes the gap fraction of
// every column and, when condition_on_pairs is 1, the canonical-pair
// fraction of every pair. Prints the site table with `listing`.
StemsAndLoops InitializeStemsAndLoops(const Alignment& alignment, int condition_on_pairs,
                                      std::vector<SiteRecord>& SS, bool listing = false);
