// The MrBayes NEXUS file beside MrBayes's outputs (x.nex for x.nex.con.tre,
// x.nex.pstat, x.nex.run1.t, x.nex.run1.p): the alignment MrBayes analysed.
// When it is there, it must hold the alignment and structure that ribotrace
// was given; trees and parameters of another family, or of an alignment
// whose structure changed after MrBayes ran, give results that look right.
#pragma once

#include <string>
#include <vector>

#include "base/alignment.h"

// "x.nex" for MrBayes's output files of x.nex; "" for a name MrBayes does
// not give its outputs.
std::string AnalysedNexusFile(const std::string& mrbayes_output);

// For each of `mrbayes_outputs` whose NEXUS file is beside it: fails,
// naming both files and the first difference, when that file's matrix
// (taxa, their sequences) or stem pairs differ from `alignment`, read from
// `data_file`. A NEXUS file without a matrix is not checked.
void CheckAnalysedAlignment(const std::vector<std::string>& mrbayes_outputs,
                            const Alignment& alignment, const std::string& data_file);
