#include "fit/branch_lengths.h"

#include <algorithm>
#include <cmath>

namespace {

BranchDerivatives Sum(const std::vector<PartitionLikelihood*>& partitions, double t) {
  BranchDerivatives total;
  for (const PartitionLikelihood* p : partitions) total += p->Derivatives(t);
  return total;
}

// Newton steps where the curvature is negative, doubling or halving the
// length toward the gradient where it is not; a step that lowers lnL is
// halved until it does not.
double NewtonRaphson(const std::vector<PartitionLikelihood*>& partitions, int node, double t) {
  for (PartitionLikelihood* p : partitions) p->PrepareBranch(node);
  BranchDerivatives at = Sum(partitions, t);
  for (int iteration = 0; iteration < 30; ++iteration) {
    double next = at.second < 0.0 ? t - at.first / at.second : (at.first > 0.0 ? 2.0 * t : 0.5 * t);
    next = std::clamp(next, kMinBranch, kMaxBranch);
    BranchDerivatives there = Sum(partitions, next);
    for (int halving = 0; halving < 30 && there.log_likelihood < at.log_likelihood; ++halving) {
      next = 0.5 * (t + next);
      there = Sum(partitions, next);
    }
    if (there.log_likelihood < at.log_likelihood) break;
    const double step = std::abs(next - t);
    t = next;
    at = there;
    if (step < 1e-8 * std::max(1.0, t)) break;
  }
  return t;
}

void Visit(FitTree& tree, const std::vector<PartitionLikelihood*>& partitions, int node) {
  if (tree.IsFree(node)) {
    double& length = tree.length[static_cast<std::size_t>(node)];
    length = NewtonRaphson(partitions, node, length);
    for (PartitionLikelihood* p : partitions) p->UpdateBranch(tree, node);
  }
  if (tree.IsTip(node)) return;
  for (const int child : tree.Children(node)) {
    for (PartitionLikelihood* p : partitions) p->PassUp(tree, node, child);
    Visit(tree, partitions, child);
  }
  for (PartitionLikelihood* p : partitions) p->RecomputeBelow(tree, node);
}

}  // namespace

std::vector<double> OptimiseBranchLengths(FitTree& tree,
                                          const std::vector<PartitionLikelihood*>& partitions) {
  for (PartitionLikelihood* p : partitions) p->Evaluate(tree);
  for (const int child : tree.Children(0)) {
    // Set anew for each child: the lengths below the one visited before
    // changed what its siblings see from above.
    for (PartitionLikelihood* p : partitions) p->SetRootMessages(tree);
    Visit(tree, partitions, child);
  }
  std::vector<double> out;
  for (PartitionLikelihood* p : partitions) out.push_back(p->LogLikelihoodAfterPass(tree));
  return out;
}
