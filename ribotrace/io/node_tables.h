// What a biologist reads about each node: the per-site table (".state"),
// the per-pair table (".pairs") and the most probable sequences (".map.fa").
// The tables take rows as the run hands them over and write them to their
// file at each Flush(), so a run streams them node by node. Further columns
// (for example the probability of a gap) are extra columns named at
// construction and given with each row; they follow the probabilities.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "output/safe_output_file.h"

// One node's probabilities of A, C, G, U at one column.
struct SiteRow {
  std::string_view node;  // the node's name
  std::size_t site = 0;   // 1-based column
  int state = -1;         // the most probable nucleotide (0..3); -1: none
  std::array<double, 4> p{};
  std::size_t partner = 0;  // 1-based partner column; 0 for a loop column
};

// One node's probabilities of the 16 doublets of one stem pair.
struct PairRow {
  std::string_view node;
  std::size_t site5 = 0;  // 1-based opening column
  std::size_t site3 = 0;  // 1-based closing column
  int state = -1;         // the most probable doublet (0..15); -1: none
  std::span<const double, 16> p;
};

// Tab-separated "Node Site State p_A p_C p_G p_U [extra...] Pair", the
// column names of IQ-TREE's .state file where they mean the same.
class StateTable {
 public:
  explicit StateTable(SafeOutputFile& file, const std::vector<std::string>& extra_columns = {});
  void Add(const SiteRow& row, std::span<const double> extra = {});
  void Flush();

 private:
  SafeOutputFile& file_;
  std::string text_;
};

// Tab-separated "Node Site5 Site3 State p_AA p_AC ... p_UU [extra...]", the
// doublets in A C G U order, the 5' nucleotide first.
class PairTable {
 public:
  explicit PairTable(SafeOutputFile& file, const std::vector<std::string>& extra_columns = {});
  void Add(const PairRow& row, std::span<const double> extra = {});
  void Flush();

 private:
  SafeOutputFile& file_;
  std::string text_;
};

// The state of a most probable sequence where the column is most probably
// absent (--gaps=tree); written as '-'.
constexpr int kGapState = 4;

// Appends ">name" and the sequence of nucleotide states (0..3 as A C G U,
// kGapState as '-', anything else as N) as two lines.
void AppendSequenceRecord(std::string& text, std::string_view name, std::span<const int> states);
