// The compact layout of a node's vectors, shared by the fractional
// likelihoods, the outside vectors and the posteriors: one block for every
// loop column and for the opening column of every stem pair, blocks in
// column order, each as long as its number of states. A stem pair's block
// holds the 16 doublets by doublet index, a loop column's the four
// nucleotides A, C, G, U. A closing column owns no block: its nucleotide
// lives in its partner's doublet. A node's vector thus holds 16 doubles per
// stem pair and 4 per loop column (BlockLayout::n_entries()), the same for
// every node and every kind of vector; NodeVectors (node_vectors.h) keeps
// the vectors of all nodes in contiguous arrays.
#pragma once

#include <cstddef>
#include <vector>

#include "model/branch_matrices.h"
#include "tree/node_struct.h"

constexpr int kLoopColumn = 0;
constexpr int kOpeningColumn = 1;

// True for the columns that own a block (loop and opening columns).
inline bool OwnsBlock(int pairing) { return pairing == kLoopColumn || pairing == kOpeningColumn; }

// The number of entries of the block a column owns: 16 for a stem pair, 4
// for a loop column.
inline std::size_t BlockEntries(int pairing) { return pairing == kOpeningColumn ? 16 : 4; }

// Number of blocks a node carries for this pairing array.
inline int CountBlocks(const std::vector<int>& structure) {
  int n_blocks = 0;
  for (const int pairing : structure) n_blocks += OwnsBlock(pairing) ? 1 : 0;
  return n_blocks;
}

// Doubles in one node vector for this pairing array.
inline std::size_t CountEntries(const std::vector<int>& structure) {
  std::size_t n_entries = 0;
  for (const int pairing : structure) n_entries += OwnsBlock(pairing) ? BlockEntries(pairing) : 0;
  return n_entries;
}

// Where each block lies in a node vector, made once for the alignment.
class BlockLayout {
 public:
  explicit BlockLayout(const std::vector<int>& structure);

  int n_blocks() const { return static_cast<int>(columns_.size()); }
  std::size_t n_entries() const { return offsets_.back(); }
  std::size_t Offset(int block) const { return offsets_[static_cast<std::size_t>(block)]; }
  // The column that owns the block: a loop column or a stem pair's opening column.
  int Column(int block) const { return columns_[static_cast<std::size_t>(block)]; }
  bool IsDoublet(int block) const {
    return offsets_[static_cast<std::size_t>(block) + 1] - Offset(block) == 16;
  }

 private:
  std::vector<std::size_t> offsets_;  // n_blocks + 1: each block's first entry, then the total
  std::vector<int> columns_;
};

// How much arithmetic each block costs the passes, relative to the others
// (N x N per branch): the weights by which they split the blocks over
// threads.
inline std::vector<double> BlockWork(const BlockLayout& layout) {
  std::vector<double> work;
  for (int b = 0; b < layout.n_blocks(); ++b) work.push_back(layout.IsDoublet(b) ? 256.0 : 16.0);
  return work;
}

// The nodes whose states are sampled: interior nodes other than the root.
inline bool IsInteriorBelowRoot(const NodeStruct& node) {
  return !node.IsTip() && node.anc != nullptr;
}

// The N x N transition matrix of the node's branch to its ancestor: the
// doublet matrix for N = 16, the nucleotide matrix for N = 4.
template <int N>
inline const double* BranchMatrix(const BranchMatrices& matrices, const NodeStruct& node) {
  static_assert(N == 16 || N == 4);
  if constexpr (N == 16) {
    return matrices.Doublet(node).data();
  } else {
    return matrices.Singlet(node).data();
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

// The product of the contributions of a node's children other than child
// `c`, in their order: what the rest of the node's subtree says about its
// state, as seen from child c. `contributions` holds N entries by child.
// With two children it is the other child's own, returned without a copy;
// otherwise it is written into `product`.
template <int N>
inline const double* SiblingsProduct(const double* contributions, std::size_t n_children,
                                     std::size_t c, double* product) {
  if (n_children == 2) return contributions + (1 - c) * N;
  const std::size_t start = c == 0 ? 1 : 0;
  for (int x = 0; x < N; ++x) product[x] = contributions[start * N + x];
  for (std::size_t s = start + 1; s < n_children; ++s) {
    if (s == c) continue;
    for (int x = 0; x < N; ++x) product[x] *= contributions[s * N + x];
  }
  return product;
}

// Prints the N entries of one block for the diagnostics as the 20 entries
// that a block has always been listed with (doublets 0-15, then A C G U;
// the entries of the other kind 0.0), four to a line after a "\t\t" indent:
// "%lf " each, "\n\t\t" after every fourth of the first sixteen, a newline
// at the end.
void PrintBlock(const double* entries, std::size_t n);
