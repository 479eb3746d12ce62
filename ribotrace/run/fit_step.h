// The maximum-likelihood fit before an analysis (--fit): the tree file gives
// the topology and starting lengths, the fit gives the model; its files
// then stand in for MrBayes's tree and parameter summary.
#pragma once

#include "run/run_values.h"

// Fits, prints the log-likelihood, the free parameters, AIC and a warning
// for each parameter that ended at a bound, writes out_file.fit.pstat and
// out_file.fit.tre, and returns the values with those as the tree and
// parameter files.
RunValues FitBeforeAnalysis(RunValues values);
