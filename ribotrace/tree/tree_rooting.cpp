#include "tree/tree_rooting.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <unordered_map>

#include "bailout/bailout.h"
#include "tree/tree_construction.h"

namespace {

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string NameList(const std::vector<int>& taxa, const std::vector<TaxonName>& Names) {
  std::string list;
  for (const int taxon : taxa) {
    if (!list.empty()) list += ", ";
    list += Names[static_cast<std::size_t>(taxon)].name;
  }
  return list;
}

// A neighbour of a vertex of the unrooted tree and the length of the branch
// that leads there.
struct Neighbour {
  NodeStruct* node = nullptr;
  double length = 0.0;
};

// The neighbours of every vertex but the root, by record: its children,
// then the vertex above it (the sibling across the root for the root's
// children, over the two root branches joined). The root stands on a branch
// of the unrooted tree, so it has two children, as a tree read from a file.
class UnrootedTree {
 public:
  explicit UnrootedTree(std::span<NodeStruct* const> up_pass) : root_(up_pass.front()) {
    for (NodeStruct* node : up_pass) {
      if (node == root_) continue;
      std::vector<Neighbour>& list = neighbours_[node];
      for (NodeStruct* child : node->children) list.push_back({child, child->length});
      list.push_back(Above(node));
    }
  }

  Neighbour Above(const NodeStruct* node) const {
    if (node->anc != root_) return {node->anc, node->length};
    const std::vector<NodeStruct*>& sides = root_->children;
    NodeStruct* sibling = sides[0] == node ? sides[1] : sides[0];
    return {sibling, sides[0]->length + sides[1]->length};
  }

  // Hangs the subtree of `top`, entered from `from`, below it: every
  // vertex's children become its neighbours but the one it is entered from,
  // in their stored order.
  void Orient(NodeStruct* top, const NodeStruct* from) const {
    std::vector<std::pair<NodeStruct*, const NodeStruct*>> pending{{top, from}};
    while (!pending.empty()) {
      const auto [node, parent] = pending.back();
      pending.pop_back();
      node->children.clear();
      for (const Neighbour& next : neighbours_.at(node)) {
        if (next.node == parent) continue;
        next.node->anc = node;
        next.node->length = next.length;
        node->children.push_back(next.node);
        pending.emplace_back(next.node, node);
      }
    }
  }

 private:
  NodeStruct* root_;
  std::unordered_map<const NodeStruct*, std::vector<Neighbour>> neighbours_;
};

}  // namespace

std::vector<int> FindOutgroupTaxa(const std::vector<std::string>& outgroup,
                                  const std::vector<TaxonName>& Names) {
  std::vector<int> taxa;
  for (const std::string& name : outgroup) {
    int found = -1;
    for (std::size_t i = 0; i < Names.size() && found < 0; ++i) {
      if (Names[i].name == name) found = static_cast<int>(i);
    }
    if (found < 0) {
      for (std::size_t i = 0; i < Names.size(); ++i) {
        if (Lower(Names[i].name) != Lower(name)) continue;
        if (found >= 0) {
          Fail("--outgroup: the name '" + name +
               "' matches several taxa of the data file that "
               "differ only in case; give the name exactly.");
        }
        found = static_cast<int>(i);
      }
    }
    if (found < 0) Fail("--outgroup: the data file holds no taxon named '" + name + "'.");
    if (std::find(taxa.begin(), taxa.end(), found) == taxa.end()) taxa.push_back(found);
  }
  if (taxa.size() >= Names.size()) {
    Fail(
        "--outgroup: the outgroup holds every taxon of the data file; at least one must stay "
        "in the ingroup.");
  }
  return taxa;
}

void RootOnOutgroup(std::vector<NodeStruct*>& up_pass, std::vector<NodeStruct*>& down_pass,
                    const std::vector<int>& outgroup_taxa, const std::vector<TaxonName>& Names) {
  NodeStruct* root = up_pass.front();
  const std::size_t n_outgroup = outgroup_taxa.size();
  const std::size_t n_ingroup = Names.size() - n_outgroup;
  std::vector<bool> in_outgroup(Names.size(), false);
  for (const int taxon : outgroup_taxa) in_outgroup[static_cast<std::size_t>(taxon)] = true;

  // Tips and outgroup tips below every node, children first; the branch
  // above a node separates the outgroup when the node's tips are exactly
  // the outgroup or exactly the ingroup.
  std::unordered_map<const NodeStruct*, std::pair<std::size_t, std::size_t>> below;
  NodeStruct* outgroup_side = nullptr;
  NodeStruct* ingroup_side = nullptr;
  const UnrootedTree unrooted(up_pass);
  for (NodeStruct* node : down_pass) {
    std::pair<std::size_t, std::size_t> counts{1, 0};
    if (node->IsTip()) {
      counts.second = in_outgroup[static_cast<std::size_t>(node->taxon_index)] ? 1 : 0;
    } else {
      counts = {0, 0};
      for (const NodeStruct* child : node->children) {
        counts.first += below.at(child).first;
        counts.second += below.at(child).second;
      }
    }
    below[node] = counts;
    if (node == root || outgroup_side != nullptr) continue;
    if (counts.first == n_outgroup && counts.second == n_outgroup) {
      outgroup_side = node;
      ingroup_side = unrooted.Above(node).node;
    } else if (counts.first == n_ingroup && counts.second == 0) {
      ingroup_side = node;
      outgroup_side = unrooted.Above(node).node;
    }
  }
  if (outgroup_side == nullptr) {
    Fail("--outgroup: the taxa " + NameList(outgroup_taxa, Names) +
         " do not form a clade of the tree: no branch separates them from the other taxa.");
  }

  const double half = unrooted.Above(outgroup_side).length / 2.0;
  unrooted.Orient(ingroup_side, outgroup_side);
  unrooted.Orient(outgroup_side, ingroup_side);
  root->children = {ingroup_side, outgroup_side};
  for (NodeStruct* side : {ingroup_side, outgroup_side}) {
    side->anc = root;
    side->length = half;
  }

  NumberNodesAndSequences(root, up_pass, down_pass);
}
