#include "io/data_file.h"

#include <cctype>
#include <cstdio>

#include "alignment/alignment_reader.h"
#include "base/buffers.h"
#include "base/diagnostics.h"
#include "sequence/state_coding.h"

Alignment ReadDataFile(const std::string& file_name) {
  RawAlignment raw = LoadAlignment(file_name, {kMaxTaxonNameLength, show_debug_info});
  for (const std::string& warning : raw.warnings) std::fputs(warning.c_str(), stdout);

  Alignment alignment;
  alignment.n_taxa = raw.n_taxa();
  alignment.n_sites = raw.n_sites();
  alignment.dmatrix = AllocateBuffer<int>(
      {alignment.n_taxa, alignment.n_sites},
      "ReadDataFile Error: Problem allocating memory for dmatrix.");
  std::size_t cell = 0;
  for (const std::string& sequence : raw.sequences) {
    for (const char c : sequence) {
      alignment.dmatrix[cell++] =
          NucCharToInt(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
  }
  alignment.structure = std::move(raw.structure);
  alignment.Names = std::move(raw.names);
  return alignment;
}
