// Taxon names as MrBayes reads them. MrBayes takes a matrix name as a
// NEXUS word and stops at most punctuation ('/', ':', '|', quotes, ...), so
// a name such as "AB001234.1/1-356" must be rewritten before it reaches
// the NEXUS file; ribotrace applies the same rule to match the names in
// MrBayes's trees to the alignment's own names.
#pragma once

#include <string>
#include <vector>

#include "alignment/alignment_reader.h"

// The name of every taxon in the NEXUS file, in the order of `taxa`: a name made
// only of letters, digits, '_' and '.' and not beginning with a digit is
// kept; in any other, each run of other characters becomes '_' (an empty
// name becomes "unnamed"), and "t_" goes before a leading digit. Names
// that then coincide, or were duplicates, get "_2", "_3", ...: the first
// of them in file order, preferring one kept as it was, keeps the plain
// name. Names are compared without regard to case, because tree files are
// read without case.
std::vector<std::string> MrBayesTaxonNames(const std::vector<TaxonName>& taxa);
