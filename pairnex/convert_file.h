// The conversion from an alignment with its structure (any format the
// shared reader takes) to the NEXUS file.
#pragma once

#include <string>

#include "mrbayes_block.h"

namespace pairnex {

// Loads data_file, pairs the stems, renames taxa that MrBayes would refuse,
// warns about what MrBayes will stop at (fewer than 4 taxa, characters it
// rejects) and writes output_file, with its names file when taxa were
// renamed. Every failure is fatal.
void ConvertFile(const std::string& data_file, const std::string& output_file,
                 const MrBayesRun& run = {});

}  // namespace pairnex
