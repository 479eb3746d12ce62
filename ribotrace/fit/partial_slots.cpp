#include "fit/partial_slots.h"

#include <utility>

namespace {

// Tips below each node.
std::vector<int> SubtreeSizes(const FitTree& tree) {
  std::vector<int> size(static_cast<std::size_t>(tree.size()), 1);
  for (const int node : tree.children_first) {
    const auto i = static_cast<std::size_t>(node);
    size[i] = size[static_cast<std::size_t>(tree.left[i])] +
              size[static_cast<std::size_t>(tree.right[i])];
  }
  return size;
}

std::vector<int> LargerFirst(const FitTree& tree) {
  const std::vector<int> size = SubtreeSizes(tree);
  std::vector<int> order;
  // Each node is pushed twice: first to push its children, then to be emitted.
  for (std::vector<std::pair<int, bool>> pending{{0, false}}; !pending.empty();) {
    const auto [node, expanded] = pending.back();
    pending.pop_back();
    if (expanded) {
      order.push_back(node);
      continue;
    }
    if (tree.IsTip(node)) continue;
    const auto i = static_cast<std::size_t>(node);
    int larger = tree.left[i], smaller = tree.right[i];
    if (size[static_cast<std::size_t>(larger)] < size[static_cast<std::size_t>(smaller)]) {
      std::swap(larger, smaller);
    }
    pending.push_back({node, true});
    pending.push_back({smaller, false});
    pending.push_back({larger, false});
  }
  return order;
}

}  // namespace

PartialSlots PlanPartialSlots(const FitTree& tree) {
  PartialSlots plan;
  plan.order = LargerFirst(tree);
  plan.slot.assign(static_cast<std::size_t>(tree.size()), -1);
  std::vector<int> free;
  for (const int node : plan.order) {
    int& slot = plan.slot[static_cast<std::size_t>(node)];
    if (free.empty()) {
      slot = plan.count++;
    } else {
      slot = free.back();
      free.pop_back();
    }
    // The children's slots are free once the node is computed; the node
    // never shares a slot with a child it reads.
    for (const int child :
         {tree.left[static_cast<std::size_t>(node)], tree.right[static_cast<std::size_t>(node)]}) {
      const int child_slot = plan.slot[static_cast<std::size_t>(child)];
      if (child_slot >= 0) free.push_back(child_slot);
    }
  }
  return plan;
}
