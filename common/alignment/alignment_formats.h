// The alignment formats behind LoadAlignment, one file each, and the line
// handling they share. A new format is one more file with a function that
// recognises its text and one that parses it, and one more line in
// LoadAlignment.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "alignment/raw_alignment.h"

struct AlignmentText {
  const std::string& file_name;
  std::string_view text;  // the whole file
};

struct Line {
  std::string_view text;  // without its LF or CR LF
  int number = 0;         // 1-based, for messages
};

// Hands out the file's lines one at a time, so that no per-line table is
// built: a file of a billion empty lines costs nothing beyond its text. The
// CR of a CR LF ending goes with the LF: it must never become a site, a
// structure entry or part of a name.
class LineCursor {
 public:
  explicit LineCursor(std::string_view file) : file_(file) {}

  std::optional<Line> Next() {
    if (start_ >= file_.size()) return std::nullopt;
    std::size_t end = file_.find('\n', start_);
    const std::size_t next = end == std::string_view::npos ? file_.size() : end + 1;
    if (end == std::string_view::npos) end = file_.size();
    std::string_view text = file_.substr(start_, end - start_);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    start_ = next;
    return Line{text, ++number_};
  }

 private:
  std::string_view file_;
  std::size_t start_ = 0;
  int number_ = 0;  // the file is below 2 GiB, so its lines fit an int
};

// Prints the file as read, with the counts of what it holds (diagnostics).
void EchoAlignmentFile(const AlignmentText& file, int n_taxa, int n_sites);

// The alignment-and-structure file: '>' header, structure line, then a name
// line and a sequence line per taxon.
RawAlignment ParseStructureLineFormat(const AlignmentText& file, const AlignmentSettings& settings);

// Stockholm 1.0 with a "#=GC SS_cons" structure in WUSS notation.
bool IsStockholm(std::string_view text);
RawAlignment ParseStockholm(const AlignmentText& file, const AlignmentSettings& settings);
