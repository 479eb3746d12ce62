// What happened on each branch, as two tab-separated tables beside the
// results: ".changes", one row per branch and stem pair, and ".branches",
// one row per branch. Columns are found by name; the header comes first.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "inference/branch_changes.h"
#include "inference/likelihood_blocks.h"
#include "output/safe_output_file.h"

// One branch: the name of its lower end as out_file.tree names it, its
// length, and its figures and presence per likelihood block.
struct ChangeBranch {
  std::string_view name;
  double length = 0.0;
  std::span<const BranchFigures> figures;
  std::span<const double> present;
};

// "Branch Site5 Site3 Helix p_cbc p_hemi p_break p_restore E_subs
// p_present": columns 1-based, helices numbered from 1 in the order of
// their first 5' column (a helix is a run of stacked pairs). `partners`:
// each column's partner column, or -1.
void WritePairChanges(std::span<const ChangeBranch> branches, const BlockLayout& layout,
                      std::span<const int> partners, SafeOutputFile& file);

// "Branch Length p_cbc p_hemi p_break E_subs E_subs_loops": the sums over
// the stem pairs, and E_subs_loops over the loop columns, each pair or
// column weighted by its presence, so that they are expected counts over
// what the branch holds.
void WriteBranchSums(std::span<const ChangeBranch> branches, const BlockLayout& layout,
                     SafeOutputFile& file);
