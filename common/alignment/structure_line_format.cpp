// The alignment-and-structure file. Its text is checked in two steps, as
// both programs always have: the line lengths first (a sequence of another
// length is the commonest fault and has its own message), then the
// structure, the names and the sequences.
#include <string_view>

#include "alignment/alignment_formats.h"
#include "alignment/structure_pairing.h"
#include "bailout/bailout.h"
#include "bailout/quoted.h"

namespace {

struct Counts {
  int n_taxa = 0;   // lines beginning with '>' minus the header
  int n_sites = 0;  // length of every line that does not begin with '>'
};

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

Counts CountTaxaAndSites(std::string_view text, const std::string& file_name) {
  long header_lines = 0;
  std::size_t site_count = 0;
  int first_line = 0;
  LineCursor lines(text);
  while (const std::optional<Line> next = lines.Next()) {
    const Line& line = *next;
    if (!line.text.empty() && line.text.front() == '>') {
      ++header_lines;
    } else if (site_count == 0) {
      site_count = line.text.size();
      first_line = line.number;
    } else if (line.text.size() != site_count) {
      Fail("GetNumberOfTaxaSitesAndAllocate Error: Sequences appear to be different lengths. In " +
           Where(file_name, line) + " has " + std::to_string(line.text.size()) +
           " characters, where line " + std::to_string(first_line) + " has " +
           std::to_string(site_count) + ".");
    }
  }
  return {static_cast<int>(header_lines - 1), static_cast<int>(site_count)};
}

}  // namespace

RawAlignment ParseStructureLineFormat(const AlignmentText& file,
                                      const AlignmentSettings& settings) {
  const Counts counts = CountTaxaAndSites(file.text, file.file_name);
  if (settings.echo) EchoAlignmentFile(file, counts.n_taxa, counts.n_sites);
  const std::string& file_name = file.file_name;

  LineCursor lines(file.text);
  lines.Next();  // the header
  const std::optional<Line> structure_line = lines.Next();
  if (!structure_line) {
    Fail("ReadDataFile Error: File '" + file_name + "' has no structure line (line 2).");
  }
  if (structure_line->text.size() != static_cast<std::size_t>(counts.n_sites)) {
    Fail("ReadDataFile Error: The structure line (" + Where(file_name, *structure_line) + ") has " +
         std::to_string(structure_line->text.size()) + " columns; the sequences have " +
         std::to_string(counts.n_sites) + ".");
  }

  RawAlignment alignment;
  alignment.structure = ParseStructureLine(structure_line->text, file_name);

  while (const std::optional<Line> name_line = lines.Next()) {
    if (!IsNameLine(*name_line)) {
      Fail("ReadDataFile Error: Expected a taxon name line beginning with '>' at " +
           Where(file_name, *name_line) + ".");
    }
    std::string_view name = SkipLeadingBlanks(name_line->text);
    name.remove_prefix(1);  // the '>'; blanks after it belong to the name
    if (name.size() > settings.max_name_length) {
      Fail("ReadDataFile Error: The taxon name at " + Where(file_name, *name_line) + " has " +
           std::to_string(name.size()) + " characters; at most " +
           std::to_string(settings.max_name_length) + " fit.");
    }
    const std::optional<Line> sequence_line = lines.Next();
    if (!sequence_line) {
      Fail("ReadDataFile Error: Taxon " + Quoted(name) + " at " + Where(file_name, *name_line) +
           " has no sequence line after it.");
    }
    if (IsNameLine(*sequence_line)) {
      Fail("ReadDataFile Error: Expected the sequence of taxon " + Quoted(name) + " at " +
           Where(file_name, *sequence_line) + ", found another name line.");
    }
    const std::string_view sequence = SkipLeadingBlanks(sequence_line->text);
    if (sequence.size() < static_cast<std::size_t>(counts.n_sites)) {
      Fail("ReadDataFile Error: The sequence at " + Where(file_name, *sequence_line) + " has " +
           std::to_string(sequence.size()) + " characters after its leading blanks; expected " +
           std::to_string(counts.n_sites) + ".");
    }
    const int taxon_number = static_cast<int>(alignment.names.size());
    alignment.names.push_back({std::string(name), taxon_number});
    alignment.sequences.emplace_back(sequence.substr(0, counts.n_sites));
  }

  if (alignment.names.size() != static_cast<std::size_t>(counts.n_taxa)) {
    Fail("ReadDataFile Error: File '" + file_name + "' holds " +
         std::to_string(alignment.names.size()) + " taxa, but " +
         std::to_string(counts.n_taxa + 1) +
         " lines begin with '>'; the first line must be a '>' header line.");
  }
  return alignment;
}
