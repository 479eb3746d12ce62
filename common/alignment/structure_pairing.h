// Secondary structure in bracket notation.
#pragma once

#include <string_view>
#include <vector>

// Pairing values of the structure array.
constexpr int kOpeningSite = 1;
constexpr int kClosingSite = -1;
constexpr int kUnpairedSite = 0;

// Converts a structure line ('(' ')' '-' '.') into pairing values. A
// character outside that set, or brackets that do not balance, are fatal
// errors naming `file_name` and the 0-based column.
std::vector<int> ParseStructureLine(std::string_view line, const std::string& file_name);

// For a balanced pairing array: the partner column of every paired column,
// -1 for unpaired columns. A ')' closes the nearest open '(' (the first
// column at which the running sum of pairing values after the opening
// column reaches -1).
std::vector<int> FindStemPartners(const std::vector<int>& structure);
