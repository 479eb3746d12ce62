// One whole ribotrace analysis, from the input files to the results files.
#pragma once

#include "run/run_values.h"

// Runs every stage in its fixed order. Throws FatalError on any failure.
// With a parameter summary (.pstat) the tree file's (last) tree is
// analysed with the mean parameters, a sample of one; with MrBayes's
// sampled parameters (.p, recognised by its header) the same analysis runs
// over the posterior sample of trees and parameters, its results keyed by
// clade (see sample_analysis.h).
void CalcAncestralStates(const RunValues& values);
