#include "alignment/alignment_reader.h"

#include <cstdio>
#include <variant>

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
  const std::variant<std::string, FileTextError> read = ReadFileText(file_name);
  if (const auto* error = std::get_if<FileTextError>(&read)) {
    if (*error == FileTextError::kTooLarge) {
      Fail("GetNumberOfTaxaSitesAndAllocate Error: File '" + file_name +
           "' is too large (2 GiB or more).");
    }
    Fail("GetNumberOfTaxaSitesAndAllocate Error: Unable to open file.");
  }
  const AlignmentText file{file_name, std::get<std::string>(read)};
  if (IsStockholm(file.text)) return ParseStockholm(file, settings);
  return ParseStructureLineFormat(file, settings);
}
