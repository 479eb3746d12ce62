// The sample rows of one tree: its result units' ancestral samples and
// hidden sequences, gaps put back, each row made on its own from its
// position in the random stream, on several threads, and handed in order
// to a sink: the results file itself when the run has one tree, a scratch
// file when the rows of many trees interleave.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/ordered_batches.h"
#include "base/stage_timings.h"
#include "inference/gap_reconstruction.h"
#include "inference/hidden_simulation.h"
#include "inference/sample_rows.h"
#include "io/output_writers.h"
#include "run/result_units.h"
#include "run/row_scratch.h"
#include "sequence/helices.h"
#include "sequence/stems_and_loops.h"

// Takes the rows in the order they are produced. A row's number is its
// place in the results file: unit j's k-th sample is j x S + k, its k-th
// hidden sequence (S x units) + j x S + k.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // rows[i] is the number of the i-th row of the batch, whose characters
  // are batch.results[i x n_sites, (i + 1) x n_sites).
  virtual void Take(std::span<const std::size_t> rows, const TextBatch& batch) = 0;
};

// Hands each row's block to the outputs as it comes (the rows of one tree
// come in file order), and writes the listing of the diagnostics.
class StreamedRows : public RowSink {
 public:
  StreamedRows(OutputWriters& outputs, const ResultUnits& units, std::size_t n_samples,
               std::size_t n_sites);
  void Take(std::span<const std::size_t> rows, const TextBatch& batch) override;

 private:
  OutputWriters& outputs_;
  const ResultUnits& units_;
  std::size_t n_samples_;
  std::size_t n_sites_;
  std::string text_;
};

// Keeps the rows in a scratch file until every tree has given its rows.
class ScratchRows : public RowSink {
 public:
  ScratchRows(RowScratch& scratch, std::size_t n_sites) : scratch_(scratch), n_sites_(n_sites) {}
  void Take(std::span<const std::size_t> rows, const TextBatch& batch) override;

 private:
  RowScratch& scratch_;
  std::size_t n_sites_;
};

// Appends the block of row `row` (numbered as for RowSink): ">" name "_<k>".
void AppendRowBlock(std::string& text, const ResultUnits& units, std::size_t n_samples,
                    std::size_t row, std::string_view characters);

struct TreeRows {
  // Each unit's node in the tree (null: the tree lacks it), with its
  // posteriors; conditioned on pairs here when condition_on_pairs is 1.
  std::vector<NodeStruct*> nodes;
  const HiddenBranchMatrices* hidden = nullptr;
  const CategorySampling* categories = nullptr;  // gamma rates
  // Set (--gaps=tree): the rows' gaps come from the tree's reconstruction,
  // with hidden branches of length hidden_length.
  const GapReconstruction* gaps = nullptr;
  double hidden_length = 0.0;
};

struct RowSettings {
  int n_samples = 0;
  int condition_on_pairs = 0;
  std::int32_t seed = 0;
  int threads = 1;
  bool listing = false;  // the diagnostics' listing of every row, in the batches
  StageTimings* timings = nullptr;
};

// Draws the rows that tree s gives and hands them to `sink`: the k-th draw
// (from 0) of a unit held by M trees comes from the (k mod M)-th of them,
// in sample order. Adds the rows' pairs to *pair_counts when given.
void DrawTreeRows(std::size_t s, const ResultUnits& units, const TreeRows& tree,
                  const std::vector<SiteRecord>& SS, const std::vector<int>& structure,
                  const RowSettings& settings, RowSink& sink, SampledPairCounts* pair_counts);
