#include "tree/node_numbering.h"

#include <span>

#include "tree/polytomies.h"
#include "tree-utility/tree_walks.h"

void NumberNodesAndSequences(NodeStruct* root, std::vector<NodeStruct*>& up_pass,
                             std::vector<NodeStruct*>& down_pass) {
  root->index = 0;
  int counter = 1;
  for (NodeStruct* child : root->children) ReIndexNodesForTree(child, counter);
  int position = 0;
  GetDownPassSequence(root, std::span<NodeStruct*>(down_pass), position);
  // Nodes that a resolved polytomy added come after all others, so that the
  // nodes of the user's tree have the numbers of its own pre-order.
  for (NodeStruct* node : down_pass) {
    if (IsMergedWithParent(*node)) node->index = counter++;
  }
  counter = 0;
  GetUpPassSequence(root, std::span<NodeStruct*>(up_pass), counter);
}

void ReIndexNodesForTree(NodeStruct* node, int& counter) {
  if (node == nullptr) return;
  std::vector<NodeStruct*> pending{node};
  while (!pending.empty()) {
    NodeStruct* current = pending.back();
    pending.pop_back();
    // A node that resolving a polytomy added is numbered after the others.
    if (!IsMergedWithParent(*current)) current->index = counter++;
    pending.insert(pending.end(), current->children.rbegin(), current->children.rend());
  }
}
