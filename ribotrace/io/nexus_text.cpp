#include "io/nexus_text.h"

#include <cctype>
#include <fstream>
#include <iterator>

std::optional<std::string> ReadNexusText(const std::string& file_name, bool keep_comment_newlines) {
  std::ifstream in(file_name, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;

  std::string text;
  text.reserve(raw.size());
  bool in_comment = false;
  for (const char c : raw) {
    if (in_comment) {
      if (c == ']')
        in_comment = false;
      else if (c == '\n' && keep_comment_newlines)
        text.push_back(c);
    } else if (c == '[') {
      in_comment = true;
    } else {
      text.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
  }
  return text;
}
