// Diagnostic print of the tree.
#pragma once

#include <span>
#include <vector>

#include "tree/node_struct.h"

// For the diagnostic listing: prints every node (number, children,
// ancestor, branch length, hidden branch length, taxon) and the two node
// sequences on standard output.
void ShowTreeStructure(const std::vector<NodeStruct>& nodes, std::span<NodeStruct* const> down_pass,
                       std::span<NodeStruct* const> up_pass);
