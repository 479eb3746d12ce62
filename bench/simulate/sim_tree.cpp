#include "sim_tree.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string_view>

namespace sim {
namespace {

class NewickParser {
 public:
  explicit NewickParser(const std::string& text) : text_(text) {}

  Tree Parse() {
    Tree tree;
    Clade(tree, -1);
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != ';') Fail("';' after the tree");
    if (tree.nodes.size() < 2) Fail("a tree of at least two taxa");
    return tree;
  }

 private:
  int Clade(Tree& tree, int parent) {
    const int node = static_cast<int>(tree.nodes.size());
    tree.nodes.push_back({});
    tree.nodes[node].parent = parent;
    SkipBlanks();
    if (Peek() == '(') {
      ++pos_;
      for (;;) {
        const int child = Clade(tree, node);
        tree.nodes[node].children.push_back(child);
        SkipBlanks();
        if (Peek() != ',') break;
        ++pos_;
      }
      if (Peek() != ')') Fail("',' or ')'");
      ++pos_;
      Label();  // an interior label or support value: not ours to keep
    } else {
      tree.nodes[node].name = Label();
      if (tree.nodes[node].name.empty()) Fail("a taxon name");
    }
    SkipBlanks();
    if (Peek() == ':') {
      ++pos_;
      tree.nodes[node].length = Number();
    } else if (parent >= 0) {
      Fail("':' and a branch length");
    }
    return node;
  }

  std::string Label() {
    SkipBlanks();
    std::string label;
    if (Peek() == '\'') {
      for (++pos_; pos_ < text_.size(); ++pos_) {
        if (text_[pos_] == '\'' && (pos_ + 1 >= text_.size() || text_[pos_ + 1] != '\'')) break;
        if (text_[pos_] == '\'') ++pos_;
        label += text_[pos_];
      }
      if (pos_ >= text_.size()) Fail("a closing quote");
      ++pos_;
      return label;
    }
    while (pos_ < text_.size() &&
           std::string_view(":,();[ \t\r\n").find(text_[pos_]) == std::string_view::npos) {
      label += text_[pos_++];
    }
    return label;
  }

  double Number() {
    SkipBlanks();
    std::size_t used = 0;
    double value = 0.0;
    try {
      value = std::stod(text_.substr(pos_, 40), &used);
    } catch (const std::exception&) {
      Fail("a branch length");
    }
    pos_ += used;
    if (!(value >= 0.0)) Fail("a branch length of 0 or more");
    return value;
  }

  void SkipBlanks() {
    while (pos_ < text_.size()) {
      if (text_[pos_] == '[') {
        const std::size_t end = text_.find(']', pos_);
        if (end == std::string::npos) Fail("']' closing a comment");
        pos_ = end + 1;
      } else if (std::isspace(static_cast<unsigned char>(text_[pos_]))) {
        ++pos_;
      } else {
        break;
      }
    }
  }

  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

  [[noreturn]] void Fail(const std::string& expected) const {
    throw std::runtime_error("Newick tree, character " + std::to_string(pos_ + 1) + ": expected " +
                             expected);
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

// A name with blanks or Newick's punctuation goes in single quotes, its own
// quotes doubled, so that it reads back as one name.
std::string QuotedName(const std::string& name) {
  if (name.find_first_of(" \t'[]():;,") == std::string::npos) return name;
  std::string out = "'";
  for (char c : name) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

void AppendNewick(const Tree& tree, int node, std::string& out) {
  const TreeNode& n = tree.nodes[node];
  if (n.children.empty()) {
    out += QuotedName(n.name);
  } else {
    out += '(';
    for (std::size_t i = 0; i < n.children.size(); ++i) {
      if (i > 0) out += ',';
      AppendNewick(tree, n.children[i], out);
    }
    out += ')';
  }
  if (n.parent >= 0) {
    char length[40];
    std::snprintf(length, sizeof length, ":%.10g", n.length);
    out += length;
  }
}

}  // namespace

double Tree::TotalLength() const {
  double total = 0.0;
  for (std::size_t i = 1; i < nodes.size(); ++i) total += nodes[i].length;
  return total;
}

std::vector<int> Tree::Tips() const {
  std::vector<int> tips;
  for (int i = 0; i < static_cast<int>(nodes.size()); ++i) {
    if (IsTip(i)) tips.push_back(i);
  }
  return tips;
}

std::vector<std::string> Tree::TaxonSets() const {
  std::vector<std::vector<std::string>> below(nodes.size());
  for (int i = static_cast<int>(nodes.size()) - 1; i >= 0; --i) {
    if (IsTip(i)) below[i].push_back(nodes[i].name);
    std::sort(below[i].begin(), below[i].end());
    if (nodes[i].parent >= 0) {
      auto& up = below[nodes[i].parent];
      up.insert(up.end(), below[i].begin(), below[i].end());
    }
  }
  std::vector<std::string> sets(nodes.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    for (const std::string& name : below[i]) sets[i] += (sets[i].empty() ? "" : ",") + name;
  }
  return sets;
}

std::string Tree::NodeId(int node) const {
  // Appending, not "n" + to_string(): g++ 12 warns falsely (-Wrestrict) on that.
  return IsTip(node) ? nodes[node].name : std::string("n").append(std::to_string(node));
}

Tree ParseNewick(const std::string& text) {
  Tree tree = NewickParser(text).Parse();
  tree.nodes[0].length = 0.0;
  return tree;
}

Tree RandomTree(int taxa, double mean_length, std::mt19937_64& rng) {
  // Join random pairs bottom-up, then renumber in pre-order.
  struct Joined {
    std::vector<int> children;
    std::string name;
  };
  std::vector<Joined> joined(taxa);
  for (int t = 0; t < taxa; ++t) joined[t].name = std::string("t").append(std::to_string(t + 1));
  std::vector<int> pool(taxa);
  for (int t = 0; t < taxa; ++t) pool[t] = t;
  while (pool.size() > 1) {
    Joined parent;
    for (int side = 0; side < 2; ++side) {
      const std::size_t i = std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng);
      parent.children.push_back(pool[i]);
      pool[i] = pool.back();
      pool.pop_back();
    }
    pool.push_back(static_cast<int>(joined.size()));
    joined.push_back(parent);
  }
  Tree tree;
  std::exponential_distribution<double> length(1.0 / mean_length);
  std::function<void(int, int)> visit = [&](int from, int parent) {
    const int node = static_cast<int>(tree.nodes.size());
    tree.nodes.push_back({parent, {}, parent < 0 ? 0.0 : length(rng), joined[from].name});
    if (parent >= 0) tree.nodes[parent].children.push_back(node);
    for (int child : joined[from].children) visit(child, node);
  };
  visit(pool.front(), -1);
  return tree;
}

std::string WriteNewick(const Tree& tree) {
  std::string out;
  AppendNewick(tree, 0, out);
  return out + ";\n";
}

}  // namespace sim
