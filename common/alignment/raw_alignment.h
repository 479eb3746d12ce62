// What an alignment file holds once read, in any format, before either
// program turns its characters into its own representation.
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
