// The results files of a run: the sequence file (consensus structure,
// optionally the input sequences, every sampled and every hidden sequence,
// FASTA-like), the summary file, named after it with ".par" appended, and
// the files that name and describe the nodes (".tree", ".map.fa", and with
// the per-site tables ".state" and ".pairs"), and the report (".html").
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/alignment.h"
#include "output/output_set.h"
#include "output/safe_output_file.h"
#include "tree/node_struct.h"

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
  SafeOutputFile& tree;            // out_file.tree: the rooted tree with its node names
  SafeOutputFile& map;             // out_file.map.fa: most probable sequences
  SafeOutputFile* state = nullptr;  // out_file.state, with site_tables
  SafeOutputFile* pairs = nullptr;  // out_file.pairs, with site_tables
  SafeOutputFile* report = nullptr;  // out_file.html, with report
  SafeOutputFile* clades = nullptr;  // out_file.clades, after AddCladeList()

  // Adds out_file.clades, the clades of a run over a posterior sample.
  void AddCladeList();
};

// Appends the block of one sample row: ">anc_<index>_<k>" for a sampled row
// or ">psr_<index>_<k>" for a hidden one, then the row's characters.
void AppendSampleBlock(std::string& text, bool hidden, int node_index, std::size_t k,
                       std::string_view row_characters);

// The same with the row's name given: ">" name "_<k>".
void AppendNamedSampleBlock(std::string& text, std::string_view name, std::size_t k,
                            std::string_view row_characters);

// One character per code, as NucIntToChar writes it.
void AppendSequenceCharacters(std::string& text, const int* codes, std::size_t n_sites);

// Hands every piece of sample-block text, in file order, to its argument.
using SampleBlockSource = std::function<void(const std::function<void(std::string_view)>& write)>;

// Writes the sequence file: ">SS_cons" and the structure line ('(' ')'
// '-'); with include_data non-zero each taxon's ">name" and sequence; then
// the sample blocks that `sample_blocks` produces: for every interior node
// below the root, in down-pass order, S blocks ">anc_<index>_<k>" (k = 1 ..
// S), and after all of them S blocks ">psr_<index>_<k>" per node. Then the
// summary: "h_mean" and "lambda" when is_harmonic is 1, else "prd_brlen",
// with the first node's scaled_length; last "size" with S. A write that
// fails is fatal, naming the file. Nothing is in place before CommitAll().
void WriteResultsToFile_New(ResultsFiles& files, const std::vector<NodeStruct*>& down_pass,
                            int include_data, const Alignment& alignment, int n_samples,
                            double lambda, int is_harmonic, const SampleBlockSource& sample_blocks);

// The same with the hidden branch length before lambda given, for results
// that span many trees.
void WriteResultsFile(ResultsFiles& files, double scaled_length, int include_data,
                      const Alignment& alignment, int n_samples, double lambda, int is_harmonic,
                      const SampleBlockSource& sample_blocks);

// Appends one more "name\tvalue" line ("%lf", as the others) to the summary.
void WriteSummaryValue(ResultsFiles& files, const char* name, double value);
