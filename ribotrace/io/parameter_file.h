// Reading the substitution parameters from MrBayes's parameter summary
// (.pstat of MrBayes 3.2, or the six-column table of MrBayes 3.1).
#pragma once

#include <limits>
#include <string>

#include "io/nexus_text.h"

#include "model/model_params.h"

// The posterior means of the parameters, as the model's value.
// With structure the table must hold the 32 rows of the stem (partition 1)
// and loop (partition 2) models, r(A<->C){1} ... pi(T){2}; without
// structure the 10 rows of a single GTR model, r(A<->C) ... pi(T), which
// fill the loop slots. Unfilled slots hold 1.0. The gamma shapes of
// rates=gamma, alpha{1} and alpha{2} (alpha{all} when the partitions share
// one; alpha without structure), fill the alpha slots, which hold 0.0
// without them.
//
// Rows are matched by their full names, ignoring case and order; the mean
// is taken from the column that the header row (Parameter, Mean, ...) names.
// Fails, naming the file, the line and the row, when a row is unknown to
// the model (any parameter but the tree length TL: pinvar, kappa, m{1}, ...),
// appears twice or is missing, when a row has another number of fields than
// the header, or when a value is not a finite number, a rate is negative, a
// frequency lies outside (0, 1], a shape is not positive or a model's
// frequencies do not sum to 1 within 0.001. With `analysis_id`, stores there
// the file's MrBayes "[ID: ...]" ("" if none).
ModelParams ReadParameterFile(const std::string& file_name, bool isStructure,
                              std::string* analysis_id = nullptr);

// MrBayes's own convergence figures in a parameter summary: the smallest
// effective sample size (the ESS column of one run, minESS of several) and
// the largest PSRF (several runs only) over the parameters; NaN where the
// table has no such column or no number in it ("NA").
struct SummaryDiagnostics {
  double min_ess = std::numeric_limits<double>::quiet_NaN();
  double max_psrf = std::numeric_limits<double>::quiet_NaN();
};
SummaryDiagnostics ReadSummaryDiagnostics(const NexusText& nexus);

// The same, from the text of the file as ReadNexusText (with comment line
// breaks kept) read it.
ModelParams ReadParameterText(const NexusText& nexus, const std::string& file_name,
                              bool isStructure);
