#include "alignment/alignment_reader.h"

#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string_view>

#include "alignment/structure_pairing.h"
#include "bailout/bailout.h"

namespace {

std::optional<std::string> ReadWholeFile(const std::string& file_name) {
  std::ifstream in(file_name, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(text).str();
}

struct Line {
  std::string_view raw;   // as in the file, line end included
  std::string_view text;  // without its LF or CR LF
  int number = 0;         // 1-based, for messages
};

// Splits the file into lines. The CR of a CR LF ending goes with the LF:
// it must never become a site, a structure entry or part of a name.
std::vector<Line> SplitLines(std::string_view file) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < file.size()) {
    std::size_t end = file.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? file.size() : end + 1;
    if (end == std::string_view::npos) end = file.size();
    std::string_view text = file.substr(start, end - start);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    lines.push_back({file.substr(start, next - start), text, static_cast<int>(lines.size()) + 1});
    start = next;
  }
  return lines;
}

std::string_view SkipLeadingBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

bool IsNameLine(const Line& line) {
  const std::string_view text = SkipLeadingBlanks(line.text);
  return !text.empty() && text.front() == '>';
}

std::string Where(const std::string& file_name, const Line& line) {
  return "file '" + file_name + "', line " + std::to_string(line.number);
}

}  // namespace

AlignmentCounts GetNumberOfTaxaSitesAndAllocate(const std::string& file_name) {
  const std::optional<std::string> file = ReadWholeFile(file_name);
  if (!file) Fail("GetNumberOfTaxaSitesAndAllocate Error: Unable to open file.");
  if (file->size() >= static_cast<std::size_t>(INT_MAX)) {
    Fail("GetNumberOfTaxaSitesAndAllocate Error: File '" + file_name +
         "' is too large (2 GiB or more).");
  }
  long header_lines = 0;
  std::size_t site_count = 0;
  for (const Line& line : SplitLines(*file)) {
    if (!line.text.empty() && line.text.front() == '>') {
      ++header_lines;
    } else if (site_count == 0) {
      site_count = line.text.size();
    } else if (line.text.size() != site_count) {
      Fail("GetNumberOfTaxaSitesAndAllocate Error: Sequences appear to be different lengths.");
    }
  }
  return {static_cast<int>(header_lines - 1), static_cast<int>(site_count)};
}

RawAlignment ReadAlignmentFile(const std::string& file_name, const AlignmentCounts& counts,
                               const ReadingPassSettings& settings) {
  const std::optional<std::string> file = ReadWholeFile(file_name);
  if (!file) Fail("ReadDataFile Error: Unable to open file.");
  const std::vector<Line> lines = SplitLines(*file);

  if (settings.echo) {
    std::printf("Data file contents (filename = %s [nTaxa=%d, nSites=%d):\n", file_name.c_str(),
                counts.n_taxa, counts.n_sites);
    for (const Line& line : lines) std::fwrite(line.raw.data(), 1, line.raw.size(), stdout);
  }

  if (lines.size() < 2) {
    Fail("ReadDataFile Error: File '" + file_name + "' has no structure line (line 2).");
  }
  const Line& structure_line = lines[1];
  if (structure_line.text.size() != static_cast<std::size_t>(counts.n_sites)) {
    Fail("ReadDataFile Error: The structure line (" + Where(file_name, structure_line) + ") has " +
         std::to_string(structure_line.text.size()) + " columns; the sequences have " +
         std::to_string(counts.n_sites) + ".");
  }

  RawAlignment alignment;
  alignment.structure = ParseStructureLine(structure_line.text, file_name);

  for (std::size_t i = 2; i < lines.size(); i += 2) {
    const Line& name_line = lines[i];
    if (!IsNameLine(name_line)) {
      Fail("ReadDataFile Error: Expected a taxon name line beginning with '>' at " +
           Where(file_name, name_line) + ".");
    }
    std::string_view name = SkipLeadingBlanks(name_line.text);
    name.remove_prefix(1);  // the '>'; blanks after it belong to the name
    if (name.size() > settings.max_name_length) {
      Fail("ReadDataFile Error: The taxon name at " + Where(file_name, name_line) + " has " +
           std::to_string(name.size()) + " characters; at most " +
           std::to_string(settings.max_name_length) + " fit.");
    }
    if (i + 1 >= lines.size()) {
      Fail("ReadDataFile Error: Taxon '" + std::string(name) + "' at " +
           Where(file_name, name_line) + " has no sequence line after it.");
    }
    const Line& sequence_line = lines[i + 1];
    if (IsNameLine(sequence_line)) {
      Fail("ReadDataFile Error: Expected the sequence of taxon '" + std::string(name) + "' at " +
           Where(file_name, sequence_line) + ", found another name line.");
    }
    const std::string_view sequence = SkipLeadingBlanks(sequence_line.text);
    if (sequence.size() < static_cast<std::size_t>(counts.n_sites)) {
      Fail("ReadDataFile Error: The sequence at " + Where(file_name, sequence_line) + " has " +
           std::to_string(sequence.size()) + " characters after its leading blanks; expected " +
           std::to_string(counts.n_sites) + ".");
    }
    const int taxon_number = static_cast<int>(alignment.names.size());
    alignment.names.push_back({std::string(name), taxon_number});
    alignment.sequences.emplace_back(sequence.substr(0, counts.n_sites));
  }

  if (alignment.names.size() != static_cast<std::size_t>(counts.n_taxa)) {
    Fail("ReadDataFile Error: File '" + file_name + "' holds " +
         std::to_string(alignment.names.size()) + " taxa, but " + std::to_string(counts.n_taxa + 1) +
         " lines begin with '>'; the first line must be a '>' header line.");
  }
  return alignment;
}
