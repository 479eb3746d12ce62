#include "model/transition_probabilities.h"

#include <cstddef>
#include <cstdio>
#include <span>

namespace {

// The time of a node's branch. On the complex path the two branches at a
// root of two children count as one, as in the unrooted tree that MrBayes
// estimated, so both children of the root take the sum of their lengths.
// A root of more children is a vertex of the unrooted tree itself.
double BranchTime(const NodeStruct& node, bool complex) {
  const NodeStruct& anc = *node.anc;
  if (complex && anc.anc == nullptr && anc.children.size() == 2) {
    return anc.children[0]->length + anc.children[1]->length;
  }
  return node.length;
}

template <int N>
void PrintMatrixRows(const std::array<double, N * N>& p) {
  for (int i = 0; i < N; ++i) {
    if constexpr (N == 4) {
      for (int j = 0; j < N; ++j) std::printf("\t\t%lf", p[i * N + j]);
    } else {
      std::printf("\t");
      for (int j = 0; j < N; ++j) std::printf("%lf  ", p[i * N + j]);
    }
    std::printf("\n");
  }
}

}  // namespace

void SetSingeltonTransitionProbabilities(const std::vector<NodeStruct*>& nodes,
                                         const SubstitutionModel& loops, BranchMatrices& matrices,
                                         double rate, bool listing) {
  for (NodeStruct* node : nodes) {
    if (node->anc == nullptr) continue;
    loops.TransitionProbabilities(BranchTime(*node, loops.complex()), rate,
                                  matrices.Singlet(*node));
  }
  if (!listing) return;
  std::printf("\nSingleton transition probabilities:\n");
  for (const NodeStruct* node : nodes) {
    if (node->anc == nullptr) continue;
    // The branch's own length, also where the complex path used the root sum.
    std::printf("\tNode index %d (time = %lf):\n", node->index, node->length);
    PrintMatrixRows<4>(matrices.Singlet(*node));
  }
}

void SetDoubletTransitionProbabilities(const std::vector<NodeStruct*>& nodes,
                                       const SubstitutionModel& stems, BranchMatrices& matrices,
                                       double time_factor, bool listing) {
  for (NodeStruct* node : nodes) {
    if (node->anc == nullptr) continue;
    stems.TransitionProbabilities(BranchTime(*node, stems.complex()), time_factor,
                                  matrices.Doublet(*node));
  }
  if (!listing) return;
  std::printf("\nDoublet transition probabilities:\n");
  for (const NodeStruct* node : nodes) {
    if (node->anc == nullptr) continue;
    std::printf("Node %d:\n", node->index);
    PrintMatrixRows<16>(matrices.Doublet(*node));
  }
}

// The hidden branch of every node lasts scaled_length x lambda, and the driver
// gives every node the same scaled_length, so the simulation needs each hidden
// matrix only once per run: the driver computes the two of them once and hands
// them to every node and column, rather than repeating the decomposition there.
void SetHiddenSingeltonTransitionProbabilities(const NodeStruct& node,
                                               const SubstitutionModel& loops,
                                               std::array<double, 16>& matrix, double lambda,
                                               bool listing) {
  loops.TransitionProbabilities(node.scaled_length, lambda, matrix);
  if (!listing) return;
  std::printf("\nHidden singleton transition probabilities:\n");
  PrintMatrixRows<4>(matrix);
}

void SetHiddenDoubletTransitionProbabilities(const NodeStruct& node, const SubstitutionModel& stems,
                                             std::array<double, 256>& matrix, double lambda,
                                             double time_factor, bool listing) {
  // lambda x 1.0 is lambda exactly, so the default leaves the matrix as it was.
  stems.TransitionProbabilities(node.scaled_length, lambda * time_factor, matrix);
  if (!listing) return;
  std::printf("\nHidden doublet transition probabilities:\n");
  PrintMatrixRows<16>(matrix);
}
