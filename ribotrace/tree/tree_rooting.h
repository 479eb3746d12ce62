// Choosing where the tree is rooted: on the branch above an outgroup that
// the user names, instead of where the tree file put it.
#pragma once

#include <string>
#include <vector>

#include "alignment/alignment_reader.h"
#include "tree/node_struct.h"

// The data rows of the outgroup's taxa, in the order given, each name
// matched to the data file's names exactly, else the one name equal to it
// but for case. Fails on an unknown or ambiguous name, and when the names
// cover every taxon (no branch could root the tree between them and the
// rest).
std::vector<int> FindOutgroupTaxa(const std::vector<std::string>& outgroup,
                                  const std::vector<TaxonName>& Names);

// Moves the root of the built tree to the middle of the branch that
// separates the outgroup taxa from all others, read as an unrooted tree
// (the two branches at the old root count as one). The ingroup becomes the
// root's first child, the outgroup its second; elsewhere children keep
// their order where their branch keeps its direction. The root record stays
// the root record; every node is numbered again in pre-order and both node
// sequences are filled again. Fails, naming the taxa, when no branch
// separates the outgroup from the rest.
void RootOnOutgroup(std::vector<NodeStruct*>& up_pass, std::vector<NodeStruct*>& down_pass,
                    const std::vector<int>& outgroup_taxa, const std::vector<TaxonName>& Names);
