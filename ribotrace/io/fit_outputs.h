// The fit's two files: the fitted parameters in the layout of MrBayes's
// parameter summary (.pstat), so that a later run reads them as it reads
// MrBayes's, and the fitted tree as Newick.
#pragma once

#include <string>
#include <vector>

#include "alignment/alignment_reader.h"
#include "fit/model_fit.h"

// The summary's text: a header and one row per parameter (TL, the rates,
// the frequencies, the shapes), each fitted value in every statistic
// column but Variance (0) and ESS (NA). Rows of the partitions the
// alignment has: suffixed {1} for stems and {2} for loops when it has
// pairs, plain otherwise.
std::string FitParameterSummary(const FitResult& fit, bool has_stems, bool has_loops);

// Writes out_file.fit.pstat and out_file.fit.tre, each complete or not at all.
void WriteFitFiles(const std::string& out_file, const FitResult& fit,
                   const std::vector<TaxonName>& names, bool has_stems, bool has_loops);
