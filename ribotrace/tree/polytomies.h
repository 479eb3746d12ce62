// Trees with polytomies. MrBayes's consensus tree leaves a group
// unresolved whenever the data do not resolve it, so a node may have any
// number of children. The analysis runs on the same tree resolved with
// branches of length 0: its likelihood and posteriors are exactly those of
// the polytomy, since a branch of length 0 changes nothing. The nodes that
// resolving adds are no nodes of the user's tree: every output treats an
// interior node on a branch of length 0 as one node with its parent.
#pragma once

#include <string>
#include <string_view>

#include "tree/node_struct.h"

// The Newick text (without its ';') with every group of more than two
// members (three in the outermost group, as an unrooted tree has) nested
// into groups of two, each new group on a branch of length 0:
// (a,b,c,d) becomes (((a,b):0,c):0,d), the outermost (a,b,c,d) becomes
// ((a,b):0,c,d). Text outside groups is left as it is.
std::string ResolvePolytomies(std::string_view tree);

// An interior node below the root on a branch of length 0: part of its
// parent's node, as a polytomy resolved with zero-length branches.
inline bool IsMergedWithParent(const NodeStruct& node) {
  return !node.IsTip() && node.anc != nullptr && node.length == 0.0;
}

// An interior node of the user's tree other than the root: a node that
// gets a name (anc_<n>), samples, table rows and a most probable sequence.
inline bool IsNamedInteriorNode(const NodeStruct& node) {
  return !node.IsTip() && node.anc != nullptr && !IsMergedWithParent(node);
}
