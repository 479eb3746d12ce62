// The storage of the passes: every node vector of a run (layout in
// likelihood_blocks.h) in a few contiguous arrays, owned here, and each
// node's views (NodeStruct::frac_likelihoods, posterior_probs,
// category_posteriors) pointed into them.
//
// Only interior nodes have slots: a tip's likelihoods are made from its
// observed codes whenever a pass needs them. Slots follow the down-pass
// order of the interior nodes, so the root's is the last.
//
// - Exact posteriors (in_place): one array of a vector per interior node.
//   The outside pass writes each node's posteriors over its fractional
//   likelihoods, which are no longer needed once its parent has been
//   visited, so posterior_probs and frac_likelihoods are the same memory.
// - The three-neighbour posteriors of --classic read an ancestor's
//   fractional likelihoods after its own posteriors are written, so the
//   posteriors get a second array.
// - With K gamma rate categories: one array of K vectors per interior node,
//   the passes of category k working in place in the k-th (UseCategory),
//   and a second array for the mixture over the categories (UseMixture).
#pragma once

#include <vector>

#include "base/buffers.h"
#include "inference/likelihood_blocks.h"
#include "tree/node_struct.h"

class NodeVectors {
 public:
  // Allocates the arrays for the nodes of down_pass (root last) and points
  // their views at them: at category 0 with n_categories > 0, which
  // requires in_place. A failed allocation is fatal.
  NodeVectors(const std::vector<NodeStruct*>& down_pass, const std::vector<int>& structure,
              bool in_place, int n_categories = 0);

  // The buffers that a tree of n_taxa taxa needs, for the memory check
  // before anything is read or allocated.
  static std::vector<PlannedBuffer> Planned(long long n_taxa, const std::vector<int>& structure,
                                            bool in_place, int n_categories = 0);

  // Points the views of another tree built in the same node records (the
  // same taxa) at the arrays, as the constructor does: a run over many
  // trees allocates the arrays once. The vectors' contents are stale until
  // the passes write them.
  void Reassign(const std::vector<NodeStruct*>& down_pass);

  // Points frac_likelihoods and posterior_probs at category k's vectors,
  // for the passes of that category.
  void UseCategory(int k);
  // Points posterior_probs at the mixture and category_posteriors at every
  // category's posteriors, once all categories' passes have run.
  void UseMixture();

 private:
  std::vector<NodeStruct*> interior_;  // by slot
  std::size_t n_entries_;
  std::size_t n_categories_;
  bool with_categories_;  // gamma rate categories: category_posteriors and the mixture
  using Array = std::vector<double, LargePageAllocator<double>>;
  Array vectors_;     // the fractional likelihoods (and posteriors, in place)
  Array posteriors_;  // --classic's posteriors, or the mixture
};
