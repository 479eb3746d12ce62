#include "sequence/stems_and_loops.h"

#include <cstdio>

#include "alignment/structure_pairing.h"
#include "sequence/state_coding.h"

namespace {

double GapFraction(const Alignment& alignment, int site) {
  int gaps = 0;
  for (int t = 0; t < alignment.n_taxa; ++t) {
    if (alignment.Code(t, site) == kGapCode) ++gaps;
  }
  return static_cast<double>(gaps) / alignment.n_taxa;
}

void ShowSiteTable(const std::vector<SiteRecord>& SS) {
  std::printf("\n\nC-structure representation of secondary structure:\n");
  std::printf("\tsite\tpaired\tpartner\tfreq-canonical\tfreq-gaps\n");
  for (const SiteRecord& record : SS) {
    if (record.paired == 1) {
      std::printf("\t%d\t%d\t%d\t%1.3f\t%1.3f\n", record.site, 1, SS[record.partner].site,
                  record.freq_canonical, record.freq_gaps);
    } else {
      std::printf("\t%d\t%d\t*\t*\t%1.3f\n", record.site, record.paired, record.freq_gaps);
    }
  }
}

}  // namespace

StemsAndLoops InitializeStemsAndLoops(const Alignment& alignment, int condition_on_pairs,
                                      std::vector<SiteRecord>& SS, bool listing) {
  const std::vector<int> partners = FindStemPartners(alignment.structure);
  StemsAndLoops counts;
  for (int s = 0; s < alignment.n_sites; ++s) SS[s] = SiteRecord{s, 0, -1, 0.0, 0.0};

  for (int s = 0; s < alignment.n_sites; ++s) {
    SiteRecord& record = SS[s];
    switch (alignment.structure[s]) {
      case kUnpairedSite:
        record.freq_gaps = GapFraction(alignment, s);
        ++counts.n_singletons;
        break;
      case kOpeningSite: {
        counts.isStructure = true;
        const int partner = partners[s];
        record.paired = 1;
        record.partner = partner;
        SS[partner].paired = 1;
        SS[partner].partner = s;
        // The opening column always gets its own gap fraction: gap
        // re-introduction must treat both sides of a stem alike.
        record.freq_gaps = GapFraction(alignment, s);
        if (condition_on_pairs == 1) {
          int non_canonical = 0;
          for (int t = 0; t < alignment.n_taxa; ++t) {
            if (!IsCanonicalDoublet(alignment.Code(t, partner), alignment.Code(t, s)))
              ++non_canonical;
          }
          const double canonical = 1.0 - static_cast<double>(non_canonical) / alignment.n_taxa;
          record.freq_canonical = canonical;
          SS[partner].freq_canonical = canonical;
        }
        ++counts.n_doublets;
        break;
      }
      case kClosingSite:
        record.freq_gaps = GapFraction(alignment, s);
        break;
      default:
        break;
    }
  }
  if (listing) ShowSiteTable(SS);
  return counts;
}
