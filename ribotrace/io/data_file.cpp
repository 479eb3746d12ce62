#include "io/data_file.h"

#include <cctype>

#include "base/diagnostics.h"
#include "sequence/state_coding.h"

void ReadDataFile(const std::string& file_name, Alignment& alignment) {
  const AlignmentCounts counts{alignment.n_taxa, alignment.n_sites};
  RawAlignment raw = ReadAlignmentFile(file_name, counts, {kMaxTaxonNameLength, show_debug_info});
  alignment.structure = std::move(raw.structure);
  alignment.Names = std::move(raw.names);
  std::size_t cell = 0;
  for (const std::string& sequence : raw.sequences) {
    for (const char c : sequence) {
      alignment.dmatrix[cell++] =
          NucCharToInt(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
  }
}
