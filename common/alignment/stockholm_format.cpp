// Stockholm 1.0, as Rfam and Infernal write it:
//
//   # STOCKHOLM 1.0
//   #=GF ID   tRNA                  file, sequence and residue annotation
//   #=GS seq1 AC X12345             (#=GF, #=GS, #=GR) is ignored
//
//   seq1          GCGGAUUUA.GCUCAG  a name and its aligned residues
//   seq2          GCGGAUUUAAGCUCAG
//   #=GC SS_cons  <<<<.___..>>>>::  the consensus structure, in WUSS
//
//   seq1          UUCGAAU           a further block continues every row
//   ...
//   //
//
// Blank lines separate blocks; a row's pieces are joined in file order,
// and every piece of one block has the same width. The structure pairs
// '<' '>', '(' ')', '[' ']' and '{' '}' (nested as one structure);
// pseudoknot letters (upper case opens, lower case closes) pair among
// themselves but are read as unpaired, and so are : _ - , . ~; any other
// character is refused. In sequences '.' and '-' are gaps and lower case
// (Infernal's inserts) is upper-cased.
#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_map>

#include "alignment/alignment_formats.h"
#include "alignment/structure_pairing.h"
#include "bailout/bailout.h"
#include "bailout/quoted.h"

namespace {

constexpr std::string_view kHeader = "# STOCKHOLM 1.0";
constexpr std::string_view kHeaderStart = "# STOCKHOLM";
constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kOpeners = "<([{";
constexpr std::string_view kClosers = ">)]}";
constexpr std::string_view kUnpaired = ":_-,.~";
// The key of the structure in a block's table of rows: no name begins with '#'.
const std::string kStructureKey = "#=GC SS_cons";

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
}

// A place in the file, for messages; both numbers are 1-based.
struct Place {
  int line = 0;
  int column = 0;
};

// A blank-separated word of a line and where it starts.
struct Field {
  std::string_view text;
  Place place;
};

std::vector<Field> SplitFields(const Line& line) {
  std::vector<Field> fields;
  std::size_t start = line.text.find_first_not_of(kBlanks);
  while (start != std::string_view::npos) {
    const std::size_t end = std::min(line.text.find_first_of(kBlanks, start), line.text.size());
    fields.push_back(
        {line.text.substr(start, end - start), {line.number, static_cast<int>(start) + 1}});
    start = line.text.find_first_not_of(kBlanks, end);
  }
  return fields;
}

// A row's characters and the pieces they came from, so that a column can
// be traced back to its place in the file.
struct Row {
  std::string characters;
  std::vector<std::pair<std::size_t, Place>> pieces;  // first column of each piece, and its place

  void Append(const Field& field) {
    pieces.emplace_back(characters.size(), field.place);
    characters.append(field.text);
  }
  Place PlaceOf(std::size_t column) const {
    const auto after = std::upper_bound(
        pieces.begin(), pieces.end(), column,
        [](std::size_t c, const std::pair<std::size_t, Place>& piece) { return c < piece.first; });
    const auto& [first, place] = *std::prev(after);
    return {place.line, place.column + static_cast<int>(column - first)};
  }
};

class StockholmReader {
 public:
  StockholmReader(const AlignmentText& file, const AlignmentSettings& settings)
      : file_(file), settings_(settings) {}

  RawAlignment Read() {
    LineCursor lines(file_.text);
    const std::optional<Line> header = lines.Next();
    if (header && TrimBlanks(header->text) != kHeader) {
      FailAt({1, 1}, "the header says '" + std::string(TrimBlanks(header->text)) +
                         "'; only Stockholm 1.0 ('" + std::string(kHeader) +
                         "', as Rfam and Infernal write it) is read");
    }
    std::optional<Line> last;
    while (const std::optional<Line> line = lines.Next()) {
      ReadLine(*line);
      last = line;
    }
    if (end_line_ == 0) {
      FailAt({last ? last->number : 1, 1},
             "the file ends without the '//' line that closes a Stockholm alignment");
    }
    if (structure_.pieces.empty()) {
      FailAt({end_line_, 1},
             "the alignment that ends here has no '#=GC SS_cons' line; its consensus structure "
             "gives the stem pairs");
    }
    return Assemble();
  }

 private:
  [[noreturn]] void FailAt(Place place, const std::string& what) const {
    Fail("ReadDataFile Error: File '" + file_.file_name + "', line " + std::to_string(place.line) +
         ", column " + std::to_string(place.column) + ": " + what + ".");
  }

  void ReadLine(const Line& line) {
    const std::string_view text = TrimBlanks(line.text);
    if (end_line_ != 0) {
      if (text.empty()) return;
      FailAt({line.number, 1}, "more text after the '//' that ends the alignment on line " +
                                   std::to_string(end_line_) +
                                   "; a file of several alignments is not read (split it into "
                                   "one file per alignment)");
    }
    if (text.empty()) {
      EndBlock();
    } else if (text.starts_with("//")) {
      end_line_ = line.number;
    } else if (text.starts_with("#=GC")) {
      ReadColumnAnnotation(line);
    } else if (!text.starts_with('#')) {
      ReadSequence(line);
    }  // other '#' lines: annotation and comments
  }

  void EndBlock() {
    if (block_width_ > 0) columns_done_ += block_width_;
    block_rows_.clear();
    block_width_ = 0;
  }

  void ReadColumnAnnotation(const Line& line) {
    const std::vector<Field> fields = SplitFields(line);
    if (fields.size() < 2 || fields[1].text != "SS_cons") return;
    if (fields.size() != 3) {
      FailAt(fields.size() < 3 ? Place{line.number, static_cast<int>(line.text.size()) + 1}
                               : fields[3].place,
             "expected '#=GC SS_cons' and the structure, one word without blanks");
    }
    AddPiece(kStructureKey, "the '#=GC SS_cons' line", fields[2], structure_);
  }

  void ReadSequence(const Line& line) {
    const std::vector<Field> fields = SplitFields(line);
    const Field& name = fields.front();
    if (fields.size() != 2) {
      FailAt(fields.size() < 2 ? Place{line.number, static_cast<int>(line.text.size()) + 1}
                               : fields[2].place,
             "expected a name and its aligned sequence, one word without blanks");
    }
    if (name.text.size() > settings_.max_name_length) {
      FailAt(name.place, "the taxon name has " + std::to_string(name.text.size()) +
                             " characters; at most " + std::to_string(settings_.max_name_length) +
                             " fit");
    }
    const std::string key(name.text);
    const auto [found, added] = row_of_.emplace(key, static_cast<int>(rows_.size()));
    if (added) {
      names_.push_back({key, found->second});
      rows_.emplace_back();
    }
    AddPiece(key, "the sequence of '" + key + "'", fields[1],
             rows_[static_cast<std::size_t>(found->second)]);
  }

  // One piece of a row in the current block: each row once, all of one width.
  void AddPiece(const std::string& key, const std::string& what, const Field& piece, Row& row) {
    const auto [earlier, first_time] = block_rows_.emplace(key, piece.place.line);
    if (!first_time) {
      FailAt(piece.place, what + " appears twice in one block (also on line " +
                              std::to_string(earlier->second) +
                              "); names must differ, and blocks are separated by blank lines");
    }
    if (row.characters.size() != columns_done_) RefuseMissingPiece(what, piece, row);
    if (block_width_ == 0) {
      block_starts_.emplace_back(columns_done_, piece.place.line);
      block_width_ = piece.text.size();
    } else if (piece.text.size() != block_width_) {
      FailAt(piece.place, what + " has " + std::to_string(piece.text.size()) +
                              " columns in this block; the lines above it have " +
                              std::to_string(block_width_));
    }
    row.Append(piece);
  }

  // A row left out of a block would have its later pieces joined to its
  // earlier ones, every column after the gap shifted: refused, naming the
  // block it is missing from.
  [[noreturn]] void RefuseMissingPiece(const std::string& what, const Field& piece,
                                       const Row& row) const {
    const auto block = std::find_if(block_starts_.begin(), block_starts_.end(), [&](const auto& b) {
      return b.first == row.characters.size();
    });
    const int line = block != block_starts_.end() ? block->second : piece.place.line;
    FailAt(piece.place, what + " is missing from the block that starts on line " +
                            std::to_string(line) +
                            "; every block must hold every row, or the columns after it shift");
  }

  RawAlignment Assemble() {
    RawAlignment alignment;
    alignment.structure = PairColumns(alignment.warnings);
    const std::size_t n_sites = alignment.structure.size();
    for (std::size_t r = 0; r < rows_.size(); ++r) {
      std::string& characters = rows_[r].characters;
      if (characters.size() != n_sites) {
        FailAt(rows_[r].pieces.back().second,
               "the sequence of " + Quoted(names_[r].name) + " has " +
                   std::to_string(characters.size()) + " columns in all, the '#=GC SS_cons' line " +
                   std::to_string(n_sites) + " (is a block missing a row?)");
      }
      for (char& c : characters) {
        c = c == '.' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      }
      alignment.sequences.push_back(std::move(characters));
    }
    alignment.names = std::move(names_);
    if (settings_.echo) EchoAlignmentFile(file_, alignment.n_taxa(), alignment.n_sites());
    return alignment;
  }

  // The pairing values of the WUSS structure. Brackets of all four kinds
  // nest as one structure, so each closing bracket must match the kind of
  // the innermost open one. A pseudoknot letter pairs upper case with lower
  // case; those pairs are read as unpaired columns, but a letter without its
  // partner, or a character WUSS does not have, means the line is not the
  // structure it claims to be, and is refused.
  std::vector<int> PairColumns(std::vector<std::string>& warnings) const {
    const std::string& wuss = structure_.characters;
    std::vector<int> structure(wuss.size(), kUnpairedSite);
    std::vector<std::size_t> open;
    std::array<std::vector<std::size_t>, 26> knots;
    int pseudoknot_pairs = 0;
    for (std::size_t column = 0; column < wuss.size(); ++column) {
      const char c = wuss[column];
      if (kOpeners.find(c) != std::string_view::npos) {
        structure[column] = kOpeningSite;
        open.push_back(column);
      } else if (const std::size_t kind = kClosers.find(c); kind != std::string_view::npos) {
        CloseBracket(column, kind, open);
        structure[column] = kClosingSite;
      } else if (std::isalpha(static_cast<unsigned char>(c))) {
        pseudoknot_pairs += PairKnotLetter(column, knots);
      } else if (kUnpaired.find(c) == std::string_view::npos) {
        FailAt(structure_.PlaceOf(column),
               std::string("'") + c +
                   "' is not a character of a WUSS structure (brackets pair, letters pair as "
                   "pseudoknots, and " +
                   std::string(kUnpaired) + " are unpaired)");
      }
    }
    if (!open.empty()) {
      FailAt(structure_.PlaceOf(open.back()), std::string("the '") + wuss[open.back()] +
                                                  "' of the structure has no closing partner");
    }
    for (const std::vector<std::size_t>& letter : knots) {
      if (letter.empty()) continue;
      const char c = wuss[letter.back()];
      FailAt(structure_.PlaceOf(letter.back()),
             std::string("the pseudoknot letter '") + c + "' has no partner '" +
                 static_cast<char>(std::tolower(static_cast<unsigned char>(c))) + "'");
    }
    if (pseudoknot_pairs > 0) {
      warnings.push_back("Warning: The structure of '" + file_.file_name + "' has " +
                         std::to_string(pseudoknot_pairs) +
                         (pseudoknot_pairs == 1 ? " pseudoknot pair" : " pseudoknot pairs") +
                         " (letters Aa to Zz); their columns are read as unpaired.\n");
    }
    return structure;
  }

  void CloseBracket(std::size_t column, std::size_t kind, std::vector<std::size_t>& open) const {
    const char c = structure_.characters[column];
    if (open.empty()) {
      FailAt(structure_.PlaceOf(column),
             std::string("the '") + c + "' of the structure closes no open pair");
    }
    const char opener = structure_.characters[open.back()];
    if (opener != kOpeners[kind]) {
      const Place place = structure_.PlaceOf(open.back());
      FailAt(structure_.PlaceOf(column),
             std::string("the '") + c + "' of the structure closes the '" + opener + "' on line " +
                 std::to_string(place.line) + ", column " + std::to_string(place.column));
    }
    open.pop_back();
  }

  // Opens (upper case) or closes (lower case) a pseudoknot pair; 1 when a
  // pair closed.
  int PairKnotLetter(std::size_t column, std::array<std::vector<std::size_t>, 26>& knots) const {
    const unsigned char c = static_cast<unsigned char>(structure_.characters[column]);
    std::vector<std::size_t>& letter = knots[static_cast<std::size_t>(std::tolower(c) - 'a')];
    if (std::isupper(c)) {
      letter.push_back(column);
      return 0;
    }
    if (letter.empty()) {
      FailAt(structure_.PlaceOf(column), std::string("the pseudoknot letter '") +
                                             static_cast<char>(c) + "' closes no '" +
                                             static_cast<char>(std::toupper(c)) + "'");
    }
    letter.pop_back();
    return 1;
  }

  const AlignmentText& file_;
  const AlignmentSettings& settings_;
  std::vector<TaxonName> names_;  // first appearance order
  std::vector<Row> rows_;         // by taxon number
  std::unordered_map<std::string, int> row_of_;
  Row structure_;
  std::unordered_map<std::string, int> block_rows_;        // rows of the current block -> line
  std::size_t block_width_ = 0;                            // 0: no piece in the block yet
  std::size_t columns_done_ = 0;                           // the columns of the blocks before it
  std::vector<std::pair<std::size_t, int>> block_starts_;  // each block's first column and line
  int end_line_ = 0;                                       // the line of '//', once met
};

}  // namespace

bool IsStockholm(std::string_view text) {
  const std::string_view first_line = text.substr(0, text.find('\n'));
  std::string_view header = first_line;
  if (header.ends_with('\r')) header.remove_suffix(1);
  // Any version is taken here, so that another one gets its own message
  // rather than being read as some other format.
  return TrimBlanks(header).starts_with(kHeaderStart);
}

RawAlignment ParseStockholm(const AlignmentText& file, const AlignmentSettings& settings) {
  return StockholmReader(file, settings).Read();
}
