#include "alignment/structure_pairing.h"

#include <string>

#include "bailout/bailout.h"
#include "bailout/quoted.h"

std::vector<int> ParseStructureLine(std::string_view line, const std::string& file_name) {
  std::vector<int> structure(line.size(), kUnpairedSite);
  std::vector<int> open_columns;
  for (std::size_t column = 0; column < line.size(); ++column) {
    const char c = line[column];
    if (c == '(') {
      structure[column] = kOpeningSite;
      open_columns.push_back(static_cast<int>(column));
    } else if (c == ')') {
      if (open_columns.empty()) {
        Fail("ReadDataFile Error: Unbalanced structure in file '" + file_name +
             "': the ')' at column " + std::to_string(column) + " closes no open pair.");
      }
      structure[column] = kClosingSite;
      open_columns.pop_back();
    } else if (c != '-' && c != '.') {
      Fail("ReadDataFile Error: Unexpected character " + Quoted(std::string_view(&c, 1)) +
           " at column " + std::to_string(column) + " of the structure line in file '" + file_name +
           "' (expected '(', ')', '-' or '.').");
    }
  }
  if (!open_columns.empty()) {
    Fail("ReadDataFile Error: Unbalanced structure in file '" + file_name +
         "': the '(' at column " + std::to_string(open_columns.front()) +
         " has no closing partner.");
  }
  return structure;
}

std::vector<int> FindStemPartners(const std::vector<int>& structure) {
  // A stack finds the same partner as the running sum, in linear time.
  std::vector<int> partner(structure.size(), -1);
  std::vector<int> open_columns;
  for (std::size_t column = 0; column < structure.size(); ++column) {
    if (structure[column] == kOpeningSite) {
      open_columns.push_back(static_cast<int>(column));
    } else if (structure[column] == kClosingSite && !open_columns.empty()) {
      const int opening = open_columns.back();
      open_columns.pop_back();
      partner[opening] = static_cast<int>(column);
      partner[column] = opening;
    }
  }
  return partner;
}
