#include "fit/site_patterns.h"

#include <map>

#include "alignment/structure_pairing.h"
#include "inference/tip_likelihoods.h"
#include "sequence/state_coding.h"

namespace {

// Adds one site, given by its codes per taxon (two per taxon at a stem
// pair), to the patterns, merging it with an identical earlier one.
void AddSite(SitePatterns& patterns, std::map<std::vector<int>, int>& seen,
             std::vector<int> codes) {
  const auto [it, inserted] = seen.try_emplace(std::move(codes), patterns.size());
  if (!inserted) {
    patterns.weights[static_cast<std::size_t>(it->second)] += 1.0;
    return;
  }
  patterns.weights.push_back(1.0);
  const std::vector<int>& key = it->first;
  const std::size_t start = patterns.tips.size();
  patterns.tips.resize(start + static_cast<std::size_t>(patterns.n_taxa) * patterns.n_states);
  for (int taxon = 0; taxon < patterns.n_taxa; ++taxon) {
    double* entries =
        patterns.tips.data() + start + static_cast<std::size_t>(taxon) * patterns.n_states;
    if (patterns.n_states == kNumNucleotides) {
      IntializeSingeltonFracLikelihoodsAtTips(entries, key[taxon]);
    } else {
      IntializeDoubletStateSetsAtTips(entries, key[2 * taxon], key[2 * taxon + 1]);
    }
  }
}

}  // namespace

SitePatterns StemPatterns(const Alignment& alignment) {
  SitePatterns patterns{kNumDoublets, alignment.n_taxa, {}, {}};
  std::map<std::vector<int>, int> seen;
  const std::vector<int> partners = FindStemPartners(alignment.structure);
  for (int site = 0; site < alignment.n_sites; ++site) {
    if (alignment.structure[site] != 1) continue;
    const int partner = partners[static_cast<std::size_t>(site)];
    std::vector<int> codes;
    for (int taxon = 0; taxon < alignment.n_taxa; ++taxon) {
      codes.push_back(alignment.Code(taxon, site));
      codes.push_back(alignment.Code(taxon, partner));
    }
    AddSite(patterns, seen, std::move(codes));
  }
  return patterns;
}

SitePatterns LoopPatterns(const Alignment& alignment) {
  SitePatterns patterns{kNumNucleotides, alignment.n_taxa, {}, {}};
  std::map<std::vector<int>, int> seen;
  for (int site = 0; site < alignment.n_sites; ++site) {
    if (alignment.structure[site] != 0) continue;
    std::vector<int> codes;
    for (int taxon = 0; taxon < alignment.n_taxa; ++taxon)
      codes.push_back(alignment.Code(taxon, site));
    AddSite(patterns, seen, std::move(codes));
  }
  return patterns;
}
