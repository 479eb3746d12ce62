// The fitted tree as Newick text: unrooted (three members outermost, as
// MrBayes and IQ-TREE write it), the alignment's taxon names made safe as
// MrBayes reads them, fitted branch lengths.
#pragma once

#include <string>
#include <vector>

#include "alignment/alignment_reader.h"
#include "fit/fit_tree.h"

std::string FitTreeNewick(const FitTree& tree, const std::vector<TaxonName>& names);
