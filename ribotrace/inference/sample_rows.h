// The sample matrix one row at a time. Every draw of a run has a position
// in the one random stream that is known in advance (see FirstDraw), so any
// row can be produced on its own, on any thread, from the state at its first
// draw, with exactly the numbers that drawing the whole matrix in order
// would give it. Rows follow the layout described in ancestral_sampling.h:
// sampled rows j x S + k, then hidden rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "inference/gap_draws.h"
#include "inference/hidden_simulation.h"
#include "inference/rate_categories.h"
#include "sequence/stems_and_loops.h"
#include "tree/node_struct.h"

// What sampling needs of the rate categories: the category posteriors of
// every block, and each category's hidden-branch matrices (the hidden
// branch at that category's rate).
struct CategorySampling {
  CategoryPosteriors posteriors;
  std::vector<HiddenBranchMatrices> hidden;
};

// What producing a row reads. The nodes' posteriors must already be
// conditioned on pairs when condition_on_pairs is 1. With `categories`
// (gamma rates), each block's rate category is drawn before its states,
// and the hidden branch takes that category's matrices instead of
// `hidden`.
struct SampleRowPlan {
  SampleRowPlan(const std::vector<NodeStruct*>& down_pass, const std::vector<SiteRecord>& SS,
                const std::vector<int>& structure, const HiddenBranchMatrices& hidden,
                int n_samples, int condition_on_pairs, std::int32_t seed,
                const CategorySampling* categories = nullptr);
  // The same with the sampled nodes given: row j x S + k samples
  // sampled_nodes[j], which may be null for a node of which no row is
  // produced (a clade that the tree at hand does not hold).
  SampleRowPlan(std::vector<const NodeStruct*> sampled_nodes, const std::vector<SiteRecord>& SS,
                const std::vector<int>& structure, const HiddenBranchMatrices& hidden,
                int n_samples, int condition_on_pairs, std::int32_t seed,
                const CategorySampling* categories = nullptr);

  std::size_t n_rows() const { return 2 * n_sampled_rows; }
  // The position (0-based) in the stream of the first sampling or hidden
  // draw of the row: node j, sample k samples draws (j x S + k) x U on, and
  // its hidden row draws 2 x U per row after all (taxa - 2) x S x U
  // sampling draws.
  std::uint64_t FirstDraw(std::size_t row) const;
  // The position of the row's gap draw in the first column of positive gap
  // frequency; the g-th such column draws g x rows later.
  std::uint64_t FirstGapDraw(std::size_t row) const;
  // With tree_gaps, the gap region instead holds the tree rule's draws
  // row after row: n_drawn() per sampled row, then 2 x n_drawn() per
  // hidden row. This is the position of the row's first.
  std::uint64_t FirstTreeGapDraw(std::size_t row) const;
  // Where the gap region, whichever rule fills it, ends.
  std::uint64_t GapRegionEnd() const;
  // With rate categories, the position of the row's first category draw:
  // after every other draw of the run, U per row in row order (sampled
  // rows, then hidden rows), one per block in column order.
  std::uint64_t FirstCategoryDraw(std::size_t row) const;
  // Every draw of the run.
  std::uint64_t TotalDraws() const;

  std::vector<const NodeStruct*> nodes;  // interior nodes below the root, down-pass order
  const std::vector<SiteRecord>& SS;
  const std::vector<int>& structure;
  std::vector<HiddenDrawTables> hidden;  // one per rate category (one without them)
  const CategoryPosteriors* categories;  // null without rate categories
  std::size_t n_samples;
  std::int32_t seed;                        // the state before the run's first draw
  std::uint64_t n_blocks;                   // U: stem pairs plus loop columns
  std::size_t n_sampled_rows;               // (taxa - 2) x S
  std::vector<std::size_t> gap_columns;     // columns of positive gap frequency, in order
  const TreeGapDraws* tree_gaps = nullptr;  // set: gaps from the tree instead of the columns
};

// Seconds spent by one thread in each part of producing rows.
struct RowTimes {
  double sampling = 0.0;
  double simulation = 0.0;
  double gaps = 0.0;
};

// Fills `codes` (n_sites entries) with row `row` of the sample matrix, gaps
// put back, and returns the row's log-probability (0.0 for hidden rows, and
// for every row unless with_log_p). Adds the time of each part to *times
// when given. A distribution with no drawable state is fatal, with the
// message of the stage that draws from it.
double ProduceSampleRow(const SampleRowPlan& plan, std::size_t row, bool with_log_p, int* codes,
                        RowTimes* times = nullptr);

// Before any row is produced: the first sampling failure that drawing the
// matrix in order would meet (the first node in down-pass order and its
// first column with no drawable posterior), so that it is reported before
// anything is written. Does nothing when there are no samples; passes
// over null nodes.
void CheckSampledPosteriors(const SampleRowPlan& plan);
