#include "inference/marginal_posteriors.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <unordered_map>

#include "inference/likelihood_blocks.h"
#include "inference/posterior_states.h"
#include "base/diagnostics.h"
#include "sequence/state_coding.h"

namespace {

bool IsInterior(const NodeStruct& node) { return node.left != nullptr && node.right != nullptr; }

// One node's work for one block. `above` is pi at the root and the node's
// outside vector elsewhere; the node's posterior and the outside vectors of
// its interior children are written from it.
struct BlockStep {
  double threshold;
  long long rescaled = 0;

  template <int N>
  void Run(NodeStruct& node, const double* above, double* left_outside, double* right_outside,
           std::size_t offset) {
    const std::size_t entry = offset + EntriesOffset<N>();
    std::array<double, N> from_left;
    std::array<double, N> from_right;
    ChildContributions<N>(node, entry, from_left.data(), from_right.data());
    if (node.anc != nullptr) WritePosterior<N>(node, above, from_left, from_right, entry);
    if (left_outside != nullptr) {
      Outside<N>(*node.left, above, from_right, left_outside + entry);
    }
    if (right_outside != nullptr) {
      Outside<N>(*node.right, above, from_left, right_outside + entry);
    }
  }

  // out[y] = sum over x of above[x] x sibling[x] x P_child[x][y].
  template <int N>
  void Outside(const NodeStruct& child, const double* above, const std::array<double, N>& sibling,
               double* out) {
    const double* p = BranchMatrix<N>(child);
    for (int y = 0; y < N; ++y) out[y] = 0.0;
    for (int x = 0; x < N; ++x) {
      const double weight = above[x] * sibling[x];
      for (int y = 0; y < N; ++y) out[y] += weight * p[x * N + y];
    }
    if (RescaleBlock(out, N, threshold) > 0) ++rescaled;
  }

  template <int N>
  static void WritePosterior(NodeStruct& node, const double* outside,
                             const std::array<double, N>& from_left,
                             const std::array<double, N>& from_right, std::size_t entry) {
    std::array<double, N> product;
    double sum = 0.0;
    for (int x = 0; x < N; ++x) {
      product[x] = outside[x] * from_left[x] * from_right[x];
      sum += product[x];
    }
    const bool usable = sum > 0.0 && std::isfinite(sum);
    double* entries = &node.posterior_probs[entry];
    for (int x = 0; x < N; ++x) entries[x] = usable ? product[x] / sum : 0.0;
  }
};

}  // namespace

long long GetMarginalPosteriors(const std::vector<NodeStruct*>& up_pass,
                                const std::vector<int>& structure,
                                const ParameterRecord& parameters, double rescale_threshold) {
  const std::size_t n_entries = static_cast<std::size_t>(CountBlocks(structure)) * kBlockSize;
  const double* doublet_freq = &parameters[kDoubletFrequenciesSlot];
  const double* loop_freq = &parameters[kLoopFrequenciesSlot];
  BlockStep step{rescale_threshold};
  // Outside vectors of the nodes whose parent has been visited but not
  // they themselves: up-pass order visits parents first, so each vector is
  // made by the parent and dropped once its node is done, which bounds the
  // memory by the widest level of the tree rather than by its size.
  std::unordered_map<const NodeStruct*, std::vector<double>> outside;
  for (NodeStruct* node : up_pass) {
    node->posterior_probs.assign(n_entries, 0.0);
    if (!IsInterior(*node)) continue;
    const std::vector<double>* own = nullptr;
    if (node->anc != nullptr) own = &outside.at(node);
    double* left_outside = nullptr;
    double* right_outside = nullptr;
    if (IsInterior(*node->left)) {
      left_outside = (outside[node->left] = std::vector<double>(n_entries, 0.0)).data();
    }
    if (IsInterior(*node->right)) {
      right_outside = (outside[node->right] = std::vector<double>(n_entries, 0.0)).data();
    }
    std::size_t offset = 0;
    for (const int pairing : structure) {
      if (!OwnsBlock(pairing)) continue;
      if (pairing == kOpeningColumn) {
        const double* above = own != nullptr ? own->data() + offset : doublet_freq;
        step.Run<kNumDoublets>(*node, above, left_outside, right_outside, offset);
      } else {
        const double* above =
            own != nullptr ? own->data() + offset + EntriesOffset<kNumNucleotides>() : loop_freq;
        step.Run<kNumNucleotides>(*node, above, left_outside, right_outside, offset);
      }
      offset += kBlockSize;
    }
    if (own != nullptr) outside.erase(node);
  }
  if (show_debug_info) ShowPosteriors(up_pass, structure);
  return step.rescaled;
}
