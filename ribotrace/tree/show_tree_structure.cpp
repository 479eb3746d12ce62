#include "tree/show_tree_structure.h"

#include <cstdio>

namespace {

int IndexOf(const NodeStruct* node) { return node == nullptr ? -1 : node->index; }

// The node's child `i`, null where it has fewer children.
const NodeStruct* Child(const NodeStruct& node, std::size_t i) {
  return i < node.children.size() ? node.children[i] : nullptr;
}

void PrintSequence(const char* title, std::span<NodeStruct* const> sequence) {
  std::printf("%s:", title);
  for (const NodeStruct* node : sequence) std::printf(" %d", IndexOf(node));
  std::printf("\n");
}

}  // namespace

void ShowTreeStructure(const std::vector<NodeStruct>& nodes, std::span<NodeStruct* const> down_pass,
                       std::span<NodeStruct* const> up_pass) {
  std::printf("\nTree structure (%zu nodes; -1: none)\n", nodes.size());
  std::printf("%6s %6s %6s %6s %14s %14s  %s\n", "node", "left", "right", "anc", "length",
              "scaled_length", "taxon");
  for (const NodeStruct* node : up_pass) {
    std::printf("%6d %6d %6d %6d %14.6e %14.6e", node->index, IndexOf(Child(*node, 0)),
                IndexOf(Child(*node, 1)), IndexOf(node->anc), node->length, node->scaled_length);
    if (node->IsTip()) std::printf("  %d %s", node->taxon_index, node->label.c_str());
    // Children after the second, of a node with more than two.
    for (std::size_t i = 2; i < node->children.size(); ++i) {
      std::printf("  +%d", node->children[i]->index);
    }
    std::printf("\n");
  }
  PrintSequence("Down-pass sequence", down_pass);
  PrintSequence("Up-pass sequence", up_pass);
}
