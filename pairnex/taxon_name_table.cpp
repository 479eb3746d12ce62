#include "taxon_name_table.h"

#include <unordered_set>

namespace pairnex {

bool AnyNameChanged(const PairnexAlignment& alignment) {
  for (const TaxonName& taxon : alignment.Names) {
    if (alignment.nexus_names[taxon.taxon_number] != taxon.name) return true;
  }
  return false;
}

std::string ComposeNameTable(const PairnexAlignment& alignment) {
  std::string table;
  for (const TaxonName& taxon : alignment.Names) {
    table += alignment.nexus_names[taxon.taxon_number] + "\t" + taxon.name + "\n";
  }
  return table;
}

std::string DescribeRenamedTaxa(const PairnexAlignment& alignment, const std::string& output_file) {
  int changed = 0;
  int repeated = 0;
  std::unordered_set<std::string> seen;
  for (const TaxonName& taxon : alignment.Names) {
    if (!seen.insert(taxon.name).second) ++repeated;
    if (alignment.nexus_names[taxon.taxon_number] != taxon.name) ++changed;
  }
  if (changed == 0) return "";
  const std::string repeats =
      repeated == 0 ? "" : " (" + std::to_string(repeated) + " repeat an earlier name)";
  return "Warning: " + std::to_string(changed) +
         (changed == 1 ? " taxon name was" : " taxon names were") +
         " changed for MrBayes, which needs every name once and made of letters, digits, '_' "
         "and '.'" +
         repeats + "; '" + NamesFilePath(output_file) +
         "' pairs each name in the NEXUS file with the original.\n";
}

}  // namespace pairnex
