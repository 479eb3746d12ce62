#include "fit/partial_slots.h"

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

namespace {

// Tips below each node.
std::vector<int> SubtreeSizes(const FitTree& tree) {
  std::vector<int> size(static_cast<std::size_t>(tree.size()), 1);
  for (const int node : tree.children_first) {
    int& tips = size[static_cast<std::size_t>(node)];
    tips = 0;
    for (const int child : tree.Children(node)) tips += size[static_cast<std::size_t>(child)];
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
    // Largest first, ties in the children's order; pushed in reverse.
    const std::span<const int> children = tree.Children(node);
    std::vector<int> larger_first(children.begin(), children.end());
    std::stable_sort(larger_first.begin(), larger_first.end(), [&](int a, int b) {
      return size[static_cast<std::size_t>(a)] > size[static_cast<std::size_t>(b)];
    });
    pending.push_back({node, true});
    for (auto child = larger_first.rbegin(); child != larger_first.rend(); ++child) {
      pending.push_back({*child, false});
    }
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
    for (const int child : tree.Children(node)) {
      const int child_slot = plan.slot[static_cast<std::size_t>(child)];
      if (child_slot >= 0) free.push_back(child_slot);
    }
  }
  return plan;
}
