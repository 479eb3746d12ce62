// Sequence characters that MrBayes refuses in an RNA matrix. pairnex still
// writes every character as read, but warns first: MrBayes would otherwise
// stop on the first one only after the user has started it.
#pragma once

#include <optional>
#include <string>

#include "pairnex_alignment.h"

namespace pairnex {

// A C G T U, the IUPAC ambiguity letters, '-' and '?' (upper case).
bool IsMrBayesRnaCharacter(char c);

struct RejectedCharacters {
  char first = 0;
  int taxon = 0;   // row of the first one, in file order
  int site = 0;    // its 0-based column
  long count = 0;  // in the whole matrix
};

// The first rejected character (row by row) and how many there are; nullopt
// when MrBayes accepts the whole matrix.
std::optional<RejectedCharacters> FindRejectedCharacters(const PairnexAlignment& alignment);

// The one warning line (with its newline) that names them.
std::string DescribeRejectedCharacters(const RejectedCharacters& rejected,
                                       const PairnexAlignment& alignment);

}  // namespace pairnex
