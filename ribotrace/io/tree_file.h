// Reading the tree that MrBayes wrote: a NEXUS file with a trees block, such
// as the consensus tree (.con.tre) or the sampled trees (.t); or a Newick
// file of one tree, such as IQ-TREE and RAxML-NG write.
#pragma once

#include <string>

// The Newick text of the tree to analyse, lower-cased, without comments and
// without its final ';'. With one tree statement in the file that tree is
// taken; with several, the last one. Numeric labels listed in a `translate`
// table are replaced by the names it gives. Reading stops at the end of the
// trees block. A file whose first non-blank character is '(' is Newick:
// its one tree, without interior node labels (support values) or a root
// branch length. Fails when the file cannot be read or holds no tree, or
// a Newick file holds more than one. With `analysis_id`, stores there the
// file's MrBayes "[ID: ...]" ("" if none).
std::string ReadTreeFile(const std::string& file_name, std::string* analysis_id = nullptr);
