// The presence/absence characters of an alignment: whether a taxon has the
// column at all (a gap says it has not). Every loop column is one
// character; a stem pair is one character for both its columns, present
// only where both are, so that a stem is gained or lost as a whole.
// Characters come in the order of the likelihood blocks (loop columns and
// the opening columns of stem pairs, by column).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/alignment.h"
#include "sequence/stems_and_loops.h"

// What a taxon shows of one character. A gap before the taxon's first
// residue or after its last (a truncated sequence) counts as missing data.
enum class GapObservation : std::uint8_t {
  kPresent,
  kAbsent,   // a gap within the sequence, in the loop column or either column of the pair
  kUnknown,  // missing data ('?', an end gap), and no gap within the sequence
};

// How presence and absence evolve: a two-state character that is lost and
// regained anywhere on the tree, or insertions and deletions (a single
// origin per character, see indel_gaps.h).
enum class GapModel { kTwoState, kIndel };

struct GapCharacters {
  std::size_t size() const { return first_column.size(); }
  GapObservation Observed(int taxon, std::size_t character) const {
    return observed[static_cast<std::size_t>(taxon) * size() + character];
  }

  std::vector<std::size_t> first_column;  // the loop column, or the stem pair's opening column
  std::vector<int> second_column;         // the stem pair's closing column; -1 for a loop column
  std::vector<std::size_t> of_column;     // every column's character
  // The share of the taxa that show the character in which it is absent:
  // the stationary absence frequency of its model. Without end gaps and
  // missing data, a loop column's gap fraction, and for a stem pair the
  // share of taxa with either side gapped. Where no taxon shows it, the
  // plain gap fraction (1 for a column gapped in every taxon).
  std::vector<double> absence_frequency;
  std::vector<GapObservation> observed;  // taxon-major: taxon x character
};

GapCharacters MakeGapCharacters(const Alignment& alignment, const std::vector<SiteRecord>& SS);
