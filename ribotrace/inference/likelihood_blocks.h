// The per-node layout shared by the fractional likelihoods and the
// posteriors: one block of 20 doubles for every loop column and for the
// opening column of every stem pair, blocks in column order. Entries 0-15
// hold the 16 doublets by doublet index, entries 16-19 A, C, G, U. A closing
// column owns no block: its nucleotide lives in its partner's doublet.
#pragma once

#include <cstddef>
#include <vector>

#include "tree/node_struct.h"

constexpr int kBlockSize = 20;
constexpr int kSingletEntries = 16;  // offset of A C G U within a block

constexpr int kLoopColumn = 0;
constexpr int kOpeningColumn = 1;

// True for the columns that own a block (loop and opening columns).
inline bool OwnsBlock(int pairing) { return pairing == kLoopColumn || pairing == kOpeningColumn; }

// Number of blocks a node carries for this pairing array.
inline int CountBlocks(const std::vector<int>& structure) {
  int n_blocks = 0;
  for (const int pairing : structure) n_blocks += OwnsBlock(pairing) ? 1 : 0;
  return n_blocks;
}

// The nodes whose states are sampled: interior nodes other than the root.
inline bool IsInteriorBelowRoot(const NodeStruct& node) {
  return node.left != nullptr && node.right != nullptr && node.anc != nullptr;
}

// The N x N transition matrix of the node's branch to its ancestor: the
// doublet matrix for N = 16, the nucleotide matrix for N = 4.
template <int N>
inline const double* BranchMatrix(const NodeStruct& node) {
  static_assert(N == 16 || N == 4);
  if constexpr (N == 16) {
    return node.p_doublet.data();
  } else {
    return node.p_singlet.data();
  }
}

// The posterior entries of the node's block at `offset`: given rate
// category `category`, or mixed over the categories (category -1, and the
// only posteriors of a run without rate variation).
inline const double* PosteriorEntries(const NodeStruct& node, std::size_t offset,
                                      int category = -1) {
  if (category < 0) return &node.posterior_probs[offset];
  return &node.category_posteriors[static_cast<std::size_t>(category) *
                                       node.posterior_probs.size() +
                                   offset];
}

// Where the N entries of a block begin: 0 for doublets, 16 for nucleotides.
template <int N>
constexpr std::size_t EntriesOffset() {
  return N == 16 ? 0 : 16;
}

// What a neighbour's subtree says about the state at the near end of its
// branch: out[x] = sum over y of p[x][y] x likelihood[y], with p the N x N
// transition matrix of the branch (row: state at the near end) and
// likelihood the neighbour's N entries of one block.
template <int N>
inline void BranchContribution(const double* p, const double* likelihood, double* out) {
  for (int x = 0; x < N; ++x) {
    double sum = 0.0;
    for (int y = 0; y < N; ++y) sum += p[x * N + y] * likelihood[y];
    out[x] = sum;
  }
}

// What the two children of an interior node say about its state in the
// block entries starting at `entry`: their contributions through their own
// branches.
template <int N>
inline void ChildContributions(const NodeStruct& node, std::size_t entry, double* from_left,
                               double* from_right) {
  BranchContribution<N>(BranchMatrix<N>(*node.left), &node.left->frac_likelihoods[entry],
                        from_left);
  BranchContribution<N>(BranchMatrix<N>(*node.right), &node.right->frac_likelihoods[entry],
                        from_right);
}

// Prints the 20 entries of one block for the diagnostics, four to a line
// after a "\t\t" indent: "%lf " each, "\n\t\t" after every fourth of the
// first sixteen, a newline at the end.
void PrintBlock(const double* entries);
