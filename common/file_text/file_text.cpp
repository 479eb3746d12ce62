#include "file_text/file_text.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <system_error>

std::variant<std::string, FileTextError> ReadFileText(const std::string& file_name,
                                                      std::size_t max_bytes) {
  std::error_code error;
  if (std::filesystem::is_regular_file(file_name, error)) {
    const std::uintmax_t size = std::filesystem::file_size(file_name, error);
    if (!error && size > max_bytes) return FileTextError::kTooLarge;
  }
  std::ifstream in(file_name, std::ios::binary);
  if (!in) return FileTextError::kUnreadable;
  std::string text;
  std::array<char, 1 << 16> piece;
  while (in) {
    in.read(piece.data(), piece.size());
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got > max_bytes - text.size()) return FileTextError::kTooLarge;
    text.append(piece.data(), got);
  }
  if (in.bad()) return FileTextError::kUnreadable;
  return text;
}
