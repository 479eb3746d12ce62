#include "pairnex_alignment.h"

#include <cctype>

#include "alignment/structure_pairing.h"
#include "alignment/taxon_names.h"

namespace pairnex {

void TakeRawAlignment(RawAlignment raw, PairnexAlignment& alignment) {
  alignment.structure = std::move(raw.structure);
  alignment.nexus_names = MrBayesTaxonNames(raw.names);
  alignment.Names = std::move(raw.names);
  std::size_t cell = 0;
  for (const std::string& sequence : raw.sequences) {
    for (const char c : sequence) {
      alignment.dmatrix[cell++] = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
}

void InitializeStemPairs(PairnexAlignment& alignment) {
  const std::vector<int> partners = FindStemPartners(alignment.structure);
  for (int s = 0; s < alignment.n_sites; ++s) {
    SiteRecord& record = alignment.SS[s];
    record.site = s;
    record.partner = partners[s];
    record.paired = partners[s] >= 0 ? 1 : 0;
    if (alignment.structure[s] == kOpeningSite) alignment.isStructure = true;
  }
}

}  // namespace pairnex
