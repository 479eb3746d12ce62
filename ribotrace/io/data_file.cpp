#include "io/data_file.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <cstdio>

#include "alignment/alignment_reader.h"
#include "bailout/bailout.h"
#include "bailout/quoted.h"
#include "base/buffers.h"
#include "sequence/state_coding.h"

namespace {

// True for "<prefix><n>" and "<prefix><n>_<k>", n and k numbers.
bool IsNumberedName(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return false;
  name.remove_prefix(prefix.size());
  const std::size_t cut = name.find('_');
  const auto all_digits = [](std::string_view part) {
    return !part.empty() && std::all_of(part.begin(), part.end(), [](char c) {
      return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
  };
  return all_digits(name.substr(0, cut)) &&
         (cut == std::string_view::npos || all_digits(name.substr(cut + 1)));
}

// The results name their own rows SS_cons, anc_<n>_<k>, psr_<n>_<k> and
// clade_<c>_<k>, and the tables and tree name nodes anc_<n> and clade_<c>:
// a taxon of such a name would be taken for one of them.
void RefuseReservedNames(const std::vector<TaxonName>& names, const std::string& file_name) {
  for (const TaxonName& taxon : names) {
    const std::string& name = taxon.name;
    if (name != "SS_cons" && !IsNumberedName(name, "anc_") && !IsNumberedName(name, "psr_") &&
        !IsNumberedName(name, "clade_")) {
      continue;
    }
    FailWithLine("ReadDataFile Error: The taxon " + Quoted(name) + " of '" + file_name +
                 "' has a name that the results give their own rows and nodes (SS_cons, "
                 "anc_<n>, psr_<n>, clade_<n>); rename it in the data file.");
  }
}

}  // namespace

Alignment ReadDataFile(const std::string& file_name, bool listing) {
  RawAlignment raw = LoadAlignment(file_name, {kMaxTaxonNameLength, listing});
  RefuseReservedNames(raw.names, file_name);
  for (const std::string& warning : raw.warnings) std::fputs(warning.c_str(), stderr);

  Alignment alignment;
  alignment.n_taxa = raw.n_taxa();
  alignment.n_sites = raw.n_sites();
  alignment.dmatrix =
      AllocateBuffer<int>({alignment.n_taxa, alignment.n_sites},
                          "ReadDataFile Error: Problem allocating memory for dmatrix.");
  std::size_t cell = 0;
  for (const std::string& sequence : raw.sequences) {
    for (const char c : sequence) {
      alignment.dmatrix[cell++] =
          NucCharToInt(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
  }
  alignment.structure = std::move(raw.structure);
  alignment.Names = std::move(raw.names);
  return alignment;
}
