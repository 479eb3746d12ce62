#include "alignment/taxon_names.h"

#include <cctype>
#include <unordered_set>

namespace {

bool IsKeptCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '.';
}

std::string Rewritten(const std::string& name) {
  std::string rewritten;
  bool in_run = false;
  for (const char c : name) {
    if (IsKeptCharacter(c)) {
      rewritten.push_back(c);
    } else if (!in_run) {
      rewritten.push_back('_');
    }
    in_run = !IsKeptCharacter(c);
  }
  return rewritten.empty() ? "unnamed" : rewritten;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::vector<std::string> MrBayesTaxonNames(const std::vector<TaxonName>& taxa) {
  std::vector<std::string> names(taxa.size());
  std::vector<std::string> plain(taxa.size());
  std::unordered_set<std::string> plain_names;  // lower-cased
  for (const TaxonName& taxon : taxa) {
    const auto t = static_cast<std::size_t>(taxon.taxon_number);
    plain[t] = Rewritten(taxon.name);
    plain_names.insert(Lower(plain[t]));
  }
  std::unordered_set<std::string> taken;  // lower-cased
  // Names kept as they were claim their plain form first, so that a
  // rewritten name never takes the place of one that needed no change.
  for (const bool kept_pass : {true, false}) {
    for (const TaxonName& taxon : taxa) {
      const auto t = static_cast<std::size_t>(taxon.taxon_number);
      if ((plain[t] == taxon.name) != kept_pass || !names[t].empty()) continue;
      if (taken.insert(Lower(plain[t])).second) names[t] = plain[t];
    }
  }
  // The rest get the first free suffix that is also no other name's plain form.
  for (const TaxonName& taxon : taxa) {
    const auto t = static_cast<std::size_t>(taxon.taxon_number);
    for (int k = 2; names[t].empty(); ++k) {
      const std::string candidate = plain[t] + "_" + std::to_string(k);
      if (!plain_names.contains(Lower(candidate)) && taken.insert(Lower(candidate)).second) {
        names[t] = candidate;
      }
    }
  }
  return names;
}
