// Drawing ancestral sequences from the posteriors, and the diagnostic
// listing of the sample matrix.
//
// The sample matrix holds 2 x (taxa - 2) x S rows of n_sites ints, row after
// row. Number the interior nodes below the root j = 0 .. taxa - 3 in
// down-pass order and the samples k = 0 .. S - 1: row j x S + k holds the
// sampled sequence of node j, sample k, and row (taxa - 2) x S + j x S + k
// its hidden sequence. Entries are nucleotide states 0..3, or the gap code
// once gaps are put back. log_P holds one double per row; only the sampled
// rows have a log-probability.
#pragma once

#include <cstdint>
#include <vector>

#include "tree/node_struct.h"
#include "sequence/stems_and_loops.h"

// Categorical draw: the first index whose running sum of `probs` exceeds u.
// When rounding leaves the whole sum at or below u, the last entry with a
// positive finite probability; -1 when there is none (all zero or not
// numbers).
int DrawCategorical(const double* probs, int n, double u);

// Reweights a distribution over the 16 doublets by a column's fraction f of
// taxa with a canonical pair: canonical doublets by f, the others by 1 - f,
// then normalised (f = 1.0 keeps only canonical doublets). f above 1.0
// leaves it unchanged.
void ConditionDoubletsOnPairs(double* doublets, double f);

// Applies ConditionDoubletsOnPairs, in place, to the doublet posteriors of
// every stem pair of the node, each with its column's freq_canonical.
void ConditionDoubletPosteriorsOnPairs(NodeStruct& node, const std::vector<int>& structure,
                                       const std::vector<SiteRecord>& SS);

// The number of interior nodes below the root in the sequence.
int CountSampledNodes(const std::vector<NodeStruct*>& down_pass);

// Draws one ancestral sequence of the node into `row` (n_sites entries):
// one draw per loop column and per stem pair, in column order, from the
// node's posteriors; a pair writes its first nucleotide at the opening
// column and its second at the partner. Returns the log-probability of the
// drawn sequence. A block with no drawable state is fatal.
double SampleAncestralRow(const NodeStruct& node, const std::vector<SiteRecord>& SS,
                          const std::vector<int>& structure, std::int32_t* seed, int* row);

// Fills the sampled half of the sample matrix and its log-probabilities:
// interior nodes below the root in down-pass order, n_samples rows each.
// With condition_on_pairs 1, each node's doublet posteriors are first
// conditioned once on the canonical-pair frequencies (and stay so for the
// hidden simulation).
void SampleAncestralSequences(const std::vector<NodeStruct*>& down_pass,
                              const std::vector<SiteRecord>& SS, const std::vector<int>& structure,
                              std::vector<double>& log_P, std::int32_t* seed,
                              std::vector<int>& anc_seqs, int n_samples, int condition_on_pairs);

// Prints the structure line and the first n_rows rows of the sample matrix,
// each followed by its probability; the second half of the rows (the
// hidden sequences) has none and shows "[P = NA]". A gap prints as '-'; any
// other code outside 0..3 is fatal.
void ShowAncestralSequences(const std::vector<double>& log_P, const std::vector<int>& structure,
                            const std::vector<int>& anc_seqs, std::size_t n_rows);
