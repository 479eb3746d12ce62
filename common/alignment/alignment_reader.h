// The alignment-and-structure file shared by both programs:
//
//   >header (ignored)
//   ((--..))        structure line: '(' opens a pair, ')' closes the nearest
//   >taxon1         open one, '-' or '.' is unpaired
//   ACGU-AGU        one sequence line per taxon, never wrapped
//   >taxon2
//   ...
//
// It is read in two passes, as both programs always have: a counting pass
// that sizes the run, then a reading pass that fills the structure, the
// names and the sequences. Lines may end in LF or CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct AlignmentCounts {
  int n_taxa = 0;   // lines beginning with '>' minus the header
  int n_sites = 0;  // length of every line that does not begin with '>'
};

// A taxon in file order; taxon_number is its row in the data matrix.
struct TaxonName {
  std::string name;
  int taxon_number = 0;
};

// What the reading pass takes from the file, before either program turns the
// sequence characters into its own representation.
struct RawAlignment {
  std::vector<int> structure;          // per column: 1 opening, -1 closing, 0 unpaired
  std::vector<TaxonName> names;        // file order
  std::vector<std::string> sequences;  // per taxon, exactly n_sites characters as in the file
};

struct ReadingPassSettings {
  std::size_t max_name_length = 99;  // characters that fit the program's name field
  bool echo = false;                 // print the file as read (diagnostics)
};

// Counting pass. Fails with the program's messages when the file cannot be
// opened or its sequence lines differ in length.
AlignmentCounts GetNumberOfTaxaSitesAndAllocate(const std::string& file_name);

// Reading pass, with the counts of the counting pass. Rejects a structure
// line with a character other than ( ) - . or with unbalanced brackets, a
// name longer than the name field, and name and sequence lines out of step.
RawAlignment ReadAlignmentFile(const std::string& file_name, const AlignmentCounts& counts,
                               const ReadingPassSettings& settings);
