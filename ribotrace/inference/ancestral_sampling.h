// Drawing ancestral sequences from the posteriors.
//
// The sample matrix has 2 x (taxa - 2) x S rows of n_sites ints, produced
// and written one row at a time (sample_rows.h). Number the interior nodes below the root j = 0 ..
// taxa - 3 in down-pass order and the samples k = 0 .. S - 1: row j x S + k holds the sampled
// sequence of node j, sample k, and row (taxa - 2) x S + j x S + k its hidden sequence. Entries are
// nucleotide states 0..3, or the gap code once gaps are put back. Only the sampled rows have a
// log-probability. With gamma rates each row also draws the rate category of every block before its
// states (see SampleRowPlan::FirstCategoryDraw).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "inference/categorical_draw.h"
#include "tree/node_struct.h"
#include "sequence/stems_and_loops.h"

class CategoryDrawer;

// Reweights a distribution over the 16 doublets by a column's fraction f of
// taxa with a canonical pair: canonical doublets by f, the others by 1 - f,
// then normalised (f = 1.0 keeps only canonical doublets). f above 1.0
// leaves it unchanged.
void ConditionDoubletsOnPairs(double* doublets, double f);

// Applies ConditionDoubletsOnPairs, in place, to the doublet posteriors of
// every stem pair of the node (mixed, and given each rate category), each
// with its column's freq_canonical.
void ConditionDoubletPosteriorsOnPairs(NodeStruct& node, const std::vector<int>& structure,
                                       const std::vector<SiteRecord>& SS);

// The number of interior nodes below the root in the sequence.
int CountSampledNodes(const std::vector<NodeStruct*>& down_pass);

// The fatal error of a node whose posteriors at `column` have no drawable
// state.
[[noreturn]] void FailOnUndrawablePosterior(const NodeStruct& node, std::size_t column);

// Draws one ancestral sequence of the node into `row` (n_sites entries):
// one draw per loop column and per stem pair, in column order, from the
// node's posteriors; a pair writes its first nucleotide at the opening
// column and its second at the partner. With `categories`, each block's
// rate category is drawn first (from its own stream) and the state from
// the posteriors given it. Returns the log-probability of the drawn
// sequence under the (mixed) posteriors (0.0 unless with_log_p: only the
// diagnostic listing shows it). A block with no drawable state is fatal.
double SampleAncestralRow(const NodeStruct& node, const std::vector<SiteRecord>& SS,
                          const std::vector<int>& structure, std::int32_t* seed, int* row,
                          bool with_log_p = true, CategoryDrawer* categories = nullptr);
