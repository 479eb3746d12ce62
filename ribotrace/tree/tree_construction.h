// Building the rooted binary tree of the analysis from Newick text.
#pragma once

#include <string>
#include <vector>

#include "alignment/alignment_reader.h"
#include "tree/clades.h"
#include "tree/node_numbering.h"
#include "tree/node_struct.h"

// Builds the tree of `tree_text` in `nodes` (2 x n_taxa - 1 records at their
// defaults), matches every tip to its row of the data file, numbers the
// nodes in pre-order from the root (0) and fills `down_pass` (children
// before parents, root last) and `up_pass` (root first), each of
// nodes.size() entries.
//
// An unrooted tree, whose outermost group has three members as MrBayes
// writes it, is rooted halfway along the branch of the taxon that ends the
// third member. Labels are matched with the names the NEXUS file gives the
// taxa (MrBayesTaxonNames) and with the data file's own names, exactly,
// then without regard to case. A name after a group's ')' is kept in the
// label of its interior node when the tree is rooted (two members
// outermost) and dropped otherwise. Fails, naming the label or taxon, on a label that
// begins with a digit, matches no taxon or appears twice, a taxon missing
// from the tree, a missing branch length, a group of other than two members
// (three at the outermost level), or unbalanced parentheses.
void SetUpTree(std::vector<NodeStruct>& nodes, std::vector<NodeStruct*>& up_pass,
               std::vector<NodeStruct*>& down_pass, const std::vector<TaxonName>& Names,
               const std::string& tree_text, int n_taxa);
