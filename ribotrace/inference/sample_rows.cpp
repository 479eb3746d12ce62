#include "inference/sample_rows.h"

#include <chrono>
#include <optional>
#include <utility>

#include "inference/ancestral_sampling.h"
#include "inference/likelihood_blocks.h"
#include "base/random_source.h"
#include "sequence/state_coding.h"
#include "tree/polytomies.h"

namespace {

using Clock = std::chrono::steady_clock;

// Adds the time since *mark to *total and moves the mark, when timing.
void Lap(RowTimes* times, double RowTimes::*part, Clock::time_point* mark) {
  if (times == nullptr) return;
  const Clock::time_point now = Clock::now();
  times->*part += std::chrono::duration<double>(now - *mark).count();
  *mark = now;
}

}  // namespace

namespace {

std::vector<const NodeStruct*> InteriorBelowRoot(const std::vector<NodeStruct*>& down_pass) {
  std::vector<const NodeStruct*> nodes;
  for (const NodeStruct* node : down_pass) {
    if (IsNamedInteriorNode(*node)) nodes.push_back(node);
  }
  return nodes;
}

}  // namespace

SampleRowPlan::SampleRowPlan(const std::vector<NodeStruct*>& down_pass,
                             const std::vector<SiteRecord>& sites, const std::vector<int>& pairing,
                             const HiddenBranchMatrices& hidden_matrices, int samples,
                             int condition_on_pairs, std::int32_t first_seed,
                             const CategorySampling* rate_categories)
    : SampleRowPlan(InteriorBelowRoot(down_pass), sites, pairing, hidden_matrices, samples,
                    condition_on_pairs, first_seed, rate_categories) {}

SampleRowPlan::SampleRowPlan(std::vector<const NodeStruct*> sampled_nodes,
                             const std::vector<SiteRecord>& sites, const std::vector<int>& pairing,
                             const HiddenBranchMatrices& hidden_matrices, int samples,
                             int condition_on_pairs, std::int32_t first_seed,
                             const CategorySampling* rate_categories)
    : nodes(std::move(sampled_nodes)),
      SS(sites),
      structure(pairing),
      categories(rate_categories != nullptr ? &rate_categories->posteriors : nullptr),
      n_samples(samples > 0 ? static_cast<std::size_t>(samples) : 0),
      seed(first_seed),
      n_blocks(static_cast<std::uint64_t>(CountBlocks(pairing))) {
  if (rate_categories == nullptr) {
    hidden.emplace_back(hidden_matrices, SS, structure, condition_on_pairs);
  } else {
    for (const HiddenBranchMatrices& matrices : rate_categories->hidden) {
      hidden.emplace_back(matrices, SS, structure, condition_on_pairs);
    }
  }
  n_sampled_rows = nodes.size() * n_samples;
  for (std::size_t c = 0; c < SS.size(); ++c) {
    if (SS[c].freq_gaps > 0.0) gap_columns.push_back(c);
  }
}

std::uint64_t SampleRowPlan::FirstDraw(std::size_t row) const {
  if (row < n_sampled_rows) return row * n_blocks;
  return n_sampled_rows * n_blocks + (row - n_sampled_rows) * 2 * n_blocks;
}

std::uint64_t SampleRowPlan::FirstGapDraw(std::size_t row) const {
  return 3 * n_sampled_rows * n_blocks + row;
}

std::uint64_t SampleRowPlan::FirstTreeGapDraw(std::size_t row) const {
  const std::uint64_t per_row = tree_gaps->n_drawn();
  const std::uint64_t within = row < n_sampled_rows
                                   ? row * per_row
                                   : (n_sampled_rows + 2 * (row - n_sampled_rows)) * per_row;
  return FirstGapDraw(0) + within;
}

std::uint64_t SampleRowPlan::GapRegionEnd() const {
  if (tree_gaps != nullptr) return FirstGapDraw(0) + 3 * n_sampled_rows * tree_gaps->n_drawn();
  return FirstGapDraw(0) + gap_columns.size() * n_rows();
}

std::uint64_t SampleRowPlan::FirstCategoryDraw(std::size_t row) const {
  return GapRegionEnd() + row * n_blocks;
}

std::uint64_t SampleRowPlan::TotalDraws() const {
  return categories == nullptr ? GapRegionEnd() : FirstCategoryDraw(n_rows());
}

double ProduceSampleRow(const SampleRowPlan& plan, std::size_t row, bool with_log_p, int* codes,
                        RowTimes* times) {
  Clock::time_point mark;
  if (times != nullptr) mark = Clock::now();
  std::int32_t state = JumpRandomState(plan.seed, plan.FirstDraw(row));
  std::optional<CategoryDrawer> categories;
  if (plan.categories != nullptr) {
    categories.emplace(*plan.categories, JumpRandomState(plan.seed, plan.FirstCategoryDraw(row)));
  }
  CategoryDrawer* drawer = categories ? &*categories : nullptr;
  double log_p = 0.0;
  if (row < plan.n_sampled_rows) {
    const NodeStruct& node = *plan.nodes[row / plan.n_samples];
    log_p = SampleAncestralRow(node, plan.SS, plan.structure, &state, codes, with_log_p, drawer);
    Lap(times, &RowTimes::sampling, &mark);
  } else {
    const NodeStruct& node = *plan.nodes[(row - plan.n_sampled_rows) / plan.n_samples];
    SimulateHiddenRow(node, plan.SS, plan.structure, plan.hidden, &state, codes, drawer);
    Lap(times, &RowTimes::simulation, &mark);
  }
  if (plan.tree_gaps != nullptr) {
    const bool hidden = row >= plan.n_sampled_rows;
    const std::size_t node = (hidden ? row - plan.n_sampled_rows : row) / plan.n_samples;
    plan.tree_gaps->Apply(*plan.nodes[node], hidden,
                          JumpRandomState(plan.seed, plan.FirstTreeGapDraw(row)), codes);
    Lap(times, &RowTimes::gaps, &mark);
  } else if (!plan.gap_columns.empty()) {
    // The row's gap draws lie one whole column of rows apart.
    const RandomStride next_column(plan.n_rows());
    std::int32_t drawn = JumpRandomState(plan.seed, plan.FirstGapDraw(row) + 1);
    for (const std::size_t c : plan.gap_columns) {
      if (plan.SS[c].freq_gaps > drawn / 2147483647.0) codes[c] = kGapCode;
      drawn = next_column.Apply(drawn);
    }
    Lap(times, &RowTimes::gaps, &mark);
  }
  return log_p;
}

void CheckSampledPosteriors(const SampleRowPlan& plan) {
  if (plan.n_samples == 0) return;
  for (const NodeStruct* node : plan.nodes) {
    if (node == nullptr) continue;
    std::size_t offset = 0;
    for (std::size_t c = 0; c < plan.structure.size(); ++c) {
      const int pairing = plan.structure[c];
      if (!OwnsBlock(pairing)) continue;
      const bool doublet = pairing == kOpeningColumn;
      const double* probs = &node->posterior_probs[offset];
      // A draw of 1.0 walks past every running sum and so takes the
      // fallback, which finds a state exactly when one is drawable.
      if (DrawCategorical(probs, doublet ? kNumDoublets : kNumNucleotides, 1.0) < 0) {
        FailOnUndrawablePosterior(*node, c);
      }
      offset += BlockEntries(pairing);
    }
  }
}
