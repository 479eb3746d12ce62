// The names file that accompanies a NEXUS file whose taxa had to be
// renamed for MrBayes: one line per taxon, "name in the NEXUS file<TAB>name
// in the data file", in file order.
#pragma once

#include <string>

#include "pairnex_alignment.h"

namespace pairnex {

// Where the names file of `output_file` goes.
inline std::string NamesFilePath(const std::string& output_file) { return output_file + ".names"; }

// True when some taxon has another name in the NEXUS file than in the data file.
bool AnyNameChanged(const PairnexAlignment& alignment);

std::string ComposeNameTable(const PairnexAlignment& alignment);

// The warning that says how many names changed (and how many of them
// repeated an earlier name) and where the table goes; empty when none did.
std::string DescribeRenamedTaxa(const PairnexAlignment& alignment, const std::string& output_file);

}  // namespace pairnex
