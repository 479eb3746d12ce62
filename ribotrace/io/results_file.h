// The results files of a run: the sequence file (consensus structure,
// optionally the input sequences, every sampled and every hidden sequence,
// FASTA-like), the summary file, named after it with ".par" appended, and
// the files that name and describe the nodes (".tree", ".map.fa", and with
// the per-site tables ".state" and ".pairs"), and the report (".html").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/alignment.h"
#include "output/output_set.h"
#include "output/safe_output_file.h"

// The outputs of a run, opened as temporary files at its start so that an
// output path that cannot be written (or is one of the inputs) fails before
// the long computation; they replace out_file and out_file.par only once
// all are complete, at CommitAll(). Failing to open them is fatal with
// "WriteResultsToFile Error: Unable to open output file ptr '<path>':
// <reason>." and "... Unable to open p_out file ptr '<path>': <reason>."
// respectively. A new side file is one more AddBeside() on `outputs`.
class ResultsFiles {
 public:
  ResultsFiles(const std::string& out_file, std::vector<RunInput> inputs = {},
               bool site_tables = false, bool report = false);
  // Renames every finished file into place, and removes an earlier run's
  // tables, report or clade list that this run does not write, so that
  // what stands beside out_file is this run's; the last step of a run.
  void CommitAll();
  // Every file of the run, in the order the files were named below.
  std::vector<std::string> Paths() const;

  OutputSet outputs;
  SafeOutputFile& sequences;
  SafeOutputFile& summary;
  SafeOutputFile& tree;              // out_file.tree: the rooted tree with its node names
  SafeOutputFile& map;               // out_file.map.fa: most probable sequences
  SafeOutputFile* state = nullptr;   // out_file.state, with site_tables
  SafeOutputFile* pairs = nullptr;   // out_file.pairs, with site_tables
  SafeOutputFile* report = nullptr;  // out_file.html, with report
  SafeOutputFile* clades = nullptr;  // out_file.clades, after AddCladeList()
  SafeOutputFile* changes = nullptr;   // out_file.changes, after AddChangeTables()
  SafeOutputFile* branches = nullptr;  // out_file.branches, after AddChangeTables()

  // Adds out_file.clades, the clades of a run over a posterior sample.
  void AddCladeList();
  // Adds out_file.changes and out_file.branches, what happened on each branch.
  void AddChangeTables();
};

// Appends the block of one sample row: ">" name "_<k>", then the row's
// characters (name: anc_<index> or clade_<c> for a sampled row, psr_<index>
// or psr_clade_<c> for a hidden one).
void AppendNamedSampleBlock(std::string& text, std::string_view name, std::size_t k,
                            std::string_view row_characters);

// One character per code, as NucIntToChar writes it.
void AppendSequenceCharacters(std::string& text, const int* codes, std::size_t n_sites);

// The sequence file's head: ">SS_cons" and the structure line ('(' ')'
// '-'), with include_data non-zero each taxon's ">name" and sequence. The
// sample blocks follow it, then the summary. A write that fails is fatal,
// naming the file. Nothing is in place before CommitAll().
void WriteResultsHead(ResultsFiles& files, int include_data, const Alignment& alignment);

// The summary: "h_mean" (the hidden branch length before lambda) and
// "lambda" when is_harmonic is 1, else "prd_brlen"; last "size" with S.
void WriteResultsSummary(ResultsFiles& files, double scaled_length, int n_samples, double lambda,
                         int is_harmonic);

// Appends one more "name\tvalue" line ("%lf", as the others) to the summary.
void WriteSummaryValue(ResultsFiles& files, const char* name, double value);
