// The conversion from the alignment-and-structure file to the NEXUS file.
#pragma once

#include <string>

#include "mrbayes_block.h"

namespace pairnex {

// Counts and reads data_file, pairs the stems, warns about characters that
// MrBayes rejects, and writes output_file. Every failure is fatal.
void ConvertFile(const std::string& data_file, const std::string& output_file,
                 const MrBayesRun& run = {});

}  // namespace pairnex
