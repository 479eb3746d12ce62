#include "run/row_drawing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "inference/ancestral_sampling.h"
#include "inference/gap_draws.h"
#include "inference/sample_rows.h"
#include "io/writers/sample_blocks.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Scratch space and time of one producing thread.
struct Worker {
  std::vector<int> codes;
  RowTimes times;
  double formatting = 0.0;
  std::optional<SampledPairCounts> pairs;
};

void AppendListingProbability(std::string& listing, double log_p) {
  const int size = std::snprintf(nullptr, 0, "\t[P = %1.12lf]\n", std::exp(log_p));
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), "\t[P = %1.12lf]\n", std::exp(log_p));
  text.pop_back();
  listing += text;
}

void WriteToStandardOutput(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

std::string ListingHead(const std::vector<int>& structure) {
  std::string head = "\nAncestral sequences:\n";
  for (const int pairing : structure) {
    if (pairing == 0) head += '.';
    if (pairing == 1) head += '(';
    if (pairing == -1) head += ')';
  }
  return head + "\n";
}

// The first draw of a unit that tree s gives: its place among the trees
// that hold the unit.
std::size_t FirstDrawIn(std::size_t s, const std::vector<int>& trees) {
  return static_cast<std::size_t>(
      std::lower_bound(trees.begin(), trees.end(), static_cast<int>(s)) - trees.begin());
}

// The rows tree s gives, numbered as for RowSink: draw k of unit j comes
// from this tree when it is the (k mod M)-th of the M trees that hold j;
// sampled rows first, then their hidden rows.
std::vector<std::size_t> RowsOfTree(std::size_t s, const ResultUnits& units,
                                    const std::vector<NodeStruct*>& nodes, std::size_t n_samples) {
  std::vector<std::size_t> rows;
  for (std::size_t j = 0; j < nodes.size(); ++j) {
    if (nodes[j] == nullptr) continue;
    const std::size_t step = units.trees(j).size();
    for (std::size_t k = FirstDrawIn(s, units.trees(j)); k < n_samples; k += step) {
      rows.push_back(j * n_samples + k);
    }
  }
  const std::size_t n_sampled = rows.size();
  const std::size_t n_sampled_rows = units.size() * n_samples;
  for (std::size_t i = 0; i < n_sampled; ++i) rows.push_back(n_sampled_rows + rows[i]);
  return rows;
}

// The nodes of the tree that give at least one of its rows (null for the
// rest), each conditioned on its pairs first when the run asks for it: a
// node's samples and hidden sequences are all drawn from its posteriors
// conditioned once, before any row.
std::vector<const NodeStruct*> NodesToSample(std::size_t s, const ResultUnits& units,
                                             const TreeRows& tree,
                                             const std::vector<SiteRecord>& SS,
                                             const std::vector<int>& structure,
                                             int condition_on_pairs, std::size_t n_samples) {
  std::vector<const NodeStruct*> sampled(tree.nodes.size(), nullptr);
  for (std::size_t j = 0; j < tree.nodes.size(); ++j) {
    if (tree.nodes[j] == nullptr || FirstDrawIn(s, units.trees(j)) >= n_samples) continue;
    if (condition_on_pairs == 1) ConditionDoubletPosteriorsOnPairs(*tree.nodes[j], structure, SS);
    sampled[j] = tree.nodes[j];
  }
  return sampled;
}

std::vector<Worker> MakeWorkers(int threads, std::size_t n_sites,
                                const SampledPairCounts* pair_counts) {
  std::vector<Worker> workers(static_cast<std::size_t>(threads));
  for (Worker& worker : workers) {
    worker.codes.assign(n_sites, 0);
    // Each worker counts its own rows; the sums do not depend on which
    // worker drew which row.
    if (pair_counts != nullptr) {
      worker.pairs =
          SampledPairCounts{pair_counts->sampled.Emptied(), pair_counts->hidden.Emptied()};
    }
  }
  return workers;
}

void MergePairCounts(const std::vector<Worker>& workers, SampledPairCounts& pair_counts) {
  for (const Worker& worker : workers) {
    pair_counts.sampled.Merge(worker.pairs->sampled);
    pair_counts.hidden.Merge(worker.pairs->hidden);
  }
}

void AddRowTimes(StageTimings& timings, const std::vector<Worker>& workers,
                 const SampleRowPlan& plan, Clock::time_point start) {
  RowTimes total;
  double formatting = 0.0;
  for (const Worker& worker : workers) {
    total.sampling += worker.times.sampling;
    total.simulation += worker.times.simulation;
    total.gaps += worker.times.gaps;
    formatting += worker.formatting;
  }
  const std::uint64_t sampled_draws = plan.n_sampled_rows * plan.n_blocks;
  // Thread-seconds per stage; the stages run interleaved, row by row.
  timings.Add("sampling", total.sampling, sampled_draws, 0);
  timings.Add("simulation", total.simulation, 2 * sampled_draws, 0);
  timings.Add("gaps", total.gaps, plan.GapRegionEnd() - plan.FirstGapDraw(0), 0);
  timings.Add("writing", formatting, 0, 0);
  timings.Add("sampling-to-writing", SecondsSince(start), plan.TotalDraws(), 0);
}

}  // namespace

void AppendRowBlock(std::string& text, const ResultUnits& units, std::size_t n_samples,
                    std::size_t row, std::string_view characters) {
  const std::size_t n_sampled_rows = units.size() * n_samples;
  const bool hidden = row >= n_sampled_rows;
  const std::size_t within = hidden ? row - n_sampled_rows : row;
  AppendNamedSampleBlock(text, units.row_name(within / n_samples, hidden), within % n_samples + 1,
                         characters);
}

StreamedRows::StreamedRows(OutputWriters& outputs, const ResultUnits& units, std::size_t n_samples,
                           std::size_t n_sites)
    : outputs_(outputs), units_(units), n_samples_(n_samples), n_sites_(n_sites) {}

void StreamedRows::Take(std::span<const std::size_t> rows, const TextBatch& batch) {
  text_.clear();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    AppendRowBlock(text_, units_, n_samples_, rows[i],
                   std::string_view(batch.results).substr(i * n_sites_, n_sites_));
  }
  outputs_.Rows(text_);
  WriteToStandardOutput(batch.listing);
}

void ScratchRows::Take(std::span<const std::size_t> rows, const TextBatch& batch) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    scratch_.Put(rows[i], std::string_view(batch.results).substr(i * n_sites_, n_sites_));
  }
}

void DrawTreeRows(std::size_t s, const ResultUnits& units, const TreeRows& tree,
                  const std::vector<SiteRecord>& SS, const std::vector<int>& structure,
                  const RowSettings& settings, RowSink& sink, SampledPairCounts* pair_counts) {
  const auto n_samples = static_cast<std::size_t>(std::max(settings.n_samples, 0));
  const std::vector<std::size_t> rows = RowsOfTree(s, units, tree.nodes, n_samples);
  const std::vector<const NodeStruct*> sampled =
      NodesToSample(s, units, tree, SS, structure, settings.condition_on_pairs, n_samples);
  SampleRowPlan plan(sampled, SS, structure, *tree.hidden, settings.n_samples,
                     settings.condition_on_pairs, settings.seed, tree.categories);
  std::optional<TreeGapDraws> tree_gaps;
  if (tree.gaps != nullptr) plan.tree_gaps = &tree_gaps.emplace(*tree.gaps, tree.hidden_length);
  CheckSampledPosteriors(plan);

  const Clock::time_point start = Clock::now();
  const std::size_t n_sites = structure.size();
  const std::size_t n_sampled = rows.size() / 2;
  const int threads = ResolveThreadCount(settings.threads);
  std::vector<Worker> workers = MakeWorkers(threads, n_sites, pair_counts);
  const bool timed = settings.timings != nullptr;
  const ProduceItem produce = [&](std::size_t item, int w, TextBatch& batch) {
    Worker& worker = workers[static_cast<std::size_t>(w)];
    const double log_p = ProduceSampleRow(plan, rows[item], settings.listing, worker.codes.data(),
                                          timed ? &worker.times : nullptr);
    const Clock::time_point formatting = timed ? Clock::now() : Clock::time_point();
    const std::size_t at = batch.results.size();
    AppendSequenceCharacters(batch.results, worker.codes.data(), n_sites);
    const bool hidden = item >= n_sampled;
    if (worker.pairs) (hidden ? worker.pairs->hidden : worker.pairs->sampled).AddRow(worker.codes);
    if (settings.listing) {
      batch.listing.append(batch.results, at, n_sites);
      if (hidden) {
        batch.listing += "\t[P = NA]\n";
      } else {
        AppendListingProbability(batch.listing, log_p);
      }
    }
    if (timed) worker.formatting += SecondsSince(formatting);
  };
  const std::size_t batch_rows = std::max<std::size_t>(1, (std::size_t{1} << 20) / (n_sites + 32));
  if (settings.listing) WriteToStandardOutput(ListingHead(structure));
  ProduceInOrder(rows.size(), batch_rows, threads, produce, [&](const TextBatch& batch) {
    sink.Take(std::span<const std::size_t>(rows).subspan(batch.first, batch.count), batch);
  });
  if (settings.listing) WriteToStandardOutput("\n");
  if (pair_counts != nullptr) MergePairCounts(workers, *pair_counts);
  if (timed) AddRowTimes(*settings.timings, workers, plan, start);
}
