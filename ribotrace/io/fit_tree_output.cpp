#include "io/fit_tree_output.h"

#include <cstdio>
#include <span>
#include <utility>

#include "alignment/taxon_names.h"

namespace {

std::string Length(double length) {
  char text[32];
  std::snprintf(text, sizeof text, ":%.10g", length);
  return text;
}

// The members that `node` gives its parent's group: itself with its
// length, or, where it only resolves a polytomy, its children's members.
void AppendMembers(const FitTree& tree, int node, const std::vector<std::string>& names,
                   std::vector<std::string>& members);

std::string Group(const FitTree& tree, int node, const std::vector<std::string>& names) {
  const auto i = static_cast<std::size_t>(node);
  if (tree.IsTip(node)) return names[static_cast<std::size_t>(tree.taxon[i])];
  std::vector<std::string> members;
  for (const int child : tree.Children(node)) AppendMembers(tree, child, names, members);
  std::string text = "(";
  for (std::size_t m = 0; m < members.size(); ++m) text.append(m > 0 ? "," : "").append(members[m]);
  return text + ")";
}

void AppendMembers(const FitTree& tree, int node, const std::vector<std::string>& names,
                   std::vector<std::string>& members) {
  const auto i = static_cast<std::size_t>(node);
  if (!tree.IsTip(node) && tree.IsMerged(node)) {
    for (const int child : tree.Children(node)) AppendMembers(tree, child, names, members);
    return;
  }
  members.push_back(Group(tree, node, names) + Length(tree.length[i]));
}

}  // namespace

std::string FitTreeNewick(const FitTree& tree, const std::vector<TaxonName>& names) {
  std::vector<std::string> safe(names.size());
  const std::vector<std::string> renamed = MrBayesTaxonNames(names);
  for (std::size_t k = 0; k < names.size(); ++k) {
    safe[static_cast<std::size_t>(names[k].taxon_number)] = renamed[k];
  }
  std::vector<std::string> members;
  if (tree.Joined() < 0) {
    for (const int child : tree.Children(0)) AppendMembers(tree, child, safe, members);
  } else {
    // Of a root's two children one carries no length (the root branch is
    // all on the other); opening the interior one of the two gives three
    // members, as an unrooted tree is written.
    const std::span<const int> root = tree.Children(0);
    int joined = root[0], opened = root[1];
    if (tree.IsTip(opened)) std::swap(joined, opened);
    const double root_branch = tree.length[static_cast<std::size_t>(root[0])] +
                               tree.length[static_cast<std::size_t>(root[1])];
    for (const int child : tree.Children(opened)) AppendMembers(tree, child, safe, members);
    members.push_back(Group(tree, joined, safe) + Length(root_branch));
  }
  std::string text = "(";
  for (std::size_t m = 0; m < members.size(); ++m) text.append(m > 0 ? "," : "").append(members[m]);
  return text + ");\n";
}
