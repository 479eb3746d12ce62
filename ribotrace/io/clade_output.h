// The files of a run over a posterior sample that name its clades: the
// majority-rule consensus tree with the clade names, and the clade list.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "alignment/alignment_reader.h"
#include "tree/clade_summary.h"

// "clade_<id>": how every results file names a clade.
std::string CladeName(int id);

// The consensus tree in Newick, ending in ";\n": tips by their taxon names,
// clades by CladeName followed by "[&prob=P]" (P with six significant
// digits, as FigTree reads MrBayes's comments), the root as clade_0; every
// branch but the root's with its mean length (ten significant digits).
std::string ConsensusNewick(const std::vector<ConsensusNode>& nodes,
                            const std::vector<TaxonName>& Names);

// Tab-separated "Clade Probability Taxa Members", one row per clade in id
// order: its name, the share of the used trees that hold it, its number of
// taxa and their names (alignment order, separated by commas).
std::string CladeListText(std::span<const IdentifiedClade> clades,
                          const std::vector<TaxonName>& Names);
