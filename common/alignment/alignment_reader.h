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

#include <cstddef>
#include <string>
#include <vector>

// A taxon in file order; taxon_number is its row in the data matrix.
struct TaxonName {
  std::string name;
  int taxon_number = 0;
};

// What the loading takes from the file, before either program turns the
// sequence characters into its own representation.
struct RawAlignment {
  std::vector<int> structure;          // per column: 1 opening, -1 closing, 0 unpaired
  std::vector<TaxonName> names;        // file order
  std::vector<std::string> sequences;  // per taxon, one character per column
  // Findings the program should print before it goes on, each a whole
  // line ending in '\n' (such as pseudoknot pairs read as unpaired).
  std::vector<std::string> warnings;

  int n_taxa() const { return static_cast<int>(names.size()); }
  int n_sites() const { return static_cast<int>(structure.size()); }
};

struct AlignmentSettings {
  std::size_t max_name_length = 99;  // characters that fit the program's name field
  bool echo = false;                 // print the file as read (diagnostics)
};

// Reads `file_name` once (a pipe or process substitution works too),
// recognises its format and returns its structure, names and sequences.
// Every malformed input is a fatal error that names the file and the line;
// a file that cannot be read fails with "GetNumberOfTaxaSitesAndAllocate
// Error: Unable to open file.", one of 2 GiB or more as too large.
RawAlignment LoadAlignment(const std::string& file_name, const AlignmentSettings& settings);
