#include "io/nexus_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "bailout/bailout.h"
#include "bailout/quoted.h"
#include "file_text/file_text.h"
#include "tree/label_encoding.h"

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

// Appends the quoted word that starts at raw[open] ('...', with '' for a
// quote), encoded; returns the position of its closing quote. A quote that
// is never closed takes the rest of the file, which the tree reader then
// refuses as a tree without its end.
std::size_t AppendQuotedWord(const std::string& raw, std::size_t open, std::string& text) {
  std::size_t i = open + 1;
  for (; i < raw.size(); ++i) {
    if (raw[i] == '\'') {
      if (i + 1 >= raw.size() || raw[i + 1] != '\'') return i;
      ++i;
    }
    if (NeedsLabelEncoding(raw[i])) {
      AppendEncodedByte(raw[i], text);
    } else {
      text.push_back(raw[i]);
    }
  }
  return i;
}

// "&prob=6.2e-01,prob_stddev=..." -> "&p6.2e-01".
void AppendSupport(std::string_view comment, std::string& text) {
  constexpr std::string_view kProb = "&prob=";
  if (!comment.starts_with(kProb)) return;
  comment.remove_prefix(kProb.size());
  const std::size_t end = comment.find_first_not_of("0123456789.eE+-");
  text.append("&p").append(comment.substr(0, end));
}

}  // namespace

NexusText ReadNexusText(const std::string& file_name, bool keep_comment_newlines,
                        const std::string& reader, bool keep_support) {
  const std::string raw = ReadInputText(file_name, reader, ErrorForm::kPlainLine);
  NexusText nexus;
  nexus.analysis_id = AnalysisId(raw);
  std::string& text = nexus.text;
  text.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '[') {
      const std::size_t end = std::min(raw.find(']', i), raw.size());
      if (keep_support && !text.empty() && text.back() == ')') {
        AppendSupport(std::string_view(raw).substr(i + 1, end - i - 1), text);
      }
      if (keep_comment_newlines) text.append(std::count(&raw[i], &raw[0] + end, '\n'), '\n');
      i = end;
    } else if (c == '\'') {
      i = AppendQuotedWord(raw, i, text);
    } else if (c == '%') {
      AppendEncodedByte(c, text);
    } else {
      text.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
  }
  return nexus;
}

void WarnOnDifferentAnalyses(const std::string& tree_file, const std::string& tree_id,
                             const std::string& param_file, const std::string& param_id) {
  if (tree_id.empty() || param_id.empty() || tree_id == param_id) return;
  const std::string warning = "Warning: The tree file '" + tree_file + "' (ID " + Quoted(tree_id) +
                              ") and the parameter file '" + param_file + "' (ID " +
                              Quoted(param_id) + ") come from different MrBayes analyses.\n";
  std::fwrite(warning.data(), 1, warning.size(), stderr);
}
