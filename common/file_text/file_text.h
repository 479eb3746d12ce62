// Reading a whole input file into memory, with a ceiling on its size.
//
// Every reader of both programs takes its input through here, so that the
// checks that concern the bytes rather than the format (the file opens,
// fits, is text, has line ends the readers understand) give the same
// message, naming the file, whatever the reader.
#pragma once

#include <cstddef>
#include <string>
#include <variant>

#include "bailout/bailout.h"

// Why a file could not be taken in.
struct FileTextError {
  enum class Kind {
    kUnreadable,           // cannot be opened or read; system_error says why
    kTooLarge,             // holds more than the ceiling allows
    kNotText,              // holds a NUL byte: a binary file, /dev/zero, /dev/urandom
    kByteOrderMark,        // begins with a UTF-8 byte-order mark
    kCarriageReturnLines,  // its lines end in a carriage return alone
  };
  Kind kind = Kind::kUnreadable;
  int system_error = 0;  // errno, for kUnreadable
  std::size_t line = 0;  // 1-based line of the first NUL byte, for kNotText
};

// Files of 2 GiB or more are refused by every reader: their line and
// column counts would not fit the programs' int counters.
inline constexpr std::size_t kMaxInputFileBytes = 2147483647;

// The bytes of `file_name`, or why not. The file is opened once, so a pipe
// or a process substitution works. A regular file is measured before it is
// read; any file is read in pieces that stop at `max_bytes`, and at the
// first NUL byte, so an endless or binary input (/dev/zero, /dev/urandom)
// fails at once instead of after gigabytes.
std::variant<std::string, FileTextError> ReadFileText(const std::string& file_name,
                                                      std::size_t max_bytes = kMaxInputFileBytes);

// What went wrong, as the end of a message, e.g. "Unable to open file
// 'x.t': No such file or directory."
std::string DescribeFileTextError(const FileTextError& error, const std::string& file_name);

// The bytes of `file_name`; on any failure throws the FatalError
// "<reader> Error: <description>" in `form`.
std::string ReadInputText(const std::string& file_name, const std::string& reader, ErrorForm form);
