// Lists given on the command line as one argument, separated by commas
// (outgroup taxa, the runs' .t and .p files).
#pragma once

#include <algorithm>
#include <string>
#include <vector>

// The pieces between the commas, in order; empty pieces are kept so that
// the caller can refuse "a,,b" or a trailing comma with its own message.
inline std::vector<std::string> SplitAtCommas(const std::string& text) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    pieces.push_back(text.substr(start, comma - start));
    if (comma == text.size()) return pieces;
    start = comma + 1;
  }
}

inline bool HasEmptyPiece(const std::vector<std::string>& pieces) {
  return std::any_of(pieces.begin(), pieces.end(), [](const std::string& p) { return p.empty(); });
}
