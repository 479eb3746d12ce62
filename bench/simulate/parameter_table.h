// MrBayes's parameter summary (.pstat): read as ribotrace reads it, and
// written in the same layout so that the true values can be given to
// ribotrace as its param_file.
#pragma once

#include <string>

#include "substitution_model.h"

namespace sim {

// Reads the Mean column of the rows r(..){1}, r(..){2}, pi(..){1},
// pi(..){2}, alpha{1}, alpha{2}, alpha{all}, m{1}, m{2} (without {n} for a
// single loop model, when `has_stems` is false); TL is passed over. Every
// rate and frequency row must be there. Throws std::runtime_error naming
// the file and line.
ModelParameters ReadParameterTable(const std::string& path, bool has_stems);

// The table with Mean = Median = Lower = Upper = the true value, Variance
// 0. `tree_length` fills TL. Alpha rows only for partitions with gamma
// rates; m{1}, m{2} only when the model has multipliers.
std::string WriteParameterTable(const ModelParameters& model, bool has_stems, double tree_length);

}  // namespace sim
