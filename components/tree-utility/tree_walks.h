// The two node sequences every pass over the tree walks. They work on any
// node record with a `children` range of child pointers (empty at a tip).
//
// The walks use an explicit stack, so a deep caterpillar tree of many
// thousand taxa cannot exhaust the call stack.
#pragma once

#include <cstddef>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

namespace tree_utility_detail {

template <typename Node>
void Store(std::span<Node*> sequence, int& counter, Node* node) {
  if (counter < 0 || static_cast<std::size_t>(counter) >= sequence.size()) {
    throw std::length_error("tree walk: the tree has more nodes than the sequence holds");
  }
  sequence[static_cast<std::size_t>(counter++)] = node;
}

}  // namespace tree_utility_detail

// Down-pass (post-order) sequence from `counter` on: every node after the
// subtrees of its children, taken in their order, so the root stands last.
template <typename Node>
void GetDownPassSequence(Node* root, std::span<Node*> sequence, int& counter) {
  if (root == nullptr) return;
  // Each entry: the node and whether its children have been pushed already.
  std::vector<std::pair<Node*, bool>> pending{{root, false}};
  while (!pending.empty()) {
    auto [node, expanded] = pending.back();
    if (expanded) {
      pending.pop_back();
      tree_utility_detail::Store(sequence, counter, node);
      continue;
    }
    pending.back().second = true;
    for (auto child = node->children.rbegin(); child != node->children.rend(); ++child) {
      pending.emplace_back(*child, false);
    }
  }
}

// Up-pass (pre-order) sequence from `counter` on: every node before the
// subtrees of its children, taken in their order, the root first.
template <typename Node>
void GetUpPassSequence(Node* root, std::span<Node*> sequence, int& counter) {
  if (root == nullptr) return;
  std::vector<Node*> pending{root};
  while (!pending.empty()) {
    Node* node = pending.back();
    pending.pop_back();
    tree_utility_detail::Store(sequence, counter, node);
    for (auto child = node->children.rbegin(); child != node->children.rend(); ++child) {
      pending.push_back(*child);
    }
  }
}
