// The outputs of a run: the writers that the output table chooses for it,
// each with its file. Every file is opened as a temporary at the start, so
// that an output path that cannot be written (or is one of the inputs)
// stops the run before its long computation, and all replace the earlier
// files together at CommitAll(). Failing to open one is fatal with
// "WriteResultsToFile Error: Unable to open output file ptr '<path>':
// <reason>." for the results file, "... p_out file ptr ..." for the
// summary, and "... Unable to open file '<path>': <reason>." for the others.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/output_writer.h"
#include "io/writers/output_table.h"
#include "output/output_set.h"

class OutputWriters {
 public:
  OutputWriters(const std::string& out_file, std::vector<RunInput> inputs,
                const OutputChoice& choice, const AnalysedData& data);

  // Each hook is handed to every writer, in the table's order.
  void Head();
  void Rows(std::string_view blocks);
  void Unit(const UnitResult& unit);
  void End(const RunResults& results);

  // Renames every finished file into place, and removes an earlier run's
  // files that this run does not write (its tables, report, clades), so
  // that what stands beside out_file is this run's; the last step of a run.
  void CommitAll();
  // Every file of the run, in the table's order.
  const std::vector<std::string>& Paths() const { return paths_; }

 private:
  OutputSet outputs_;
  std::vector<std::unique_ptr<OutputWriter>> writers_;
  std::vector<std::string> paths_;
};
