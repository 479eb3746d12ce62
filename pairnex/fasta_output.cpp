#include "fasta_output.h"

#include <cctype>
#include <cstdio>

#include "alignment/alignment_reader.h"
#include "alignment/taxon_names.h"
#include "output/output_set.h"
#include "pairnex_alignment.h"

namespace pairnex {

void WriteFasta(const std::string& data_file, const std::string& output_file) {
  OutputSet outputs({{"data file", data_file}}, "ConvertFile Error");
  SafeOutputFile& fasta =
      outputs.Add(output_file, "WriteFasta Error: Unable to open file.", "WriteFasta Error");
  const RawAlignment raw = LoadAlignment(data_file, {kMaxTaxonNameLength, false});
  for (const std::string& warning : raw.warnings) std::fputs(warning.c_str(), stderr);
  const std::vector<std::string> names = MrBayesTaxonNames(raw.names);
  for (std::size_t taxon = 0; taxon < raw.names.size(); ++taxon) {
    std::string sequence = raw.sequences[static_cast<std::size_t>(raw.names[taxon].taxon_number)];
    for (char& c : sequence) {
      c = c == '.' || c == '~' ? '-'
                               : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    fasta.Write(">" + names[taxon] + "\n" + sequence + "\n");
  }
  outputs.CommitAll();
}

}  // namespace pairnex
