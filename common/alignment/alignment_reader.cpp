#include "alignment/alignment_reader.h"

#include <cstdio>

#include "alignment/alignment_formats.h"
#include "bailout/bailout.h"
#include "file_text/file_text.h"

void EchoAlignmentFile(const AlignmentText& file, int n_taxa, int n_sites) {
  std::printf("Data file contents (filename = %s [nTaxa=%d, nSites=%d):\n", file.file_name.c_str(),
              n_taxa, n_sites);
  std::fwrite(file.text.data(), 1, file.text.size(), stdout);
}

RawAlignment LoadAlignment(const std::string& file_name, const AlignmentSettings& settings) {
  // Read once: a pipe or process substitution cannot be opened twice.
  const std::string text =
      ReadInputText(file_name, "GetNumberOfTaxaSitesAndAllocate", ErrorForm::kBailout);
  const AlignmentText file{file_name, text};
  if (IsStockholm(file.text)) return ParseStockholm(file, settings);
  return ParseStructureLineFormat(file, settings);
}
