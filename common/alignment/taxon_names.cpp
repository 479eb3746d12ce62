#include "alignment/taxon_names.h"

#include <cctype>
#include <unordered_map>
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
  if (rewritten.empty()) return "unnamed";
  // MrBayes reads a word that begins with a digit as a number, and stops.
  if (std::isdigit(static_cast<unsigned char>(rewritten.front())) != 0) return "t_" + rewritten;
  return rewritten;
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
  for (std::size_t t = 0; t < taxa.size(); ++t) {
    plain[t] = Rewritten(taxa[t].name);
    plain_names.insert(Lower(plain[t]));
  }
  std::unordered_set<std::string> taken;  // lower-cased
  // Names kept as they were claim their plain form first, so that a
  // rewritten name never takes the place of one that needed no change.
  for (const bool kept_pass : {true, false}) {
    for (std::size_t t = 0; t < taxa.size(); ++t) {
      if ((plain[t] == taxa[t].name) != kept_pass || !names[t].empty()) continue;
      if (taken.insert(Lower(plain[t])).second) names[t] = plain[t];
    }
  }
  // The rest get the first free suffix that is also no other name's plain
  // form. Each plain form remembers how far its suffixes went, so that
  // thousands of equal names cost no more than thousands of different ones.
  std::unordered_map<std::string, int> next_suffix;  // lower-cased plain form -> k
  for (std::size_t t = 0; t < taxa.size(); ++t) {
    int& k = next_suffix.try_emplace(Lower(plain[t]), 2).first->second;
    for (; names[t].empty(); ++k) {
      const std::string candidate = plain[t] + "_" + std::to_string(k);
      if (!plain_names.contains(Lower(candidate)) && taken.insert(Lower(candidate)).second) {
        names[t] = candidate;
      }
    }
  }
  return names;
}
