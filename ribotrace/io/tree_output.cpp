#include "io/tree_output.h"

#include <charconv>
#include <cstdio>
#include <utility>

#include "tree/polytomies.h"

std::string NodeName(int index) { return "anc_" + std::to_string(index); }

std::string NewickLabel(std::string_view name) {
  // Newick's punctuation, and NEXUS's where Newick readers share its
  // tokenizer (dendropy reads '=' '"' '{' '}' as punctuation).
  constexpr std::string_view kNeedsQuotes = " \t\r\n()[]':;,=\"{}";
  if (!name.empty() && name.find_first_of(kNeedsQuotes) == std::string_view::npos) {
    return std::string(name);
  }
  std::string quoted = "'";
  for (const char c : name) {
    quoted += c;
    if (c == '\'') quoted += c;
  }
  return quoted + "'";
}

std::string LabelledNewick(const NodeStruct& root, const std::vector<TaxonName>& Names) {
  std::string text;
  // An explicit stack keeps deep caterpillar trees off the call stack. Each
  // entry: a node and how many of its children have been written.
  // A node that a resolved polytomy added writes only its children, into
  // its parent's group: the polytomy is written as it was.
  std::vector<std::pair<const NodeStruct*, std::size_t>> pending{{&root, 0}};
  while (!pending.empty()) {
    auto& [node, done] = pending.back();
    const bool interior = !node->IsTip();
    const bool merged = IsMergedWithParent(*node);
    if (done < node->children.size()) {
      if (!merged || done > 0) text += done == 0 ? '(' : ',';
      const NodeStruct* child = node->children[done];
      ++done;
      pending.emplace_back(child, 0);
      continue;
    }
    if (merged) {
      pending.pop_back();
      continue;
    }
    if (interior) {
      text += ')';
      text += NodeName(node->index);
      if (node->support >= 0.0 && node->anc != nullptr) {
        char support[32];
        std::snprintf(support, sizeof support, "[&prob=%.6g]", node->support);
        text += support;
      }
    } else {
      text += NewickLabel(Names[static_cast<std::size_t>(node->taxon_index)].name);
    }
    if (node->anc != nullptr) {
      char length[32];
      const auto end = std::to_chars(length, length + sizeof length, node->length).ptr;
      text.append(":").append(length, end);
    }
    pending.pop_back();
  }
  return text + ";\n";
}
