#include "model/transition_probabilities.h"

#include <cstddef>
#include <cstdio>
#include <span>

#include "base/diagnostics.h"
#include "model/rate_matrices.h"
#include "model/substitution_model.h"

namespace {

// The time of a node's branch. On the complex path the two branches at the
// root count as one, as in the unrooted tree that MrBayes estimated, so both
// children of the root take the sum of their lengths.
double BranchTime(const NodeStruct& node, bool complex) {
  if (complex && node.anc->anc == nullptr) {
    return node.anc->left->length + node.anc->right->length;
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

void SetSingeltonTransitionProbabilities(const std::vector<NodeStruct*>& nodes, double rate) {
  const SubstitutionModel model(4, singlet_q_matrix, {});
  for (NodeStruct* node : nodes) {
    if (node->anc == nullptr) continue;
    model.TransitionProbabilities(BranchTime(*node, model.complex()), rate, node->p_singlet);
  }
  if (!show_debug_info) return;
  std::printf("\nSingleton transition probabilities:\n");
  for (const NodeStruct* node : nodes) {
    if (node->anc == nullptr) continue;
    // The branch's own length, also where the complex path used the root sum.
    std::printf("\tNode index %d (time = %lf):\n", node->index, node->length);
    PrintMatrixRows<4>(node->p_singlet);
  }
}

void SetDoubletTransitionProbabilities(const std::vector<NodeStruct*>& nodes,
                                       double time_factor) {
  const SubstitutionModel model(16, doublet_q_matrix, {});
  for (NodeStruct* node : nodes) {
    if (node->anc == nullptr) continue;
    model.TransitionProbabilities(BranchTime(*node, model.complex()), time_factor, node->p_doublet);
  }
  if (!show_debug_info) return;
  std::printf("\nDoublet transition probabilities:\n");
  for (const NodeStruct* node : nodes) {
    if (node->anc == nullptr) continue;
    std::printf("Node %d:\n", node->index);
    PrintMatrixRows<16>(node->p_doublet);
  }
}

// The hidden branch of every node lasts scaled_length x lambda, and the driver
// gives every node the same scaled_length, so the simulation needs each hidden
// matrix only once per run: the driver computes the two of them once and hands
// them to every node and column, rather than repeating the decomposition there.
void SetHiddenSingeltonTransitionProbabilities(const NodeStruct& node,
                                               std::array<double, 16>& matrix, double lambda) {
  SubstitutionModel(4, singlet_q_matrix, {}).TransitionProbabilities(node.scaled_length, lambda, matrix);
  if (!show_debug_info) return;
  std::printf("\nHidden singleton transition probabilities:\n");
  PrintMatrixRows<4>(matrix);
}

void SetHiddenDoubletTransitionProbabilities(const NodeStruct& node,
                                             std::array<double, 256>& matrix, double lambda,
                                             double time_factor) {
  // lambda x 1.0 is lambda exactly, so the default leaves the matrix as it was.
  SubstitutionModel(16, doublet_q_matrix, {})
      .TransitionProbabilities(node.scaled_length, lambda * time_factor, matrix);
  if (!show_debug_info) return;
  std::printf("\nHidden doublet transition probabilities:\n");
  PrintMatrixRows<16>(matrix);
}
