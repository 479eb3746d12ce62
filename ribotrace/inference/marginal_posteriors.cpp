#include "inference/marginal_posteriors.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <unordered_map>

#include "base/ordered_batches.h"
#include "base/weighted_ranges.h"
#include "inference/branch_changes.h"
#include "inference/likelihood_blocks.h"
#include "inference/posterior_states.h"
#include "inference/tip_likelihoods.h"
#include "sequence/state_coding.h"

namespace {

bool IsInterior(const NodeStruct& node) { return node.left != nullptr && node.right != nullptr; }

// An interior node in the order of the visits, and where its interior
// children come in that order (-1 for a tip).
struct Visit {
  NodeStruct* node;
  int left = -1;
  int right = -1;
};

// Parents before children, and of two children the one with the smaller
// subtree first, its whole subtree before the other: of the outside
// vectors made but not yet used, each waits at a node where the visits went
// into the smaller half, so at most about log2(taxa) of them exist at once,
// however unbalanced the tree.
std::vector<Visit> SmallerSubtreesFirst(const std::vector<NodeStruct*>& up_pass) {
  std::unordered_map<const NodeStruct*, int> size;
  for (auto at = up_pass.rbegin(); at != up_pass.rend(); ++at) {
    const NodeStruct* node = *at;
    size[node] = IsInterior(*node) ? size.at(node->left) + size.at(node->right) : 1;
  }
  std::vector<Visit> visits;
  std::unordered_map<const NodeStruct*, int> visit_of;
  std::vector<NodeStruct*> pending = {up_pass.front()};
  while (!pending.empty()) {
    NodeStruct* node = pending.back();
    pending.pop_back();
    if (!IsInterior(*node)) continue;
    visit_of[node] = static_cast<int>(visits.size());
    visits.push_back({node});
    const bool left_smaller = size.at(node->left) <= size.at(node->right);
    pending.push_back(left_smaller ? node->right : node->left);
    pending.push_back(left_smaller ? node->left : node->right);
  }
  for (Visit& visit : visits) {
    if (IsInterior(*visit.node->left)) visit.left = visit_of.at(visit.node->left);
    if (IsInterior(*visit.node->right)) visit.right = visit_of.at(visit.node->right);
  }
  return visits;
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
  long long rescaled = 0;

  template <int N>
  void Run(NodeStruct& node, int block, const double* above, double* left_outside,
           double* right_outside) {
    const std::size_t offset = tips.layout().Offset(block);
    std::array<double, N> scratch;
    std::array<double, N> from_left;
    std::array<double, N> from_right;
    BranchContribution<N>(BranchMatrix<N>(matrices, *node.left),
                          tips.Of<N>(*node.left, block, offset, scratch.data()), from_left.data());
    BranchContribution<N>(BranchMatrix<N>(matrices, *node.right),
                          tips.Of<N>(*node.right, block, offset, scratch.data()),
                          from_right.data());
    if (node.anc != nullptr) {
      WritePosterior<N>(above, from_left, from_right, node.posterior_probs.data() + offset);
    }
    if (left_outside != nullptr) Outside<N>(*node.left, above, from_right, left_outside);
    if (right_outside != nullptr) Outside<N>(*node.right, above, from_left, right_outside);
    if (changes != nullptr) {
      RecordBranch<N>(*node.left, block, above, from_right.data(), scratch.data());
      RecordBranch<N>(*node.right, block, above, from_left.data(), scratch.data());
    }
  }

  // The joint of the branch above `child`: its parent's outside times the
  // sibling's contribution, its matrix and its own likelihoods.
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

  // out[y] = sum over x of above[x] x sibling[x] x P_child[x][y].
  template <int N>
  void Outside(const NodeStruct& child, const double* above, const std::array<double, N>& sibling,
               double* out) {
    const double* p = BranchMatrix<N>(matrices, child);
    for (int y = 0; y < N; ++y) out[y] = 0.0;
    for (int x = 0; x < N; ++x) {
      const double weight = above[x] * sibling[x];
      for (int y = 0; y < N; ++y) out[y] += weight * p[x * N + y];
    }
    if (RescaleBlock(out, N, threshold) > 0) ++rescaled;
  }

  template <int N>
  static void WritePosterior(const double* outside, const std::array<double, N>& from_left,
                             const std::array<double, N>& from_right, double* entries) {
    std::array<double, N> product;
    double sum = 0.0;
    for (int x = 0; x < N; ++x) {
      product[x] = outside[x] * from_left[x] * from_right[x];
      sum += product[x];
    }
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
  BlockStep step{matrices, tips, threshold, changes};
  const double* doublet_freq = parameters.stem.frequencies.data();
  const double* loop_freq = parameters.loop.frequencies.data();
  for (std::size_t v = 0; v < visits.size(); ++v) {
    const Visit& visit = visits[v];
    const double* own = pool.Of(static_cast<int>(v));
    double* left_outside = visit.left >= 0 ? pool.Make(visit.left) : nullptr;
    double* right_outside = visit.right >= 0 ? pool.Make(visit.right) : nullptr;
    for (int b = first; b < last; ++b) {
      const std::size_t local = layout.Offset(b) - base;
      const auto at = [&](double* outside) {
        return outside != nullptr ? outside + local : nullptr;
      };
      if (layout.IsDoublet(b)) {
        step.Run<kNumDoublets>(*visit.node, b, own != nullptr ? own + local : doublet_freq,
                               at(left_outside), at(right_outside));
      } else {
        step.Run<kNumNucleotides>(*visit.node, b, own != nullptr ? own + local : loop_freq,
                                  at(left_outside), at(right_outside));
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
