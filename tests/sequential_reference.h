// The whole sample matrix drawn in one sequential pass over the random
// stream: every sampled row, every hidden row, then gaps column by column,
// and the diagnostic listing printed from the finished matrix. This is the
// draw order that the row-by-row production must reproduce exactly; the
// tests compare the two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "inference/hidden_simulation.h"
#include "sequence/stems_and_loops.h"
#include "tree/node_struct.h"

// Fills the sampled half of anc_seqs and log_P, node after node in
// down-pass order, n_samples rows each; with condition_on_pairs 1 each
// node's doublet posteriors are conditioned first (and stay so).
void SampleAncestralSequences(const std::vector<NodeStruct*>& down_pass,
                              const std::vector<SiteRecord>& SS, const std::vector<int>& structure,
                              std::vector<double>& log_P, std::int32_t* seed,
                              std::vector<int>& anc_seqs, int n_samples, int condition_on_pairs);

// Fills the hidden half, continuing the stream.
void SimulateHiddenAncestralSequences(const std::vector<NodeStruct*>& down_pass,
                                      const std::vector<SiteRecord>& SS,
                                      const std::vector<int>& structure, std::int32_t* seed,
                                      std::vector<int>& anc_seqs, int n_samples,
                                      const HiddenBranchMatrices& hidden, int condition_on_pairs);

// Column by column, one draw per row of every column of positive gap
// frequency.
void ReintroduceGaps(const std::vector<SiteRecord>& SS, std::int32_t* seed,
                     std::vector<int>& anc_seqs, std::size_t n_rows);

// The listing of the first n_rows rows, "[P = NA]" for the hidden half.
void ShowAncestralSequences(const std::vector<double>& log_P, const std::vector<int>& structure,
                            const std::vector<int>& anc_seqs, std::size_t n_rows);
