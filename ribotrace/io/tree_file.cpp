#include "io/tree_file.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <string_view>

#include "bailout/bailout.h"
#include "bailout/quoted.h"
#include "io/nexus_text.h"
#include "tree-utility/string_token.h"

namespace {

bool IsEnd(const std::string& token) { return token == "end;" || token == "end"; }

class TokenStream {
 public:
  explicit TokenStream(std::string_view text) : text_(text) {}
  std::string Next() { return StringToken(pos_, text_, kNexusSeparators); }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// Reads "key name, key name, ... ;" after the word `translate`. Commas and
// the final ';' may stand alone or be attached to a name.
TranslateTable ReadTranslateTable(TokenStream& tokens) {
  TranslateTable table;
  std::string key = tokens.Next();
  while (!key.empty() && key != ";" && !IsEnd(key)) {
    std::string name = tokens.Next();
    bool last = false;
    std::string following;
    if (!name.empty() && (name.back() == ',' || name.back() == ';')) {
      last = name.back() == ';';
      name.pop_back();
    } else {
      following = tokens.Next();
      if (following == ";") last = true;
      if (following == "," || following == ";") following.clear();
    }
    if (name.empty()) break;
    table.emplace(key, name);
    if (last) break;
    key = following.empty() ? tokens.Next() : following;
  }
  return table;
}

// Replaces every taxon label that the table lists. Labels are the runs
// between the Newick punctuation; the run after a ':' is a branch length.
std::string TranslateLabels(std::string_view tree, const TranslateTable& table) {
  if (table.empty()) return std::string(tree);
  constexpr std::string_view kLabelEnd = ",()";
  std::string result;
  std::size_t i = 0;
  while (i < tree.size()) {
    const char c = tree[i];
    if (kLabelEnd.find(c) != std::string_view::npos || c == ':') {
      result.push_back(c);
      ++i;
      if (c != ':') continue;
      const std::size_t end = std::min(tree.find_first_of(",():", i), tree.size());
      result.append(tree.substr(i, end - i));
      i = end;
      continue;
    }
    const std::size_t end = std::min(tree.find_first_of(",():", i), tree.size());
    const std::string label(tree.substr(i, end - i));
    const auto found = table.find(label);
    result.append(found == table.end() ? label : found->second);
    i = end;
  }
  return result;
}

// A Newick file (IQ-TREE's .treefile, RAxML-NG's .bestTree) begins with
// its tree; a MrBayes file begins with "#NEXUS".
bool IsNewick(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && text[first] == '(';
}

// Support values label interior nodes (IQ-TREE with -B, RAxML-NG support
// trees), and some programs give the root a branch length; neither is part
// of the tree that ribotrace builds, so both are dropped.
std::string WithoutInteriorLabels(std::string_view tree) {
  std::string result;
  int depth = 0;
  for (std::size_t i = 0; i < tree.size(); ++i) {
    result.push_back(tree[i]);
    if (tree[i] == '(') ++depth;
    if (tree[i] != ')') continue;
    if (--depth == 0) break;
    const std::size_t label_end = std::min(tree.find_first_of(",():", i + 1), tree.size());
    i = label_end - 1;
  }
  return result;
}

// After the outermost group only the root's name and branch length may
// stand; anything else (a second group, a stray comma) would be dropped
// without a word.
void RefuseTextAfterTree(std::string_view rest, const std::string& file_name) {
  const std::size_t colon = rest.find(':');
  const std::string_view name = rest.substr(0, colon);
  const std::string_view length =
      colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
  double value = 0;
  const bool length_ok =
      colon == std::string_view::npos ||
      (!length.empty() &&
       std::from_chars(length.data(), length.data() + length.size(), value).ptr ==
           length.data() + length.size());
  if (name.find_first_of(",():") == std::string_view::npos && length_ok) return;
  FailWithLine("ReadTreeFile Error: The Newick file '" + file_name +
               "' has text after the end of its tree: " + Quoted(rest) +
               "; a Newick file holds one tree, '(' ... ')' and its ';'.");
}

// The one tree of a Newick file, up to its ';'.
std::string ReadNewickTree(std::string_view text, const std::string& file_name) {
  const std::size_t end = std::min(text.find(';'), text.size());
  const std::size_t more =
      end < text.size() ? text.find_first_not_of(" \t\r\n", end + 1) : std::string_view::npos;
  if (more != std::string_view::npos) {
    const std::string_view before = text.substr(0, more);
    const auto line = std::count(before.begin(), before.end(), '\n') + 1;
    const std::size_t line_start = before.rfind('\n') + 1;  // 0 on the first line
    FailWithLine("ReadTreeFile Error: The Newick file '" + file_name +
                 "' holds more than one tree (more text on line " + std::to_string(line) +
                 ", column " + std::to_string(more - line_start + 1) +
                 "); give ribotrace a file with one tree.");
  }
  const std::size_t start = text.find('(');  // the first non-blank character
  // Blanks may stand around ':' and ','; quoted labels arrive encoded, so
  // no blank left is part of a name.
  std::string tree(text.substr(start, end - start));
  std::erase_if(tree, [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
  int depth = 0;
  std::size_t outer_end = 0;
  while (outer_end < tree.size()) {
    const char c = tree[outer_end++];
    depth += c == '(' ? 1 : c == ')' ? -1 : 0;
    if (depth == 0) break;
  }
  RefuseTextAfterTree(std::string_view(tree).substr(outer_end), file_name);
  return WithoutInteriorLabels(tree);
}

// The Newick text after "tree <name> =", up to its ';': blanks between
// its tokens (around ':' and ',', as Newick allows) are dropped.
std::string ReadStatementTree(TokenStream& tokens, const std::string& file_name) {
  std::string newick;
  for (std::string token = tokens.Next();; token = tokens.Next()) {
    if (token.empty()) {
      FailWithLine("ReadTreeFile Error: The file '" + file_name +
                   "' ends inside a tree statement.");
    }
    newick += token;
    if (newick.back() == ';') break;
  }
  newick.pop_back();
  return newick;
}

// Every tree statement of a MrBayes file, handed to `statement` with its
// name and its Newick text (labels as written, without the final ';'), in
// file order; returns the translate table. MrBayes 3.2 puts a taxa block,
// closed by its own "end;", before the trees block; only the end of the
// trees block (or of a file of bare tree statements) ends the search.
TranslateTable ScanTreeStatements(
    std::string_view text, const std::string& file_name,
    const std::function<void(const std::string& name, std::string newick)>& statement) {
  TokenStream tokens(text);
  TranslateTable table;
  bool any_tree = false;
  bool in_trees_block = false;
  std::string token = tokens.Next();
  while (!token.empty()) {
    if (IsEnd(token) && (in_trees_block || any_tree)) break;
    if (token == "begin") {
      token = tokens.Next();
      in_trees_block = token == "trees;" || token == "trees";
      continue;
    }
    if (token == "translate") {
      table = ReadTranslateTable(tokens);
    } else if (token == "tree") {
      std::string name = tokens.Next();
      std::string newick = ReadStatementTree(tokens, file_name);
      any_tree = true;
      statement(name, std::move(newick));
    }
    token = tokens.Next();
  }
  if (!any_tree) {
    FailWithLine("ReadTreeFile Error: The file '" + file_name +
                 "' holds no tree statement; expected a MrBayes tree file (.con.tre or .t).");
  }
  return table;
}

// N of a statement named "gen.N", as MrBayes names its samples; -1 for
// any other name.
long long GenerationOf(std::string_view name) {
  if (!name.starts_with("gen.")) return -1;
  name.remove_prefix(4);
  long long generation = -1;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), generation);
  return error == std::errc() && end == name.data() + name.size() ? generation : -1;
}

}  // namespace

std::string ReadTreeFile(const std::string& file_name, std::string* analysis_id) {
  try {
    const NexusText nexus = ReadNexusText(file_name, false, "ReadTreeFile", true);
    if (analysis_id != nullptr) *analysis_id = nexus.analysis_id;
    if (IsNewick(nexus.text)) return ReadNewickTree(nexus.text, file_name);
    std::string last;
    const TranslateTable table = ScanTreeStatements(
        nexus.text, file_name,
        [&](const std::string&, std::string newick) { last = std::move(newick); });
    return TranslateLabels(last, table);
  } catch (const std::bad_alloc&) {
    FailWithLine("ReadTreeFile Error: Problem allocating memory for string.");
  }
}

SampledTreeFile::SampledTreeFile(const std::string& file_name) : file_name_(file_name) {
  try {
    const NexusText nexus = ReadNexusText(file_name, false, "ReadTreeFile", true);
    analysis_id_ = nexus.analysis_id;
    if (IsNewick(nexus.text)) {
      statements_.push_back({-1, ReadNewickTree(nexus.text, file_name)});
      return;
    }
    translate_ =
        ScanTreeStatements(nexus.text, file_name, [&](const std::string& name, std::string newick) {
          statements_.push_back({GenerationOf(name), std::move(newick)});
        });
  } catch (const std::bad_alloc&) {
    FailWithLine("ReadTreeFile Error: Problem allocating memory for string.");
  }
}

std::string SampledTreeFile::Tree(std::size_t i) const {
  return TranslateLabels(statements_[i].newick, translate_);
}
