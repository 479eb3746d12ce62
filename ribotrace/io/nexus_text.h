// The text of a MrBayes output file as both of its readers see it.
#pragma once

#include <string>

struct NexusText {
  // The whole file, NEXUS comments ("[" up to the first "]", not nested)
  // dropped, every character outside quotes lower-cased unless asked to
  // keep the case. A quoted word ('Homo sapiens', '' for a quote inside)
  // becomes one word without its quotes, written in the label encoding of
  // tree/label_encoding.h so that no blank or punctuation in it splits it.
  std::string text;
  // What MrBayes writes in its "[ID: ...]" line near the top of every file
  // of one analysis (.t, .con.tre, .p, .pstat), or "" when there is none.
  std::string analysis_id;
};

// Reads `file_name` once. With `keep_comment_newlines` the line breaks
// inside a comment stay, so that lines keep their numbers. A file that
// cannot be read, or is too large or not text, is a fatal error in the name
// of `reader` ("<reader> Error: Unable to open file '<name>': <reason>.").
// With `keep_support`, a MrBayes comment "[&prob=X,...]" right after a
// group's ')' stays as that group's label "&pX", the clade's posterior
// probability in a consensus tree.
NexusText ReadNexusText(const std::string& file_name, bool keep_comment_newlines,
                        const std::string& reader, bool keep_support = false);

// Warns on standard error when both files carry an analysis ID and the
// IDs differ: the tree and the parameters come from different analyses.
void WarnOnDifferentAnalyses(const std::string& tree_file, const std::string& tree_id,
                             const std::string& param_file, const std::string& param_id);

// The separators of the NEXUS tokens both readers split the text into.
inline constexpr const char* kNexusSeparators = "\n\t\r= ";
