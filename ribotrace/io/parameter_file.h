// Reading the substitution parameters from MrBayes's parameter summary
// (.pstat of MrBayes 3.2, or the six-column table of MrBayes 3.1).
#pragma once

#include <string>

#include "model/parameter_record.h"

// The posterior means of the parameters, in the slots of ParameterRecord.
// With structure the table must hold the 32 rows of the stem (partition 1)
// and loop (partition 2) models from its row "r(A<->C){1}" on; without
// structure the 10 rows of a single GTR model from its row "r(A<->C)" on,
// which fill the loop slots. Unfilled slots hold 1.0. Fails, naming the file
// and the row, when the table is missing, short, or not what a slot needs.
ParameterRecord ReadParameterFile(const std::string& file_name, bool isStructure);
