// The posteriors of one node read by alignment column, and the summaries
// that the results report from them. Only this view knows where a column's
// probabilities lie in a node's posterior array, so the readers of the
// posteriors do not depend on that layout.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "sequence/stems_and_loops.h"
#include "tree/node_struct.h"

// Where every column's probabilities lie, made once for the alignment.
class PosteriorLayout {
 public:
  PosteriorLayout(const std::vector<int>& structure, const std::vector<SiteRecord>& SS);

  std::size_t n_sites() const { return offsets_.size(); }
  // The partner column of either side of a stem pair; -1 for a loop column.
  int Partner(std::size_t column) const { return partners_[column]; }
  bool IsStem(std::size_t column) const { return partners_[column] >= 0; }
  // True for the 5' (opening) column of a stem pair.
  bool IsOpening(std::size_t column) const {
    return IsStem(column) && static_cast<std::size_t>(partners_[column]) > column;
  }
  // Where the doublets of the column's stem pair, or the nucleotides of a
  // loop column, begin in a node's posterior array.
  std::size_t Offset(std::size_t column) const { return offsets_[column]; }

 private:
  std::vector<std::size_t> offsets_;
  std::vector<int> partners_;
};

// One node's posteriors, by column.
class NodePosteriors {
 public:
  NodePosteriors(const NodeStruct& node, const PosteriorLayout& layout)
      : NodePosteriors(node.posterior_probs.data(), layout) {}
  // Posteriors laid out like a node's posterior_probs (for example a
  // clade's, averaged over trees).
  NodePosteriors(const double* probabilities, const PosteriorLayout& layout)
      : probabilities_(probabilities), layout_(layout) {}

  const PosteriorLayout& layout() const { return layout_; }
  // The 16 doublets of the stem pair that holds the column, by doublet
  // index (the 5' nucleotide first).
  std::span<const double, 16> Doublets(std::size_t column) const;
  // A, C, G, U at a loop column.
  std::span<const double, 4> Nucleotides(std::size_t column) const;

 private:
  const double* probabilities_;
  const PosteriorLayout& layout_;
};

// A, C, G, U at the column: a loop column's posterior, or the stem pair's
// doublet posterior summed over the partner's nucleotide.
std::array<double, 4> NucleotideMarginals(const NodePosteriors& posteriors, std::size_t column);

// The index of the largest probability, the first of equal ones; -1 when
// none is positive (a posterior with no possible state).
int MostProbable(std::span<const double> probabilities);

// The most probable sequence (n_sites nucleotide states, -1 where nothing
// is possible): a loop column's most probable nucleotide, and both columns
// of a stem pair from the pair's most probable doublet.
void MostProbableSequence(const NodePosteriors& posteriors, std::span<int> states);
