#include "inference/hidden_simulation.h"

#include <cmath>
#include <string>

#include "bailout/bailout.h"
#include "inference/ancestral_sampling.h"
#include "inference/likelihood_blocks.h"
#include "inference/rate_categories.h"
#include "base/random_source.h"
#include "sequence/state_coding.h"

namespace {

template <int N>
RunningSums<N> PrepareRow(const double* probs) {
  RunningSums<N> row;
  double running = 0.0;
  for (int i = 0; i < N; ++i) {
    running += probs[i];
    row.sums[i] = running;
  }
  for (int i = N - 1; i >= 0; --i) {
    if (std::isfinite(probs[i]) && probs[i] > 0.0) {
      row.fallback = i;
      break;
    }
  }
  row.monotone = true;
  for (int i = 0; i < N; ++i) {
    if (!std::isfinite(probs[i]) || probs[i] < 0.0) row.monotone = false;
  }
  return row;
}

std::array<RunningSums<16>, 16> PrepareDoubletTable(const std::array<double, 256>& matrix,
                                                    bool condition, double freq_canonical) {
  std::array<RunningSums<16>, 16> table;
  for (int from = 0; from < kNumDoublets; ++from) {
    std::array<double, kNumDoublets> to;
    for (int y = 0; y < kNumDoublets; ++y) to[y] = matrix[from * kNumDoublets + y];
    if (condition) ConditionDoubletsOnPairs(to.data(), freq_canonical);
    table[from] = PrepareRow<16>(to.data());
  }
  return table;
}

template <int N>
int DrawPrepared(const RunningSums<N>& row, double u) {
  if (row.monotone) {
    // Counting instead of searching: no branch to mispredict per entry.
    int below = 0;
    for (int i = 0; i < N; ++i) below += row.sums[i] <= u ? 1 : 0;
    return below < N ? below : row.fallback;
  }
  for (int i = 0; i < N; ++i) {
    if (row.sums[i] > u) return i;
  }
  return row.fallback;
}

[[noreturn]] void FailToDraw(const char* what, const NodeStruct& node, std::size_t column) {
  Fail(std::string("SimulateHiddenAncestralSequences Error: The ") + what + " of node " +
       std::to_string(node.index) + " at column " + std::to_string(column) +
       " are all 0 or not numbers; no state can be drawn.");
}

}  // namespace

HiddenDrawTables::HiddenDrawTables(const HiddenBranchMatrices& hidden,
                                   const std::vector<SiteRecord>& SS,
                                   const std::vector<int>& structure, int condition_on_pairs)
    : table_of_column_(structure.size(), 0) {
  for (int from = 0; from < kNumNucleotides; ++from) {
    singlet_[from] = PrepareRow<4>(&hidden.singlet[from * kNumNucleotides]);
  }
  if (condition_on_pairs != 1) {
    doublet_.push_back(PrepareDoubletTable(hidden.doublet, false, 0.0));
    return;
  }
  for (std::size_t c = 0; c < structure.size(); ++c) {
    if (structure[c] != kOpeningColumn) continue;
    table_of_column_[c] = doublet_.size();
    doublet_.push_back(PrepareDoubletTable(hidden.doublet, true, SS[c].freq_canonical));
  }
}

void SimulateHiddenRow(const NodeStruct& node, const std::vector<SiteRecord>& SS,
                       const std::vector<int>& structure,
                       std::span<const HiddenDrawTables> tables_by_category, std::int32_t* seed,
                       int* row, CategoryDrawer* categories) {
  // A local state stays in a register; through the pointer every draw would
  // have to store and reload it around the writes to `row`.
  std::int32_t random_state = *seed;
  std::size_t offset = 0;
  for (std::size_t c = 0; c < structure.size(); ++c) {
    const int pairing = structure[c];
    if (!OwnsBlock(pairing)) continue;
    const int category = categories != nullptr ? categories->Next() : -1;
    const HiddenDrawTables& tables = tables_by_category[category > 0 ? category : 0];
    if (pairing == kOpeningColumn) {
      const int x = DrawCategorical(PosteriorEntries(node, offset, category), kNumDoublets,
                                    DrawUniform(&random_state));
      if (x < 0) FailToDraw("posterior probabilities", node, c);
      const int y = DrawPrepared(tables.DoubletRow(c, x), DrawUniform(&random_state));
      if (y < 0) FailToDraw("hidden transition probabilities", node, c);
      GetDoubletMembers(row[c], row[SS[c].partner], y);
    } else {
      const int x = DrawCategorical(PosteriorEntries(node, offset, category), kNumNucleotides,
                                    DrawUniform(&random_state));
      if (x < 0) FailToDraw("posterior probabilities", node, c);
      const int y = DrawPrepared(tables.SingletRow(x), DrawUniform(&random_state));
      if (y < 0) FailToDraw("hidden transition probabilities", node, c);
      row[c] = y;
    }
    offset += BlockEntries(pairing);
  }
  *seed = random_state;
}
