#include "io/results_file.h"

#include "sequence/state_coding.h"

namespace {

constexpr const char* kWriteContext = "WriteResultsToFile Error";

std::string StructureLine(const std::vector<int>& structure) {
  std::string line;
  for (const int pairing : structure) {
    if (pairing == 0) line += '-';
    if (pairing == 1) line += '(';
    if (pairing == -1) line += ')';
  }
  return line;
}

SafeOutputFile& AddSideFile(OutputSet& outputs, const SafeOutputFile& sequences,
                            const std::string& suffix) {
  return outputs.AddBeside(sequences, suffix, std::string(kWriteContext) + ": Unable to open file.",
                           kWriteContext);
}

}  // namespace

ResultsFiles::ResultsFiles(const std::string& out_file, std::vector<RunInput> inputs,
                           bool site_tables, bool with_report)
    : outputs(std::move(inputs), kWriteContext),
      sequences(outputs.Add(out_file, "WriteResultsToFile Error: Unable to open output file ptr.",
                            kWriteContext)),
      summary(outputs.AddBeside(sequences, ".par",
                                "WriteResultsToFile Error: Unable to open p_out file ptr.",
                                kWriteContext)),
      tree(AddSideFile(outputs, sequences, ".tree")),
      map(AddSideFile(outputs, sequences, ".map.fa")) {
  if (site_tables) {
    state = &AddSideFile(outputs, sequences, ".state");
    pairs = &AddSideFile(outputs, sequences, ".pairs");
  } else {
    outputs.RetireBeside(sequences, ".state");
    outputs.RetireBeside(sequences, ".pairs");
  }
  if (with_report) {
    report = &AddSideFile(outputs, sequences, ".html");
  } else {
    outputs.RetireBeside(sequences, ".html");
  }
}

void ResultsFiles::AddCladeList() { clades = &AddSideFile(outputs, sequences, ".clades"); }

void ResultsFiles::AddChangeTables() {
  changes = &AddSideFile(outputs, sequences, ".changes");
  branches = &AddSideFile(outputs, sequences, ".branches");
}

void ResultsFiles::CommitAll() {
  if (clades == nullptr) outputs.RetireBeside(sequences, ".clades");
  if (changes == nullptr) {
    outputs.RetireBeside(sequences, ".changes");
    outputs.RetireBeside(sequences, ".branches");
  }
  outputs.CommitAll();
}

std::vector<std::string> ResultsFiles::Paths() const {
  std::vector<std::string> paths = {sequences.path(), summary.path(), tree.path(), map.path()};
  if (state != nullptr) paths.push_back(state->path());
  if (pairs != nullptr) paths.push_back(pairs->path());
  if (report != nullptr) paths.push_back(report->path());
  if (clades != nullptr) paths.push_back(clades->path());
  if (changes != nullptr) paths.push_back(changes->path());
  if (branches != nullptr) paths.push_back(branches->path());
  return paths;
}

void AppendSequenceCharacters(std::string& text, const int* codes, std::size_t n_sites) {
  const std::size_t start = text.size();
  text.resize(start + n_sites);
  char* out = text.data() + start;
  for (std::size_t c = 0; c < n_sites; ++c) {
    // Sample rows hold only the four bases and gaps: the common codes
    // skip the general lookup.
    const int code = codes[c];
    out[c] = code >= 0 && code <= 3 ? "ACGU"[code] : NucIntToChar(code);
  }
}

void AppendNamedSampleBlock(std::string& text, std::string_view name, std::size_t k,
                            std::string_view row_characters) {
  text.append(">").append(name).append("_").append(std::to_string(k)).append("\n");
  text.append(row_characters).append("\n");
}

void WriteResultsHead(ResultsFiles& files, int include_data, const Alignment& alignment) {
  const std::size_t n_sites = static_cast<std::size_t>(alignment.n_sites);
  std::string head = ">SS_cons\n" + StructureLine(alignment.structure) + "\n";
  if (include_data != 0) {
    for (int t = 0; t < alignment.n_taxa; ++t) {
      head.append(">").append(alignment.Names[t].name).append("\n");
      AppendSequenceCharacters(head, alignment.dmatrix.data() + t * n_sites, n_sites);
      head += '\n';
    }
  }
  files.sequences.Write(head);
}

void WriteResultsSummary(ResultsFiles& files, double scaled_length, int n_samples, double lambda,
                         int is_harmonic) {
  if (is_harmonic == 1) {
    files.summary.Printf("h_mean\t%lf\n", scaled_length);
    files.summary.Printf("lambda\t%lf\n", lambda);
  } else {
    files.summary.Printf("prd_brlen\t%lf\n", scaled_length);
  }
  files.summary.Printf("size\t%d\n", n_samples);
}

void WriteSummaryValue(ResultsFiles& files, const char* name, double value) {
  files.summary.Printf("%s\t%lf\n", name, value);
}
