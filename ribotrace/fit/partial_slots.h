// Buffers for a likelihood that keeps no partials. A search over the
// model's parameters needs only the likelihood at the root; if every
// node's partials were stored, as the branch passes need, an evaluation
// would stream the whole tree's partials through memory (hundreds of
// megabytes on a few hundred taxa with 16 states). Instead a node's
// partials go to a slot that is free again once its parent is computed,
// and a few slots stay in cache.
#pragma once

#include <vector>

#include "fit/fit_tree.h"

struct PartialSlots {
  // The interior nodes, each after its children, the larger subtree of
  // each node first: then at most about log2(tips) slots are in use.
  std::vector<int> order;
  std::vector<int> slot;  // per node: its slot; -1 at a tip
  int count = 0;          // slots needed
};

PartialSlots PlanPartialSlots(const FitTree& tree);
