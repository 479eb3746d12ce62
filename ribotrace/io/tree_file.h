// Reading the tree that MrBayes wrote: a NEXUS file with a trees block, such
// as the consensus tree (.con.tre) or the sampled trees (.t); or a Newick
// file of one tree, such as IQ-TREE and RAxML-NG write.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// The Newick text of the tree to analyse, lower-cased but for quoted
// labels, without comments, blanks between tokens or its final ';'; quoted
// labels in the label encoding of tree/label_encoding.h. With one tree statement in the file that
// tree is taken; with several, the last one. Numeric labels listed in a `translate` table are
// replaced by the names it gives. Reading stops at the end of the trees block. A file whose first
// non-blank character is '(' is Newick: its one tree, without interior node labels (support values)
// or a root branch length. Fails when the file cannot be read or holds no tree, or a Newick file
// holds more than one. With `analysis_id`, stores there the file's MrBayes "[ID: ...]" ("" if
// none).
std::string ReadTreeFile(const std::string& file_name, std::string* analysis_id = nullptr);

// A tree label -> taxon name table of a MrBayes trees block.
using TranslateTable = std::map<std::string, std::string>;

// Every tree of a MrBayes file, such as the sampled trees of one run
// (.t), in file order; a Newick file gives its one tree. Read once.
class SampledTreeFile {
 public:
  // Fails as ReadTreeFile does.
  explicit SampledTreeFile(const std::string& file_name);

  const std::string& file_name() const { return file_name_; }
  const std::string& analysis_id() const { return analysis_id_; }
  std::size_t size() const { return statements_.size(); }
  // N of the statement "tree gen.N = ...", MrBayes's generation of the
  // sample; -1 when the statement has another name (a consensus tree).
  long long Generation(std::size_t i) const { return statements_[i].generation; }
  // The tree of statement i as ReadTreeFile returns a file's tree.
  std::string Tree(std::size_t i) const;

 private:
  struct Statement {
    long long generation;
    std::string newick;  // labels as written
  };
  std::string file_name_;
  std::string analysis_id_;
  TranslateTable translate_;
  std::vector<Statement> statements_;
};
