// Loading an RNA alignment with its consensus structure, whatever the
// file's format, for both programs. The file is read once; its first line
// tells the format:
//
// - "# STOCKHOLM 1.0": Stockholm, as Rfam and Infernal write it (see
//   stockholm_format.cpp): sequences in interleaved blocks, the structure
//   as the "#=GC SS_cons" line in WUSS notation.
// - anything else: the alignment-and-structure file (see
//   structure_line_format.cpp):
//
//     >header (ignored)
//     ((--..))        structure line: '(' opens a pair, ')' closes the nearest
//     >taxon1         open one, '-' or '.' is unpaired
//     ACGU-AGU        one sequence line per taxon, never wrapped
//     >taxon2
//     ...
//
// Lines may end in LF or CR LF in every format.
#pragma once

#include <string>

#include "alignment/raw_alignment.h"

// Reads `file_name` once (a pipe or process substitution works too),
// recognises its format and returns its structure, names and sequences.
// Every malformed input is a fatal error that names the file and the line;
// a file that cannot be read fails with "GetNumberOfTaxaSitesAndAllocate
// Error: Unable to open file.", one of 2 GiB or more as too large.
RawAlignment LoadAlignment(const std::string& file_name, const AlignmentSettings& settings);
