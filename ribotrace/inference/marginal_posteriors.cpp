#include "inference/marginal_posteriors.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <span>
#include <unordered_map>

#include "base/ordered_batches.h"
#include "base/weighted_ranges.h"
#include "inference/branch_changes.h"
#include "inference/likelihood_blocks.h"
#include "inference/posterior_states.h"
#include "inference/tip_likelihoods.h"
#include "sequence/state_coding.h"

namespace {

// An interior node in the order of the visits, and where each of its
// children comes in that order (-1 for a tip), by child.
struct Visit {
  NodeStruct* node;
  std::vector<int> child_visits;
};

// The node's children by the size of their subtrees, smaller first, ties in
// their order.
std::vector<NodeStruct*> BySubtreeSize(const NodeStruct& node,
                                       const std::unordered_map<const NodeStruct*, int>& size) {
  std::vector<NodeStruct*> children = node.children;
  std::stable_sort(children.begin(), children.end(), [&](const NodeStruct* a, const NodeStruct* b) {
    return size.at(a) < size.at(b);
  });
  return children;
}

// Parents before children, and of a node's children the one with the
// smallest subtree first, its whole subtree before the next: of the outside
// vectors made but not yet used, each waits at a node where the visits went
// into a smaller part, so at most about log2(taxa) of them exist at once on
// a binary tree, however unbalanced.
std::vector<Visit> SmallerSubtreesFirst(const std::vector<NodeStruct*>& up_pass) {
  std::unordered_map<const NodeStruct*, int> size;
  for (auto at = up_pass.rbegin(); at != up_pass.rend(); ++at) {
    const NodeStruct* node = *at;
    int below = node->IsTip() ? 1 : 0;
    for (const NodeStruct* child : node->children) below += size.at(child);
    size[node] = below;
  }
  std::vector<Visit> visits;
  std::unordered_map<const NodeStruct*, int> visit_of;
  std::vector<NodeStruct*> pending = {up_pass.front()};
  while (!pending.empty()) {
    NodeStruct* node = pending.back();
    pending.pop_back();
    if (node->IsTip()) continue;
    visit_of[node] = static_cast<int>(visits.size());
    visits.push_back({node, {}});
    const std::vector<NodeStruct*> order = BySubtreeSize(*node, size);
    pending.insert(pending.end(), order.rbegin(), order.rend());
  }
  for (Visit& visit : visits) {
    for (const NodeStruct* child : visit.node->children) {
      visit.child_visits.push_back(child->IsTip() ? -1 : visit_of.at(child));
    }
  }
  return visits;
}

std::size_t MostChildren(const std::vector<Visit>& visits) {
  std::size_t most = 0;
  for (const Visit& visit : visits) most = std::max(most, visit.node->children.size());
  return most;
}

// The outside vectors of one thread, over its blocks only: a vector is
// taken when a node's parent makes it and given back once the node is
// visited, so a few are reused over the whole tree.
class OutsidePool {
 public:
  OutsidePool(std::size_t n_visits, std::size_t width) : of_visit_(n_visits, -1), width_(width) {}

  double* Make(int visit) {
    if (free_.empty()) {
      free_.push_back(static_cast<int>(vectors_.size()));
      vectors_.emplace_back(width_);
    }
    const int taken = free_.back();
    free_.pop_back();
    of_visit_[static_cast<std::size_t>(visit)] = taken;
    return vectors_[static_cast<std::size_t>(taken)].data();
  }
  const double* Of(int visit) const {
    const int vector = of_visit_[static_cast<std::size_t>(visit)];
    return vector < 0 ? nullptr : vectors_[static_cast<std::size_t>(vector)].data();
  }
  void Release(int visit) {
    int& vector = of_visit_[static_cast<std::size_t>(visit)];
    if (vector >= 0) free_.push_back(vector);
    vector = -1;
  }

 private:
  std::vector<std::vector<double>> vectors_;
  std::vector<int> free_;
  std::vector<int> of_visit_;
  std::size_t width_;
};

// One node's work for one block. `above` is pi at the root and the node's
// outside vector elsewhere; the node's posterior and the outside vectors of
// its interior children are written from it.
struct BlockStep {
  const BranchMatrices& matrices;
  const TipLikelihoods& tips;
  double threshold;
  BranchChangeRecorder* changes;
  // The children's contributions, N entries by child, for a node of more
  // than two children; sized for the node with the most.
  std::vector<double> from;
  long long rescaled = 0;

  // `outsides` holds the children's outside vectors of the thread's blocks
  // by child, null for a tip; the block's entries begin `local` into them.
  // Nodes of two children, nearly all of them, take the same code with the
  // count fixed, so that the compiler unrolls the loops over the children
  // and keeps their contributions on the stack, apart from the matrices.
  template <int N>
  void Run(NodeStruct& node, int block, const double* above, std::span<double* const> outsides,
           std::size_t local) {
    if (node.children.size() == 2) {
      std::array<double, 2 * N> contributions;
      RunWith<N, 2>(node, block, above, outsides, local, contributions.data());
    } else {
      RunWith<N, 0>(node, block, above, outsides, local, from.data());
    }
  }

  // K: the node's number of children, 0 for any; `contributions` has room
  // for N entries by child.
  template <int N, std::size_t K>
  void RunWith(NodeStruct& node, int block, const double* above, std::span<double* const> outsides,
               std::size_t local, double* contributions) {
    const std::size_t offset = tips.layout().Offset(block);
    const std::size_t n_children = K > 0 ? K : node.children.size();
    std::array<double, N> scratch;
    for (std::size_t c = 0; c < n_children; ++c) {
      const NodeStruct& child = *node.children[c];
      BranchContribution<N>(BranchMatrix<N>(matrices, child),
                            tips.Of<N>(child, block, offset, scratch.data()),
                            contributions + c * N);
    }
    if (node.anc != nullptr) {
      WritePosterior<N>(above, contributions, n_children, node.posterior_probs.data() + offset);
    }
    std::array<double, N> others;
    for (std::size_t c = 0; c < n_children; ++c) {
      if (outsides[c] == nullptr && changes == nullptr) continue;
      const double* siblings = SiblingsProduct<N>(contributions, n_children, c, others.data());
      const NodeStruct& child = *node.children[c];
      if (outsides[c] != nullptr) Outside<N>(child, above, siblings, outsides[c] + local);
      if (changes != nullptr) RecordBranch<N>(child, block, above, siblings, scratch.data());
    }
  }

  // The joint of the branch above `child`: its parent's outside times the
  // siblings' contributions, its matrix and its own likelihoods.
  template <int N>
  void RecordBranch(const NodeStruct& child, int block, const double* above, const double* sibling,
                    double* scratch) {
    const double* likelihood = tips.Of<N>(child, block, tips.layout().Offset(block), scratch);
    const double* p = BranchMatrix<N>(matrices, child);
    if constexpr (N == 16) {
      changes->RecordDoublet(child, block, above, sibling, p, likelihood);
    } else {
      changes->RecordLoop(child, block, above, sibling, p, likelihood);
    }
  }

  // out[y] = sum over x of above[x] x siblings[x] x P_child[x][y].
  template <int N>
  void Outside(const NodeStruct& child, const double* above, const double* sibling, double* out) {
    const double* p = BranchMatrix<N>(matrices, child);
    for (int y = 0; y < N; ++y) out[y] = 0.0;
    for (int x = 0; x < N; ++x) {
      const double weight = above[x] * sibling[x];
      for (int y = 0; y < N; ++y) out[y] += weight * p[x * N + y];
    }
    if (RescaleBlock(out, N, threshold) > 0) ++rescaled;
  }

  // The outside times each child's contribution in their order, normalised.
  // An interior node has two children or more (see CheckTree), so the
  // first two are taken in one step.
  template <int N>
  static void WritePosterior(const double* outside, const double* from, std::size_t n_children,
                             double* entries) {
    std::array<double, N> product;
    for (int x = 0; x < N; ++x) product[x] = outside[x] * from[x] * from[N + x];
    for (std::size_t c = 2; c < n_children; ++c) {
      for (int x = 0; x < N; ++x) product[x] *= from[c * N + x];
    }
    double sum = 0.0;
    for (int x = 0; x < N; ++x) sum += product[x];
    const bool usable = sum > 0.0 && std::isfinite(sum);
    for (int x = 0; x < N; ++x) entries[x] = usable ? product[x] / sum : 0.0;
  }
};

// Every visit for the blocks [first, last); returns the outside blocks rescaled.
long long VisitBlocks(const std::vector<Visit>& visits, const BranchMatrices& matrices,
                      const TipLikelihoods& tips, const ModelParams& parameters, double threshold,
                      BranchChangeRecorder* changes, int first, int last) {
  const BlockLayout& layout = tips.layout();
  const std::size_t base = layout.Offset(first);
  OutsidePool pool(visits.size(), layout.Offset(last) - base);
  const std::size_t most_children = MostChildren(visits);
  BlockStep step{matrices, tips, threshold, changes,
                 std::vector<double>(most_children * kNumDoublets)};
  std::vector<double*> outsides(most_children);
  const double* doublet_freq = parameters.stem.frequencies.data();
  const double* loop_freq = parameters.loop.frequencies.data();
  for (std::size_t v = 0; v < visits.size(); ++v) {
    const Visit& visit = visits[v];
    const double* own = pool.Of(static_cast<int>(v));
    for (std::size_t c = 0; c < visit.child_visits.size(); ++c) {
      const int child = visit.child_visits[c];
      outsides[c] = child >= 0 ? pool.Make(child) : nullptr;
    }
    for (int b = first; b < last; ++b) {
      const std::size_t local = layout.Offset(b) - base;
      if (layout.IsDoublet(b)) {
        step.Run<kNumDoublets>(*visit.node, b, own != nullptr ? own + local : doublet_freq,
                               outsides, local);
      } else {
        step.Run<kNumNucleotides>(*visit.node, b, own != nullptr ? own + local : loop_freq,
                                  outsides, local);
      }
    }
    pool.Release(static_cast<int>(v));
  }
  return step.rescaled;
}

}  // namespace

long long GetMarginalPosteriors(const std::vector<NodeStruct*>& up_pass,
                                const BranchMatrices& matrices, const std::vector<SiteRecord>& SS,
                                const Alignment& alignment, const ModelParams& parameters,
                                const PassOptions& options, BranchChangeRecorder* changes) {
  const BlockLayout layout(alignment.structure);
  const TipLikelihoods tips(SS, alignment, layout, options.stem_codes_as_sets);
  const std::vector<Visit> visits = SmallerSubtreesFirst(up_pass);
  std::atomic<long long> rescaled = 0;
  WorkInWeightedRanges(BlockWork(layout), ResolveThreadCount(options.threads),
                       [&](std::size_t first, std::size_t last) {
                         rescaled += VisitBlocks(visits, matrices, tips, parameters,
                                                 options.rescale_threshold, changes,
                                                 static_cast<int>(first), static_cast<int>(last));
                       });
  if (options.listing) ShowPosteriors(up_pass, alignment.structure);
  return rescaled;
}
