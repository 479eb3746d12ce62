// Hidden sequences: for every interior node below the root and every
// sample, a state drawn from the node's posteriors is carried along a hidden
// branch below the node, and the state at its end is kept.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "sequence/stems_and_loops.h"
#include "tree/node_struct.h"

// Transition probabilities along the hidden branch (length scaled_length x
// lambda, the same for every node of a run). Row: state at the node;
// column: state at the end of the hidden branch.
struct HiddenBranchMatrices {
  std::array<double, 16> singlet{};   // 4 x 4, A C G U
  std::array<double, 256> doublet{};  // 16 x 16, doublet index order
};

// One distribution prepared for many draws: the running sums exactly as
// DrawCategorical forms them, and the state it falls back on when no sum
// exceeds the draw (-1 when no state is drawable). Drawing from it gives
// the state DrawCategorical would give, without adding anything up again.
template <int N>
struct RunningSums {
  std::array<double, N> sums{};
  int fallback = -1;
  // Finite and non-decreasing (no negative or missing entry): the drawn
  // state is then simply the number of sums at or below the draw.
  bool monotone = false;
};

// The hidden matrices of a run prepared for drawing: every row as running
// sums, and with conditioning on pairs every doublet row reweighted by each
// stem's canonical-pair frequency. The hidden branch is drawn from millions
// of times with the same few rows, so this is done once per run.
class HiddenDrawTables {
 public:
  HiddenDrawTables(const HiddenBranchMatrices& hidden, const std::vector<SiteRecord>& SS,
                   const std::vector<int>& structure, int condition_on_pairs);

  const RunningSums<4>& SingletRow(int from) const { return singlet_[from]; }
  // The row of doublet `from` at the stem that opens at `column`.
  const RunningSums<16>& DoubletRow(std::size_t column, int from) const {
    return doublet_[table_of_column_[column]][from];
  }

 private:
  std::array<RunningSums<4>, 4> singlet_;
  std::vector<std::array<RunningSums<16>, 16>> doublet_;  // one table, or one per stem
  std::vector<std::size_t> table_of_column_;
};

class CategoryDrawer;

// Draws one hidden sequence of the node into `row` (n_sites entries): per
// loop column and stem pair, in column order, one draw for the state at the
// node (from its posteriors) and one for the state at the end of the hidden
// branch (from that state's row of the prepared hidden tables). With
// `categories`, each block's rate category is drawn first (from its own
// stream), then the state from the posteriors given it and the end state
// from that category's tables; without, tables_by_category holds one
// entry. A distribution with no drawable state is fatal.
void SimulateHiddenRow(const NodeStruct& node, const std::vector<SiteRecord>& SS,
                       const std::vector<int>& structure,
                       std::span<const HiddenDrawTables> tables_by_category, std::int32_t* seed,
                       int* row, CategoryDrawer* categories = nullptr);
