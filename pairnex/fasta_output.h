// The alignment as plain FASTA for tree builders such as IQ-TREE, its taxa
// named as in the NEXUS file, so that a tree built from it matches the
// alignment's names in ribotrace.
#pragma once

#include <string>

namespace pairnex {

// Loads data_file (any format the shared reader takes) and writes
// output_file: one record per taxon, the name as MrBayes reads it, the
// sequence upper-cased with '.' and '~' gaps as '-'. Every failure is fatal.
void WriteFasta(const std::string& data_file, const std::string& output_file);

}  // namespace pairnex
