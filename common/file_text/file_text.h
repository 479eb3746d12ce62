// Reading a whole input file into memory, with a ceiling on its size.
#pragma once

#include <cstddef>
#include <string>
#include <variant>

// Why a file could not be taken in.
enum class FileTextError {
  kUnreadable,  // cannot be opened, or reading it failed
  kTooLarge,    // holds more than the ceiling allows
};

// Files of 2 GiB or more are refused by every reader: their line and
// column counts would not fit the programs' int counters.
inline constexpr std::size_t kMaxInputFileBytes = 2147483647;

// The bytes of `file_name`, or why not. A regular file is measured before
// it is read, and any file (a pipe or a device too) is read in pieces that
// stop at `max_bytes`, so an endless or absurdly large input fails at once
// instead of exhausting the machine's memory.
std::variant<std::string, FileTextError> ReadFileText(const std::string& file_name,
                                                      std::size_t max_bytes = kMaxInputFileBytes);
