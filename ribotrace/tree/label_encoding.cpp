#include "tree/label_encoding.h"

#include <charconv>

bool NeedsLabelEncoding(char c) {
  static constexpr std::string_view kEncoded = " \t\r\n=,():;[]'%";
  return kEncoded.find(c) != std::string_view::npos;
}

void AppendEncodedByte(char c, std::string& text) {
  static constexpr std::string_view kHex = "0123456789ABCDEF";
  const auto byte = static_cast<unsigned char>(c);
  text.append(1, '%').append(1, kHex[byte >> 4]).append(1, kHex[byte & 15]);
}

std::string DecodeLabel(std::string_view label) {
  std::string decoded;
  decoded.reserve(label.size());
  for (std::size_t i = 0; i < label.size(); ++i) {
    if (label[i] != '%' || i + 2 >= label.size()) {
      decoded.push_back(label[i]);
      continue;
    }
    int value = 0;
    const char* digits = label.data() + i + 1;
    const auto [end, error] = std::from_chars(digits, digits + 2, value, 16);
    if (error != std::errc() || end != digits + 2) {
      decoded.push_back(label[i]);
      continue;
    }
    decoded.push_back(static_cast<char>(value));
    i += 2;
  }
  return decoded;
}
