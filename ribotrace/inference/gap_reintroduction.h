// Gaps are not part of the substitution models, so sampled and hidden
// sequences come out gap-free; each column gets its gaps back at the rate
// observed in the alignment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sequence/stems_and_loops.h"

// Turns each entry of column `column` (of n_sites) in the first n_rows rows
// into the gap code with probability freq_gaps: one draw per row, in row
// order, the entry becoming a gap when freq_gaps exceeds the draw. A column
// with freq_gaps 0 or below draws nothing.
void ReintroduceGapsInColumn(double freq_gaps, std::size_t column, std::size_t n_sites,
                             std::int32_t* seed, std::vector<int>& anc_seqs, std::size_t n_rows);

// Every column in order, with its site record's freq_gaps; sampled and
// hidden rows alike.
void ReintroduceGaps(const std::vector<SiteRecord>& SS, std::int32_t* seed,
                     std::vector<int>& anc_seqs, std::size_t n_rows);
