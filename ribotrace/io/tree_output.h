// The tree of a run as the user reads it: rooted Newick in which every node
// carries the name the other results use for it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "alignment/alignment_reader.h"
#include "tree/node_struct.h"

// "anc_<index>": how every results file names an interior node.
std::string NodeName(int index);

// A taxon name as a Newick label: as it is, or in single quotes (inner
// quotes doubled) when it holds a blank or Newick punctuation ( ) [ ] ' : ; ,
// or is empty.
std::string NewickLabel(std::string_view name);

// The rooted tree below `root` in Newick, ending in ";\n": tips by their
// taxon names in `Names`, interior nodes (the root too) by NodeName, every
// branch but the root's with its length in the shortest text that reads
// back as the same double. Children in left-right order, so that reading
// the text back numbers the nodes in the same pre-order.
std::string LabelledNewick(const NodeStruct& root, const std::vector<TaxonName>& Names);
