#include "io/nexus_text.h"

#include <cctype>
#include <variant>

#include "bailout/bailout.h"
#include "file_text/file_text.h"

std::optional<std::string> ReadNexusText(const std::string& file_name, bool keep_comment_newlines,
                                         const std::string& reader) {
  const std::variant<std::string, FileTextError> file = ReadFileText(file_name);
  if (const auto* error = std::get_if<FileTextError>(&file)) {
    if (*error == FileTextError::kUnreadable) return std::nullopt;
    FailWithLine(reader + " Error: The file '" + file_name + "' is too large (2 GiB or more).");
  }
  const std::string& raw = std::get<std::string>(file);

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
