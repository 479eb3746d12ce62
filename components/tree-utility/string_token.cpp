#include "tree-utility/string_token.h"

std::string StringToken(std::size_t& pos, std::string_view text, std::string_view delimiters) {
  const std::size_t start = text.find_first_not_of(delimiters, pos);
  if (start == std::string_view::npos) {
    pos = text.size();
    return {};
  }
  std::size_t end = text.find_first_of(delimiters, start);
  if (end == std::string_view::npos) end = text.size();
  pos = end;
  return std::string(text.substr(start, end - start));
}
