#include "layout.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <utility>

namespace sim {
namespace {

// Opening and closing columns of each pair in the order of the opening one.
std::vector<std::pair<int, int>> Pairs(const std::string& structure) {
  std::vector<std::pair<int, int>> pairs;
  std::vector<int> open;
  for (int i = 0; i < static_cast<int>(structure.size()); ++i) {
    const char c = structure[i];
    if (c == '(') {
      open.push_back(static_cast<int>(pairs.size()));
      pairs.emplace_back(i, -1);
    } else if (c == ')') {
      if (open.empty())
        throw std::invalid_argument("structure: ')' at column " + std::to_string(i + 1) +
                                    " closes nothing");
      pairs[open.back()].second = i;
      open.pop_back();
    } else if (c != '-' && c != '.') {
      throw std::invalid_argument("structure: column " + std::to_string(i + 1) + " holds '" +
                                  std::string(1, c) + "', expected '(', ')', '-' or '.'");
    }
  }
  if (!open.empty()) throw std::invalid_argument("structure: a '(' is never closed");
  return pairs;
}

std::vector<int> InOrder(const std::vector<Character>& characters,
                         const std::vector<bool>& observed, bool stems) {
  std::vector<int> picked;
  for (int i = 0; i < static_cast<int>(characters.size()); ++i) {
    if (observed[i] && characters[i].stem == stems) picked.push_back(i);
  }
  std::stable_sort(picked.begin(), picked.end(),
                   [&](int a, int b) { return characters[a].order < characters[b].order; });
  return picked;
}

}  // namespace

BracketCounts CountBrackets(const std::string& structure) {
  const int stems = static_cast<int>(Pairs(structure).size());
  return {stems, static_cast<int>(structure.size()) - 2 * stems};
}

std::string RandomStructure(int stems, int loops, std::mt19937_64& rng) {
  std::vector<int> helices;
  for (int left = stems; left > 0;) {
    const int size = std::min(left, std::uniform_int_distribution<int>(3, 8)(rng));
    helices.push_back(size);
    left -= size;
  }
  // Segment 2h is outside before helix h, 2h + 1 its hairpin, the last one after all.
  std::vector<int> segments(2 * helices.size() + 1, 0);
  std::uniform_int_distribution<std::size_t> segment(0, segments.size() - 1);
  for (int i = 0; i < loops; ++i) ++segments[segment(rng)];
  std::string out;
  for (std::size_t h = 0; h < helices.size(); ++h) {
    out += std::string(segments[2 * h], '-') + std::string(helices[h], '(') +
           std::string(segments[2 * h + 1], '-') + std::string(helices[h], ')');
  }
  return out + std::string(segments.back(), '-');
}

Layout LayOut(const std::string& structure, const std::vector<Character>& characters,
              const std::vector<bool>& observed) {
  const std::vector<std::pair<int, int>> pairs = Pairs(structure);
  const std::vector<int> stems = InOrder(characters, observed, true);
  const std::vector<int> loops = InOrder(characters, observed, false);
  if (stems.size() != pairs.size() || stems.size() * 2 + loops.size() != structure.size()) {
    throw std::logic_error("the structure does not hold the observed characters");
  }
  Layout layout;
  layout.structure = structure;
  std::replace(layout.structure.begin(), layout.structure.end(), '.', '-');
  layout.column.assign(structure.size(), -1);
  layout.site5.assign(characters.size(), 0);
  layout.site3.assign(characters.size(), 0);
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    layout.column[pairs[k].first] = layout.column[pairs[k].second] = stems[k];
    layout.site5[stems[k]] = pairs[k].first + 1;
    layout.site3[stems[k]] = pairs[k].second + 1;
  }
  std::size_t next = 0;
  for (std::size_t i = 0; i < structure.size(); ++i) {
    if (layout.column[i] >= 0) continue;
    layout.column[i] = loops[next];
    layout.site5[loops[next++]] = static_cast<int>(i) + 1;
  }
  return layout;
}

}  // namespace sim
