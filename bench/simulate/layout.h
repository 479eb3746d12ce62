// Laying the observed characters out as alignment columns under a
// consensus structure.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "evolution.h"

namespace sim {

struct Layout {
  std::string structure;    // '(' ')' '-'
  std::vector<int> column;  // the character at each column
  std::vector<int> site5;   // per character: its (5') column from 1; 0 when dropped
  std::vector<int> site3;   // per stem character: its 3' column from 1; 0 otherwise
};

// The pairs and unpaired columns of a bracket string ('(' ')' pair; '-' and
// '.' unpaired). Throws std::invalid_argument on unbalanced brackets or
// another character.
struct BracketCounts {
  int stems = 0;
  int loops = 0;
};
BracketCounts CountBrackets(const std::string& structure);

// A structure of hairpins: helices of 3 to 8 stacked pairs, each around a
// loop segment, with loop segments between and outside them.
std::string RandomStructure(int stems, int loops, std::mt19937_64& rng);

// Puts the characters that some taxon holds (`observed`) into the
// structure's pairs and unpaired columns in their `order`, stems in 5'
// order of their opening column. `structure` must have exactly as many of
// each; anchors go first and last because of their order.
Layout LayOut(const std::string& structure, const std::vector<Character>& characters,
              const std::vector<bool>& observed);

}  // namespace sim
