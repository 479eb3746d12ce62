#include "bailout/quoted.h"

#include <cstdio>

namespace {

constexpr std::size_t kShownCharacters = 80;

std::string Shown(unsigned char c) {
  switch (c) {
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    default:
      break;
  }
  if (c < 0x20 || c == 0x7f) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
    return escaped;
  }
  return std::string(1, static_cast<char>(c));
}

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string Quoted(std::string_view text) {
  std::string shown;
  std::size_t used = 0;
  for (; used < text.size(); ++used) {
    const std::string piece = Shown(static_cast<unsigned char>(text[used]));
    if (shown.size() + piece.size() > kShownCharacters) break;
    shown += piece;
  }
  if (used == text.size()) return "'" + shown + "'";
  // Bytes from 0x80 up are shown as they are, one for one, so the cut moves
  // back over a partial sequence byte by byte.
  while (used > 0 && IsUtf8Continuation(text[used])) {
    --used;
    shown.pop_back();
  }
  return "'" + shown + "...' (" + std::to_string(text.size()) + " bytes)";
}
