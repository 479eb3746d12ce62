#include "io/fit_tree_output.h"

#include <cstdio>

#include "alignment/taxon_names.h"

namespace {

std::string Length(double length) {
  char text[32];
  std::snprintf(text, sizeof text, ":%.10g", length);
  return text;
}

std::string Subtree(const FitTree& tree, int node, const std::vector<std::string>& names,
                    bool with_length) {
  const auto i = static_cast<std::size_t>(node);
  std::string text;
  if (tree.IsTip(node)) {
    text = names[static_cast<std::size_t>(tree.taxon[i])];
  } else {
    text.append("(").append(Subtree(tree, tree.left[i], names, true));
    text.append(",").append(Subtree(tree, tree.right[i], names, true)).append(")");
  }
  if (with_length) text.append(Length(tree.length[i]));
  return text;
}

}  // namespace

std::string FitTreeNewick(const FitTree& tree, const std::vector<TaxonName>& names) {
  std::vector<std::string> safe(names.size());
  const std::vector<std::string> renamed = MrBayesTaxonNames(names);
  for (std::size_t k = 0; k < names.size(); ++k) {
    safe[static_cast<std::size_t>(names[k].taxon_number)] = renamed[k];
  }
  // The root's right child carries no length (the root branch is all on
  // the left child); opening the interior one of the two gives three members.
  int joined = tree.left[0], opened = tree.right[0];
  if (tree.IsTip(opened)) std::swap(joined, opened);
  const auto o = static_cast<std::size_t>(opened);
  const double root_branch = tree.length[static_cast<std::size_t>(tree.left[0])] +
                             tree.length[static_cast<std::size_t>(tree.right[0])];
  std::string text = "(";
  text.append(Subtree(tree, tree.left[o], safe, true)).append(",");
  text.append(Subtree(tree, tree.right[o], safe, true)).append(",");
  text.append(Subtree(tree, joined, safe, false)).append(Length(root_branch)).append(");\n");
  return text;
}
