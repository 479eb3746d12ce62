// Reading MrBayes's sampled parameters (.p): one row per sample of a run,
// the generation, the log-likelihood and every parameter's value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/model_params.h"

struct ParameterSampleRow {
  long long generation = 0;     // Gen: pairs the row with the .t statement "tree gen.<Gen>"
  double log_likelihood = 0.0;  // LnL: MrBayes's log-likelihood of that tree and these values
  ModelParams parameters;
};

// True when `text` (as ReadNexusText gives it: lower-cased, without
// comments) is a .p file: its first line with any field starts with the
// columns Gen and LnL.
bool IsParameterSample(std::string_view text);

// Every row of the .p text, in file order. The columns are found by their
// header names (case ignored): Gen, LnL, and the rows of the parameter
// summary's model (r(A<->C){1} ... pi(T){2}, the alpha shapes when
// present; the unpartitioned names without structure); LnPr and the tree
// length TL are passed over. Fails, naming the file and the line (and the
// column), on a column of a model ribotrace does not compute, a missing or
// repeated column, a row with another number of fields than the header, a
// Gen that is not a whole number or does not increase, or a value that the
// parameter summary's checks refuse.
std::vector<ParameterSampleRow> ReadParameterSample(std::string_view text,
                                                    const std::string& file_name, bool isStructure);
