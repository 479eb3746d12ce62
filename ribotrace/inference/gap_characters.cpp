#include "inference/gap_characters.h"

#include "inference/likelihood_blocks.h"
#include "sequence/state_coding.h"

namespace {

GapObservation Observe(int code, int partner_code) {
  if (code == kGapCode || partner_code == kGapCode) return GapObservation::kAbsent;
  if (code == kMissingCode || partner_code == kMissingCode) return GapObservation::kUnknown;
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
  for (int t = 0; t < alignment.n_taxa; ++t) {
    for (std::size_t k = 0; k < n_characters; ++k) {
      const int code = alignment.Code(t, static_cast<int>(characters.first_column[k]));
      const int second = characters.second_column[k];
      const GapObservation seen = Observe(code, second < 0 ? code : alignment.Code(t, second));
      characters.observed[static_cast<std::size_t>(t) * n_characters + k] = seen;
      if (seen == GapObservation::kAbsent) ++absent[k];
    }
  }
  for (const int count : absent) {
    characters.absence_frequency.push_back(static_cast<double>(count) / alignment.n_taxa);
  }
  return characters;
}
