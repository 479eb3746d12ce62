// How a tree label that was quoted in its file travels through the readers
// that split NEXUS text at blanks and Newick punctuation: a byte that is a
// blank, NEXUS or Newick punctuation, a quote or '%' is written as '%' and
// two hexadecimal digits; every other byte stands for itself. A '%' of
// unquoted text is encoded too, so that decoding any label gives back what
// the file meant.
#pragma once

#include <string>
#include <string_view>

bool NeedsLabelEncoding(char c);
void AppendEncodedByte(char c, std::string& text);
std::string DecodeLabel(std::string_view label);
