// The two results files of a run: the sequence file (consensus structure,
// optionally the input sequences, every sampled and every hidden sequence,
// FASTA-like) and the summary file, named after it with ".par" appended.
#pragma once

#include <string>
#include <vector>

#include "io/data_file.h"
#include "tree/node_struct.h"

// Writes out_file: ">SS_cons" and the structure line ('(' ')' '-'); with
// include_data non-zero each taxon's ">name" and sequence; then for every
// interior node below the root, in down-pass order, S blocks
// ">anc_<index>_<k>" (k = 1 .. S) with the node's sampled rows, and after
// all of them S blocks ">psr_<index>_<k>" per node with its hidden rows.
// Then out_file.par: "h_mean" and "lambda" when is_harmonic is 1, else
// "prd_brlen", with the first node's scaled_length; last "size" with S.
// A file that cannot be created or written is fatal, naming the file.
void WriteResultsToFile_New(const std::vector<NodeStruct*>& down_pass, const std::string& out_file,
                            const std::vector<int>& anc_seqs, int include_data,
                            const Alignment& alignment, int n_samples, double lambda,
                            int is_harmonic);
