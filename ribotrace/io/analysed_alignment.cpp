#include "io/analysed_alignment.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "alignment/taxon_names.h"
#include "bailout/bailout.h"
#include "bailout/quoted.h"
#include "file_text/file_text.h"
#include "sequence/state_coding.h"

namespace {

// What a NEXUS file of pairnex's declares: each taxon's sequence, by the
// name in the file, and the stem pairs (1-based, 5' first).
struct AnalysedAlignment {
  std::map<std::string, std::string> sequences;
  std::set<std::pair<int, int>> pairs;
  bool has_matrix = false;
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The rows between "matrix" and ";" (an interleaved matrix continues a
// name's row), and the "pairs a:b,c:d;" command.
AnalysedAlignment ParseAnalysed(const std::string& text) {
  AnalysedAlignment analysed;
  std::istringstream lines(text);
  std::string line;
  bool in_matrix = false;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string first;
    if (!(words >> first)) continue;
    if (in_matrix) {
      if (first.front() == ';') {
        in_matrix = false;
        continue;
      }
      std::string rest;
      for (std::string word; words >> word;) rest += word;
      analysed.sequences[Lower(first)] += rest;
    } else if (Lower(first) == "matrix") {
      in_matrix = analysed.has_matrix = true;
    } else if (Lower(first) == "pairs") {
      std::string list;
      std::getline(words, list, ';');
      std::replace(list.begin(), list.end(), ',', ' ');
      std::istringstream pairs(list);
      for (std::string pair; pairs >> pair;) {
        const std::size_t colon = pair.find(':');
        if (colon == std::string::npos) continue;
        analysed.pairs.emplace(std::stoi(pair.substr(0, colon)), std::stoi(pair.substr(colon + 1)));
      }
    }
  }
  return analysed;
}

std::set<std::pair<int, int>> StemPairs(const std::vector<int>& structure) {
  std::set<std::pair<int, int>> pairs;
  std::vector<int> open;
  for (std::size_t c = 0; c < structure.size(); ++c) {
    if (structure[c] == 1) open.push_back(static_cast<int>(c) + 1);
    if (structure[c] == -1 && !open.empty()) {
      pairs.emplace(open.back(), static_cast<int>(c) + 1);
      open.pop_back();
    }
  }
  return pairs;
}

// The first way in which the analysed alignment differs, or "".
std::string FirstDifference(const AnalysedAlignment& analysed, const Alignment& alignment) {
  if (analysed.sequences.size() != static_cast<std::size_t>(alignment.n_taxa)) {
    return "it holds " + std::to_string(analysed.sequences.size()) + " taxa, the data file " +
           std::to_string(alignment.n_taxa);
  }
  const std::vector<std::string> names = MrBayesTaxonNames(alignment.Names);
  for (int t = 0; t < alignment.n_taxa; ++t) {
    const std::string& shown = alignment.Names[static_cast<std::size_t>(t)].name;
    const auto found = analysed.sequences.find(Lower(names[static_cast<std::size_t>(t)]));
    if (found == analysed.sequences.end()) return "it has no taxon " + Quoted(shown);
    const std::string& row = found->second;
    if (row.size() != static_cast<std::size_t>(alignment.n_sites)) {
      return "its sequence of " + Quoted(shown) + " has " + std::to_string(row.size()) +
             " columns, the data file's " + std::to_string(alignment.n_sites);
    }
    for (int c = 0; c < alignment.n_sites; ++c) {
      const char base = static_cast<char>(std::toupper(static_cast<unsigned char>(row[c])));
      if (NucCharToInt(base) != alignment.Code(t, c)) {
        return "its sequence of " + Quoted(shown) + " differs at column " + std::to_string(c + 1);
      }
    }
  }
  const std::set<std::pair<int, int>> pairs = StemPairs(alignment.structure);
  if (pairs != analysed.pairs) {
    for (const auto& pair : pairs) {
      if (!analysed.pairs.contains(pair)) {
        return "it does not pair columns " + std::to_string(pair.first) + " and " +
               std::to_string(pair.second) + ", which the data file's structure pairs";
      }
    }
    const auto& extra = *analysed.pairs.begin();
    return "it pairs columns " + std::to_string(extra.first) + " and " +
           std::to_string(extra.second) + ", which the data file's structure does not";
  }
  return "";
}

}  // namespace

std::string AnalysedNexusFile(const std::string& mrbayes_output) {
  std::string stem = mrbayes_output;
  for (const char* suffix : {".con.tre", ".pstat", ".t", ".p"}) {
    if (stem.ends_with(suffix)) {
      stem.resize(stem.size() - std::string(suffix).size());
      // The runs of one analysis: x.nex.run1.t.
      const std::size_t run = stem.rfind(".run");
      if (run != std::string::npos && run + 4 < stem.size() &&
          std::all_of(stem.begin() + static_cast<std::ptrdiff_t>(run + 4), stem.end(),
                      [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; })) {
        stem.resize(run);
      }
      return stem;
    }
  }
  return "";
}

void CheckAnalysedAlignment(const std::vector<std::string>& mrbayes_outputs,
                            const Alignment& alignment, const std::string& data_file) {
  std::set<std::string> checked;
  for (const std::string& output : mrbayes_outputs) {
    const std::string nexus = AnalysedNexusFile(output);
    std::error_code error;
    if (nexus.empty() || !checked.insert(nexus).second ||
        !std::filesystem::is_regular_file(nexus, error)) {
      continue;
    }
    const AnalysedAlignment analysed =
        ParseAnalysed(ReadInputText(nexus, "ReadParameterFile", ErrorForm::kPlainLine));
    if (!analysed.has_matrix) continue;
    const std::string difference = FirstDifference(analysed, alignment);
    if (difference.empty()) continue;
    FailWithLine("ReadParameterFile Error: MrBayes analysed '" + nexus + "' (beside '" + output +
                 "'), not the alignment of the data file '" + data_file + "': " + difference +
                 ". Its trees and parameters do not belong to this alignment; run MrBayes on "
                 "pairnex's file of it.");
  }
}
