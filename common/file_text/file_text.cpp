#include "file_text/file_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

// Closes the descriptor on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

constexpr std::size_t kPieceBytes = std::size_t{1} << 16;

FileTextError Problem(FileTextError::Kind kind) { return FileTextError{kind, 0, 0}; }

FileTextError SystemProblem(int error) {
  return FileTextError{FileTextError::Kind::kUnreadable, error, 0};
}

// The first line end decides: a CR that no LF follows means the file uses
// CR alone, which every reader would take for one endless line.
bool EndsLinesWithCarriageReturnAlone(const std::string& text) {
  const std::size_t end = text.find_first_of("\r\n");
  return end != std::string::npos && text[end] == '\r' &&
         (end + 1 == text.size() || text[end + 1] != '\n');
}

}  // namespace

std::variant<std::string, FileTextError> ReadFileText(const std::string& file_name,
                                                      std::size_t max_bytes) {
  const Descriptor file(open(file_name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (file.get() < 0) return SystemProblem(errno);
  struct stat status {};
  if (fstat(file.get(), &status) != 0) return SystemProblem(errno);
  if (S_ISDIR(status.st_mode)) return SystemProblem(EISDIR);
  std::string text;
  if (S_ISREG(status.st_mode)) {
    if (static_cast<std::uintmax_t>(status.st_size) > max_bytes) {
      return Problem(FileTextError::Kind::kTooLarge);
    }
    text.reserve(static_cast<std::size_t>(status.st_size));
  }
  std::array<char, kPieceBytes> piece;
  while (true) {
    const ssize_t got = read(file.get(), piece.data(), piece.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return SystemProblem(errno);
    }
    if (got == 0) break;
    const auto bytes = static_cast<std::size_t>(got);
    if (const void* nul = std::memchr(piece.data(), '\0', bytes)) {
      const auto in_piece = static_cast<const char*>(nul) - piece.data();
      const auto lines = std::count(text.begin(), text.end(), '\n') +
                         std::count(piece.data(), piece.data() + in_piece, '\n');
      return FileTextError{FileTextError::Kind::kNotText, 0, static_cast<std::size_t>(lines) + 1};
    }
    if (bytes > max_bytes - text.size()) return Problem(FileTextError::Kind::kTooLarge);
    text.append(piece.data(), bytes);
  }
  if (text.starts_with("\xEF\xBB\xBF")) return Problem(FileTextError::Kind::kByteOrderMark);
  if (EndsLinesWithCarriageReturnAlone(text)) {
    return Problem(FileTextError::Kind::kCarriageReturnLines);
  }
  return text;
}

std::string DescribeFileTextError(const FileTextError& error, const std::string& file_name) {
  const std::string file = "'" + file_name + "'";
  switch (error.kind) {
    case FileTextError::Kind::kUnreadable:
      return "Unable to open file " + file + ": " + std::strerror(error.system_error) + ".";
    case FileTextError::Kind::kTooLarge:
      return "The file " + file + " is too large (2 GiB or more).";
    case FileTextError::Kind::kNotText:
      return "The file " + file + " holds a NUL byte (line " + std::to_string(error.line) +
             "): it is not a text file.";
    case FileTextError::Kind::kByteOrderMark:
      return "The file " + file +
             " begins with a UTF-8 byte-order mark; save it as plain text without one.";
    case FileTextError::Kind::kCarriageReturnLines:
      return "The lines of the file " + file +
             " end in a carriage return (CR) alone; convert them to LF line ends (for example "
             "with tr '\\r' '\\n').";
  }
  return "Unable to read file " + file + ".";
}

std::string ReadInputText(const std::string& file_name, const std::string& reader, ErrorForm form) {
  std::variant<std::string, FileTextError> text = ReadFileText(file_name);
  if (auto* error = std::get_if<FileTextError>(&text)) {
    throw FatalError(reader + " Error: " + DescribeFileTextError(*error, file_name), form);
  }
  return std::move(std::get<std::string>(text));
}
