// The output files a run may write, one row each: the suffix after the
// results file's name, when a run writes it, and the writer that does.
// Adding an output is one writer file and one row.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "io/output_writer.h"
#include "output/safe_output_file.h"

// What decides which outputs a run writes.
struct OutputChoice {
  bool site_tables = false;  // the per-site and per-pair tables
  bool report = false;       // the report page
  bool changes = false;      // the branch tables
  bool over_sample = false;  // a run over MrBayes's posterior sample, whose units are clades
};

using WriterFactory = std::unique_ptr<OutputWriter> (*)(SafeOutputFile& file,
                                                        const AnalysedData& data);

struct OutputRow {
  std::string_view suffix;  // empty: the results file itself
  bool (*chosen)(const OutputChoice& choice);
  WriterFactory make;
  // Why the run stops when the file cannot be opened (the path and the
  // reason go before the period).
  std::string_view open_failure = "Unable to open file.";
};

// Every row, in the order the files are opened and named; the results
// file (the empty suffix) first, the others are named after it.
std::span<const OutputRow> OutputTable();
