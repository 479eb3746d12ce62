#include "inference/gap_characters.h"

#include "inference/likelihood_blocks.h"
#include "sequence/state_coding.h"

namespace {

// What one taxon shows at one column. A gap before the taxon's first
// residue or after its last is a truncated sequence, not a deletion: it
// says nothing about whether the column exists, like missing data.
GapObservation ObserveColumn(const Alignment& alignment, int taxon, int column, int first,
                             int last) {
  const int code = alignment.Code(taxon, column);
  if (code == kGapCode) {
    return column < first || column > last ? GapObservation::kUnknown : GapObservation::kAbsent;
  }
  return code == kMissingCode ? GapObservation::kUnknown : GapObservation::kPresent;
}

// A stem pair is absent where either side is, known only where both are.
GapObservation Combine(GapObservation a, GapObservation b) {
  if (a == GapObservation::kAbsent || b == GapObservation::kAbsent) return GapObservation::kAbsent;
  if (a == GapObservation::kUnknown || b == GapObservation::kUnknown) {
    return GapObservation::kUnknown;
  }
  return GapObservation::kPresent;
}

}  // namespace

GapCharacters MakeGapCharacters(const Alignment& alignment, const std::vector<SiteRecord>& SS) {
  GapCharacters characters;
  const std::size_t n_sites = static_cast<std::size_t>(alignment.n_sites);
  characters.of_column.assign(n_sites, 0);
  for (std::size_t c = 0; c < n_sites; ++c) {
    if (!OwnsBlock(alignment.structure[c])) continue;
    const bool stem = alignment.structure[c] == kOpeningColumn;
    characters.of_column[c] = characters.size();
    if (stem) characters.of_column[static_cast<std::size_t>(SS[c].partner)] = characters.size();
    characters.first_column.push_back(c);
    characters.second_column.push_back(stem ? SS[c].partner : -1);
  }
  const std::size_t n_characters = characters.size();
  characters.observed.resize(static_cast<std::size_t>(alignment.n_taxa) * n_characters);
  std::vector<int> absent(n_characters, 0);
  std::vector<int> known(n_characters, 0);
  std::vector<int> gapped(n_characters, 0);
  for (int t = 0; t < alignment.n_taxa; ++t) {
    int first = 0;
    int last = alignment.n_sites - 1;
    while (first <= last && alignment.Code(t, first) == kGapCode) ++first;
    while (last >= first && alignment.Code(t, last) == kGapCode) --last;
    for (std::size_t k = 0; k < n_characters; ++k) {
      const int column = static_cast<int>(characters.first_column[k]);
      const int second = characters.second_column[k];
      GapObservation seen = ObserveColumn(alignment, t, column, first, last);
      bool gap = alignment.Code(t, column) == kGapCode;
      if (second >= 0) {
        seen = Combine(seen, ObserveColumn(alignment, t, second, first, last));
        gap = gap || alignment.Code(t, second) == kGapCode;
      }
      characters.observed[static_cast<std::size_t>(t) * n_characters + k] = seen;
      absent[k] += seen == GapObservation::kAbsent ? 1 : 0;
      known[k] += seen != GapObservation::kUnknown ? 1 : 0;
      gapped[k] += gap ? 1 : 0;
    }
  }
  for (std::size_t k = 0; k < n_characters; ++k) {
    // Where no taxon shows the character either way, its plain gap
    // fraction: a column gapped in every taxon is absent everywhere.
    const double frequency = known[k] > 0 ? static_cast<double>(absent[k]) / known[k]
                                          : static_cast<double>(gapped[k]) / alignment.n_taxa;
    characters.absence_frequency.push_back(frequency);
  }
  return characters;
}
