// Loading the alignment-and-structure file into ribotrace's record.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "alignment/alignment_reader.h"
#include "base/alignment.h"

// Longest taxon name ribotrace keeps (its name field holds 99 characters).
constexpr std::size_t kMaxTaxonNameLength = 99;

// Reading pass into an alignment whose buffers the driver allocated: the structure, the names and the
// sequences, upper-cased and coded. Echoes the file when diagnostics are on.
void ReadDataFile(const std::string& file_name, Alignment& alignment);
