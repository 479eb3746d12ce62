#include "run/sample_stream.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "inference/ancestral_sampling.h"
#include "inference/likelihood_blocks.h"
#include "inference/sample_rows.h"
#include "base/diagnostics.h"
#include "base/ordered_batches.h"
#include "base/random_source.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Scratch space and time of one producing thread.
struct Worker {
  std::vector<int> codes;
  std::string line;
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

std::string ListingHead(const std::vector<int>& structure) {
  std::string head = "\nAncestral sequences:\n";
  for (const int pairing : structure) {
    if (pairing == 0) head += '.';
    if (pairing == 1) head += '(';
    if (pairing == -1) head += ')';
  }
  return head + "\n";
}

void WriteToStandardOutput(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

void StreamSampleRows(const InferenceInputs& inputs, const RunValues& values, std::int32_t* seed,
                      ResultsFiles& files, const StreamExtras& extras) {
  const std::vector<int>& structure = inputs.alignment.structure;
  StageTimings* timings = inputs.timings;
  // Conditioning changes a node's doublet posteriors once, for all its
  // samples and hidden sequences alike, before any row is drawn.
  if (values.condition_on_pairs == 1 && values.n_samples > 0) {
    for (NodeStruct* node : inputs.down_pass) {
      if (IsInteriorBelowRoot(*node)) ConditionDoubletPosteriorsOnPairs(*node, structure, inputs.SS);
    }
  }
  SampleRowPlan plan(inputs.down_pass, inputs.SS, structure, inputs.hidden, values.n_samples,
                     values.condition_on_pairs, *seed, extras.categories);
  std::optional<TreeGapDraws> tree_gaps;
  if (extras.gaps != nullptr) {
    // Every node's hidden branch has the same length (see inputs.hidden).
    plan.tree_gaps = &tree_gaps.emplace(
        *extras.gaps, inputs.down_pass.front()->scaled_length * values.lambda);
  }
  CheckSampledPosteriors(plan);

  const Clock::time_point stream_start = Clock::now();
  const std::size_t n_sites = structure.size();
  const int threads = ResolveThreadCount(values.threads);
  const bool listing = show_debug_info;
  const bool timed = timings != nullptr;
  std::vector<Worker> workers(static_cast<std::size_t>(threads));
  for (Worker& worker : workers) {
    worker.codes.assign(n_sites, 0);
    if (extras.pair_counts != nullptr) worker.pairs = *extras.pair_counts;
  }

  const ProduceItem produce = [&](std::size_t row, int w, TextBatch& batch) {
    Worker& worker = workers[static_cast<std::size_t>(w)];
    const double log_p =
        ProduceSampleRow(plan, row, listing, worker.codes.data(), timed ? &worker.times : nullptr);
    const Clock::time_point start = timed ? Clock::now() : Clock::time_point();
    worker.line.clear();
    AppendSequenceCharacters(worker.line, worker.codes.data(), n_sites);
    const bool hidden = row >= plan.n_sampled_rows;
    if (worker.pairs) (hidden ? worker.pairs->hidden : worker.pairs->sampled).AddRow(worker.codes);
    const std::size_t within = hidden ? row - plan.n_sampled_rows : row;
    AppendSampleBlock(batch.results, hidden, plan.nodes[within / plan.n_samples]->index,
                      within % plan.n_samples + 1, worker.line);
    if (listing) {
      batch.listing += worker.line;
      if (hidden) {
        batch.listing += "\t[P = NA]\n";
      } else {
        AppendListingProbability(batch.listing, log_p);
      }
    }
    if (timed) worker.formatting += SecondsSince(start);
  };

  std::uint64_t bytes = 0;
  double consuming = 0.0;
  const std::size_t batch_rows = std::max<std::size_t>(1, (std::size_t{1} << 20) / (n_sites + 32));
  auto sample_blocks = [&](const std::function<void(std::string_view)>& write) {
    if (listing) WriteToStandardOutput(ListingHead(structure));
    ProduceInOrder(plan.n_rows(), batch_rows, threads, produce, [&](const TextBatch& batch) {
      const Clock::time_point start = Clock::now();
      write(batch.results);
      if (listing) WriteToStandardOutput(batch.listing);
      bytes += batch.results.size();
      consuming += SecondsSince(start);
    });
    if (listing) WriteToStandardOutput("\n");
  };
  WriteResultsToFile_New(files, inputs.down_pass, values.include_data, inputs.alignment,
                         values.n_samples, values.lambda, values.is_harmonic, sample_blocks);
  *seed = JumpRandomState(*seed, plan.TotalDraws());
  if (extras.pair_counts != nullptr) {
    for (const Worker& worker : workers) {
      extras.pair_counts->sampled.Merge(worker.pairs->sampled);
      extras.pair_counts->hidden.Merge(worker.pairs->hidden);
    }
  }

  if (timed) {
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
    timings->Add("sampling", total.sampling, sampled_draws, 0);
    timings->Add("simulation", total.simulation, 2 * sampled_draws, 0);
    timings->Add("gaps", total.gaps, plan.GapRegionEnd() - plan.FirstGapDraw(0), 0);
    timings->Add("writing", formatting + consuming, 0, bytes);
    timings->Add("sampling-to-writing", SecondsSince(stream_start), plan.TotalDraws(), bytes);
  }
}
