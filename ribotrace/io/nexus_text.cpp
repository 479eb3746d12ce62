#include "io/nexus_text.h"

#include <cctype>
#include <cstdio>
#include <string_view>

#include "bailout/bailout.h"
#include "bailout/quoted.h"
#include "file_text/file_text.h"

namespace {

// MrBayes puts "[ID: 1234567890]" on a line of its own before any NEXUS
// command: first in .p and .pstat, after "#NEXUS" in .t and .con.tre.
std::string AnalysisId(std::string_view raw) {
  while (!raw.empty()) {
    const std::size_t end = std::min(raw.find('\n'), raw.size());
    std::string_view line = raw.substr(0, end);
    raw.remove_prefix(std::min(end + 1, raw.size()));
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
      line.remove_suffix(1);
    }
    if (line.empty() || line == "#NEXUS" || line == "#nexus") continue;
    if (!line.starts_with("[ID:") || !line.ends_with("]")) return "";
    line.remove_prefix(4);
    line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    return std::string(line);
  }
  return "";
}

}  // namespace

NexusText ReadNexusText(const std::string& file_name, bool keep_comment_newlines,
                        const std::string& reader) {
  const std::string raw = ReadInputText(file_name, reader, ErrorForm::kPlainLine);
  NexusText nexus;
  nexus.analysis_id = AnalysisId(raw);
  std::string& text = nexus.text;
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
  return nexus;
}

void WarnOnDifferentAnalyses(const std::string& tree_file, const std::string& tree_id,
                             const std::string& param_file, const std::string& param_id) {
  if (tree_id.empty() || param_id.empty() || tree_id == param_id) return;
  const std::string warning = "Warning: The tree file '" + tree_file + "' (ID " +
                              Quoted(tree_id) + ") and the parameter file '" + param_file +
                              "' (ID " + Quoted(param_id) +
                              ") come from different MrBayes analyses.\n";
  std::fwrite(warning.data(), 1, warning.size(), stdout);
}
