#include "tree/tree_construction.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

#include "alignment/taxon_names.h"
#include "tree/clades.h"
#include "tree/label_encoding.h"
#include "tree/polytomies.h"
#include "bailout/bailout.h"
#include "bailout/quoted.h"
#include "sequence/state_coding.h"
#include "tree-utility/tree_walks.h"

namespace {

constexpr std::string_view kLabelEnd = ",():";
constexpr std::string_view kLengthEnd = ",(): \t\r\n";

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::optional<double> ParseLength(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
      value < 0.0) {
    return std::nullopt;
  }
  return value;
}

[[noreturn]] void FailTree(const std::string& message) {
  FailWithLine("SetUpTree Error: " + message);
}

// Builds the tree by one scan of the Newick text. `p_` is the node the scan
// stands at: a new group or taxon becomes its child, a ',' or ')' climbs
// back to its ancestor.
//
// MrBayes writes unrooted trees, whose outermost group has three members.
// When the third member's last taxon T arrives, a new root R is made with
// the tree built so far on its left and T on its right, and T's branch is
// split in half between T and R's left child. A third member that is itself
// a group has by then been built as the parent of everything before it, so
// from that point the scan walks down again on ')' (to the child still
// without a length) instead of up; the result has the same unrooted shape
// and branch lengths.
class TreeBuilder {
 public:
  TreeBuilder(std::vector<NodeStruct>& nodes, const std::vector<TaxonName>& Names, int n_taxa)
      : nodes_(nodes),
        names_(Names),
        n_taxa_(n_taxa),
        has_length_(nodes.size(), false),
        tip_of_taxon_(Names.size(), nullptr) {
    // Looked up once per tip: a hash index keeps a tree of many thousand
    // taxa linear instead of comparing every label with every name. A
    // tree names a taxon as the NEXUS file did, which may have had to
    // rename it for MrBayes, or as the data file does.
    // The NEXUS names differ even without case (MrBayes ignores it), so a
    // lower-cased label finds its taxon among them first, before names of
    // the data file that differ only in case could make it ambiguous.
    const std::vector<std::string> nexus_names = MrBayesTaxonNames(names_);
    for (std::size_t i = 0; i < names_.size(); ++i) {
      nexus_by_case_.emplace(Lower(nexus_names[i]), static_cast<int>(i));
      Index(nexus_names[i], static_cast<int>(i));
    }
    for (std::size_t i = 0; i < names_.size(); ++i) Index(names_[i].name, static_cast<int>(i));
  }

  void Index(const std::string& name, int row) {
    exact_.emplace(name, row);
    ByCase& entry = by_case_[Lower(name)];
    if (entry.first < 0) {
      entry.first = row;
    } else if (entry.second < 0 && entry.first != row) {
      entry.second = row;
    }
  }

  const std::vector<std::pair<TaxonSet, double>>& supports() const { return supports_; }

  NodeStruct* Build(std::string_view text) {
    char previous = '\0';  // the last punctuation met, or 'a' after a label
    for (std::size_t i = 0; i < text.size();) {
      const char c = text[i];
      if (IsBlank(c)) {
        ++i;
        continue;
      }
      // The outermost group may be followed by the root's name only.
      if (closed_ && (previous != ')' || WhatChar(c) == 1)) {
        FailTree("Unexpected text after the end of the tree" + At(i) + ".");
      }
      if (root_ == nullptr && c != '(') FailTree("The tree text does not begin with '('.");
      if (c == '(') {
        OpenGroup(i);
        ++i;
      } else if (c == ')' || c == ',') {
        if (previous == '(' || previous == ',') FailTree("Empty member of a group" + At(i) + ".");
        CloseOrSeparate(c, i);
        ++i;
      } else if (c == ':') {
        if (previous != 'a' && previous != ')') {
          FailTree("A branch length that follows no taxon or group" + At(i) + ".");
        }
        i = ReadLength(text, i + 1);
      } else {
        i = ReadLabel(text, i, previous);
      }
      previous = WhatChar(c) == 1 ? c : 'a';  // Newick punctuation, or part of a label
    }
    if (root_ == nullptr) FailTree("The tree text holds no tree.");
    if (!closed_) {
      FailTree("The tree text ends inside a group (after character " + std::to_string(text.size()) +
               "): its parentheses are unbalanced.");
    }
    if (rerooted_) {
      // Rooting an unrooted tree turns part of it over, so a node record
      // no longer stands for the vertex that a name after ')' belonged to.
      for (NodeStruct& node : nodes_) {
        if (!node.IsTip()) node.label.clear();
      }
    }
    for (std::size_t taxon = 0; taxon < names_.size(); ++taxon) {
      if (tip_of_taxon_[taxon] == nullptr) {
        FailTree("The taxon " + Quoted(names_[taxon].name) +
                 " of the data file is missing from the tree.");
      }
    }
    return root_;
  }

 private:
  // A matched tip as the data file writes its name (tree files are read
  // lower-cased).
  std::string ShownName(const NodeStruct& tip) const {
    return tip.taxon_index >= 0 ? names_[static_cast<std::size_t>(tip.taxon_index)].name
                                : tip.label;
  }

  static std::string At(std::size_t i) {
    return " at character " + std::to_string(i + 1) + " of the tree text";
  }

  // Polytomies arrive resolved (see polytomies.h), so only a group that
  // could not be resolved, for an empty member, has more members.
  [[noreturn]] void FailPolytomy(std::size_t i) const {
    FailTree("A group of the tree has more than two members (three in the outermost group)" +
             At(i) + " and an empty member.");
  }

  std::size_t Position(const NodeStruct* node) const {
    return static_cast<std::size_t>(node - nodes_.data());
  }

  bool HasLength(const NodeStruct* node) const { return has_length_[Position(node)]; }

  void SetLength(NodeStruct* node, double value) {
    node->length = value;
    has_length_[Position(node)] = true;
  }

  NodeStruct* TakeRecord() {
    if (next_ >= nodes_.size()) {
      FailTree("The tree has more tips than the " + std::to_string(n_taxa_) +
               " taxa of the data file.");
    }
    NodeStruct* node = &nodes_[next_];
    node->index = static_cast<int>(next_++);
    return node;
  }

  // A new record as the next child of p_.
  NodeStruct* AddChild() {
    NodeStruct* child = TakeRecord();
    child->anc = p_;
    p_->children.push_back(child);
    return child;
  }

  // Whether p_ can take another member: a group holds two (polytomies
  // arrive resolved).
  bool HasFreeChild() const { return p_->children.size() < 2; }

  void OpenGroup(std::size_t i) {
    if (root_ == nullptr) {
      if (nodes_.empty())
        FailVerbatim(
            "setUpStructureRepresentationOfTreeString err: problem when counter = 0 with ptr p");
      root_ = TakeRecord();
      p_ = root_;
    } else if (HasFreeChild()) {
      p_ = AddChild();
    } else if (p_->anc == nullptr && !rerooted_) {
      // A group as the third member of the outermost group: it starts as
      // the parent of what has been built so far.
      NodeStruct* parent = TakeRecord();
      p_->anc = parent;
      parent->children.push_back(p_);
      p_ = parent;
    } else {
      FailPolytomy(i);
    }
    members_.push_back(1);
    group_first_tip_.push_back(tips_in_order_.size());
  }

  void CloseOrSeparate(char c, std::size_t i) {
    if (members_.empty()) FailTree("Unbalanced parentheses" + At(i) + ".");
    if (!HasLength(p_)) {
      FailTree("No branch length for " +
               (p_->IsTip() ? "the taxon " + Quoted(ShownName(*p_)) : std::string("the group")) +
               " before character " + std::to_string(i + 1) + " of the tree text.");
    }
    if (c == ',') {
      if (++members_.back() > (members_.size() == 1 ? 3 : 2)) FailPolytomy(i);
    } else {
      if (members_.back() < 2) FailTree("A group with a single member" + At(i) + ".");
      members_.pop_back();
      last_closed_ = TaxonSet(static_cast<int>(names_.size()));
      for (std::size_t t = group_first_tip_.back(); t < tips_in_order_.size(); ++t) {
        last_closed_.Add(tips_in_order_[t]);
      }
      group_first_tip_.pop_back();
      closed_ = members_.empty();
    }
    if (rerooted_ && c == ')') {
      const auto open = std::find_if(p_->children.begin(), p_->children.end(),
                                     [&](const NodeStruct* child) { return !HasLength(child); });
      if (open != p_->children.end()) p_ = *open;
    } else {
      p_ = p_->anc;
    }
  }

  std::size_t ReadLength(std::string_view text, std::size_t start) {
    const std::size_t end = std::min(text.find_first_of(kLengthEnd, start), text.size());
    const std::string_view number = text.substr(start, end - start);
    const std::optional<double> value = ParseLength(number);
    if (!value) {
      FailTree("The branch length " + Quoted(number) + At(start) +
               " is not a non-negative number.");
    }
    if (rerooted_ && p_->anc == root_) {
      SetLength(p_, *value / 2.0);
      p_ = root_->children[0];
      SetLength(p_, *value / 2.0);
    } else {
      SetLength(p_, *value);
    }
    return end;
  }

  std::size_t ReadLabel(std::string_view text, std::size_t start, char previous) {
    const std::size_t end = std::min(text.find_first_of(kLabelEnd, start), text.size());
    std::string written;
    for (const char c : text.substr(start, end - start)) {
      if (!IsBlank(c)) written.push_back(c);
    }
    // A label that was quoted in its file arrives encoded; a label may
    // begin with a digit like any name of the data file.
    const std::string label = DecodeLabel(written);
    if (previous == ')') {
      // A consensus tree's support of the group just closed, kept with the
      // group's taxa: rooting may turn the group's record over.
      if (written.starts_with("&p")) {
        double support = -1.0;
        const char* number = written.data() + 2;
        std::from_chars(number, written.data() + written.size(), support);
        supports_.emplace_back(last_closed_, support);
        return end;
      }
      // A name of the group just closed, such as anc_<n> in the tree file
      // that ribotrace writes. Once an unrooted tree has been rooted, the
      // scan no longer stands at the group's record: the name is dropped.
      if (!rerooted_) p_->label = label;
      return end;
    }
    if (previous != '(' && previous != ',')
      FailTree("Unexpected text " + Quoted(label) + At(start) + ".");

    NodeStruct* tip = nullptr;
    if (HasFreeChild()) {
      tip = AddChild();
    } else if (p_->anc == nullptr && !rerooted_) {
      tip = Reroot();
    } else {
      FailPolytomy(start);
    }
    const int taxon = FindTaxon(label, start);
    if (tip_of_taxon_[static_cast<std::size_t>(taxon)] != nullptr) {
      FailTree("The taxon " + Quoted(names_[static_cast<std::size_t>(taxon)].name) +
               " appears twice in the tree, again" + At(start) + ".");
    }
    tip_of_taxon_[static_cast<std::size_t>(taxon)] = tip;
    tips_in_order_.push_back(taxon);
    tip->label = label;
    tip->taxon_index = taxon;
    p_ = tip;
    return end;
  }

  NodeStruct* Reroot() {
    NodeStruct* tip = TakeRecord();
    NodeStruct* root = TakeRecord();
    root->children = {p_, tip};
    p_->anc = root;
    tip->anc = root;
    root_ = root;
    rerooted_ = true;
    return tip;
  }

  // The data row of a label: the first name equal to it, else the one name
  // equal to it but for case (tree files are read lower-cased). Names are
  // both the NEXUS names and the data file's own.
  int FindTaxon(const std::string& label, std::size_t start) const {
    if (const auto exact = exact_.find(label); exact != exact_.end()) return exact->second;
    if (const auto nexus = nexus_by_case_.find(Lower(label)); nexus != nexus_by_case_.end()) {
      return nexus->second;
    }
    auto by_case = by_case_.find(Lower(label));
    if (by_case == by_case_.end() && label.find(' ') != std::string::npos) {
      // Newick writers such as dendropy read an unquoted '_' as a blank and
      // write the name back quoted with blanks: 'Homo sapiens' for Homo_sapiens.
      std::string underscored = label;
      std::replace(underscored.begin(), underscored.end(), ' ', '_');
      if (const auto exact = exact_.find(underscored); exact != exact_.end()) return exact->second;
      by_case = by_case_.find(Lower(underscored));
    }
    if (by_case == by_case_.end()) {
      FailTree("The tree's taxon " + Quoted(label) + At(start) +
               " matches no taxon of the data file.");
    }
    const auto [first, second] = by_case->second;
    if (second >= 0) {
      FailTree("The tree's taxon " + Quoted(label) + " matches both " +
               Quoted(names_[static_cast<std::size_t>(first)].name) + " and " +
               Quoted(names_[static_cast<std::size_t>(second)].name) +
               " of the data file, which differ only in case.");
    }
    return first;
  }

  // The first two data rows whose names are equal but for case (-1: none).
  struct ByCase {
    int first = -1;
    int second = -1;
  };

  std::vector<NodeStruct>& nodes_;
  const std::vector<TaxonName>& names_;
  std::unordered_map<std::string, int> exact_;          // name -> its first data row
  std::unordered_map<std::string, ByCase> by_case_;     // lower-cased name -> rows
  std::unordered_map<std::string, int> nexus_by_case_;  // lower-cased NEXUS name -> row
  int n_taxa_;
  std::vector<bool> has_length_;                 // by record: a length has been read
  std::vector<const NodeStruct*> tip_of_taxon_;  // by data row
  std::vector<int> members_;                     // per open group: members begun so far
  std::vector<int> tips_in_order_;               // taxa as the text names them
  std::vector<std::size_t> group_first_tip_;     // per open group: its first tip's place there
  TaxonSet last_closed_;                         // the taxa of the group closed last
  std::vector<std::pair<TaxonSet, double>> supports_;  // groups' taxa and [&prob=...]
  NodeStruct* p_ = nullptr;
  NodeStruct* root_ = nullptr;
  std::size_t next_ = 0;  // the next free record
  bool rerooted_ = false;
  bool closed_ = false;  // the outermost group has been closed
};

}  // namespace

void SetUpTree(std::vector<NodeStruct>& nodes, std::vector<NodeStruct*>& up_pass,
               std::vector<NodeStruct*>& down_pass, const std::vector<TaxonName>& Names,
               const std::string& tree_text, int n_taxa) {
  TreeBuilder builder(nodes, Names, n_taxa);
  NumberNodesAndSequences(builder.Build(ResolvePolytomies(tree_text)), up_pass, down_pass);
  SetCladeSupports(builder.supports(), down_pass, static_cast<int>(Names.size()));
}
