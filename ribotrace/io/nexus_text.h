// The text of a MrBayes output file as both of its readers see it.
#pragma once

#include <optional>
#include <string>

// The whole file, every character lower-cased and NEXUS comments ("[" up to
// the first "]", not nested) dropped. With `keep_comment_newlines` the line
// breaks inside a comment stay, so that lines keep their numbers. Nothing
// when the file cannot be opened or read; a file of 2 GiB or more is a
// fatal error in the name of `reader`.
std::optional<std::string> ReadNexusText(const std::string& file_name, bool keep_comment_newlines,
                                         const std::string& reader);

// The separators of the NEXUS tokens both readers split the text into.
inline constexpr const char* kNexusSeparators = "\n\t\r= ";
