// Loading the alignment into ribotrace's record.
#pragma once

#include <cstddef>
#include <string>

#include "base/alignment.h"

// Longest taxon name ribotrace keeps (its name field holds 99 characters).
constexpr std::size_t kMaxTaxonNameLength = 99;

// The alignment of `file_name` in any format LoadAlignment reads: the
// structure, the names and the sequences, upper-cased and coded. Prints
// the reader's warnings, and the file with `listing`.
Alignment ReadDataFile(const std::string& file_name, bool listing = false);
