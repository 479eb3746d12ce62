// The numbers and pass orders of a built tree's nodes: pre-order numbers
// (root 0), children before parents for the down pass, the root first for
// the up pass.
#pragma once

#include <vector>

#include "tree/node_struct.h"

// Numbers `node` and its subtree in pre-order (the node, then its
// children's subtrees in their order), starting at `counter`, which is
// advanced past them.
void ReIndexNodesForTree(NodeStruct* node, int& counter);

// Numbers the tree below `root` in pre-order (root 0) and fills both node
// sequences: children before parents in `down_pass`, the root first in
// `up_pass`.
void NumberNodesAndSequences(NodeStruct* root, std::vector<NodeStruct*>& up_pass,
                             std::vector<NodeStruct*>& down_pass);
