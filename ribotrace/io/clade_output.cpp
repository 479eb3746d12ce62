#include "io/clade_output.h"

#include <charconv>
#include <cstdio>
#include <utility>

#include "io/tree_output.h"

namespace {

std::string SixDigits(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace

std::string CladeName(int id) { return "clade_" + std::to_string(id); }

std::string ConsensusNewick(const std::vector<ConsensusNode>& nodes,
                            const std::vector<TaxonName>& Names) {
  std::string text;
  // An explicit stack keeps deep trees off the call stack. Each entry: a
  // node and how many of its children have been written.
  std::vector<std::pair<int, std::size_t>> pending{{0, 0}};
  while (!pending.empty()) {
    auto& [n, done] = pending.back();
    const ConsensusNode& node = nodes[static_cast<std::size_t>(n)];
    if (done < node.children.size()) {
      text += done == 0 ? '(' : ',';
      const int child = node.children[done++];
      pending.emplace_back(child, 0);
      continue;
    }
    if (node.taxon >= 0) {
      text += NewickLabel(Names[static_cast<std::size_t>(node.taxon)].name);
    } else {
      text.append(")").append(CladeName(node.clade));
      if (n != 0) text.append("[&prob=").append(SixDigits(node.probability)).append("]");
    }
    if (n != 0) {
      char length[32];
      // Means of lengths that MrBayes printed with seven digits: ten are
      // more than they carry.
      const auto end =
          std::to_chars(length, length + sizeof length, node.length, std::chars_format::general, 10)
              .ptr;
      text.append(":").append(length, end);
    }
    pending.pop_back();
  }
  return text + ";\n";
}

std::string CladeListText(std::span<const IdentifiedClade> clades,
                          const std::vector<TaxonName>& Names) {
  std::string text = "Clade\tProbability\tTaxa\tMembers\n";
  for (const IdentifiedClade& clade : clades) {
    const std::vector<int> members = clade.taxa.Members();
    text.append(CladeName(clade.id)).append("\t").append(SixDigits(clade.probability));
    text.append("\t").append(std::to_string(members.size())).append("\t");
    for (std::size_t m = 0; m < members.size(); ++m) {
      // Quoted as in the tree file where a name holds a ',' or a tab.
      text.append(m == 0 ? "" : ",")
          .append(NewickLabel(Names[static_cast<std::size_t>(members[m])].name));
    }
    text += '\n';
  }
  return text;
}
