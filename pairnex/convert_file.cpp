#include "convert_file.h"

#include <cstdio>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>

#include "bailout/bailout.h"
#include "mrbayes_characters.h"
#include "output/output_set.h"
#include "pairnex_alignment.h"

namespace pairnex {

namespace {

// Resizes `buffer` to n_rows x n_columns elements, or fails with `message`
// as a plain line, like an allocation that the system refuses; a product
// that does not fit never becomes a smaller buffer.
template <typename Buffer>
void AllocateOrFail(Buffer& buffer, long long n_rows, long long n_columns, const char* message) {
  const long long limit = std::numeric_limits<std::ptrdiff_t>::max() /
                          static_cast<long long>(sizeof(typename Buffer::value_type));
  if (n_rows >= 0 && n_columns >= 0 && (n_columns == 0 || n_rows <= limit / n_columns)) {
    try {
      buffer.resize(static_cast<std::size_t>(n_rows * n_columns));
      return;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
  }
  FailWithLine(message);
}

}  // namespace

void ConvertFile(const std::string& data_file, const std::string& output_file,
                 const MrBayesRun& run) {
  const AlignmentCounts counts = GetNumberOfTaxaSitesAndAllocate(data_file);
  // Opened before the data are read, so that writing over the alignment or
  // into a folder that cannot take the file is refused at once.
  OutputSet outputs({{"data file", data_file}}, "ConvertFile Error");
  SafeOutputFile& nexus =
      outputs.Add(output_file, "WriteMrBayesDoubletFile Error: Unable to open file.",
                  "WriteMrBayesDoubletFile Error");

  PairnexAlignment alignment;
  alignment.n_taxa = counts.n_taxa;
  alignment.n_sites = counts.n_sites;
  AllocateOrFail(alignment.structure, 1, counts.n_sites,
                 "ConvertFile Error: Problem allocating memory for structure.");
  AllocateOrFail(alignment.Names, 1, counts.n_taxa,
                 "ConvertFile Error: Problem allocating memory for Names.");
  AllocateOrFail(alignment.SS, 1, counts.n_sites,
                 "ConvertFile Error: Problem allocating memory for Data.");
  AllocateOrFail(alignment.dmatrix, counts.n_taxa, counts.n_sites,
                 "ConvertFile Error: Problem allocating memory for dmatrix.");

  ReadDataFile(data_file, alignment);
  if (alignment.n_taxa < 1 || alignment.n_sites < 1) {
    // MrBayes refuses an empty matrix; say so before it is written.
    Fail("ConvertFile Error: The data file '" + data_file + "' holds " +
         std::to_string(alignment.n_taxa) + " taxa and " + std::to_string(alignment.n_sites) +
         " columns; nothing to convert.");
  }
  InitializeStemPairs(alignment);

  if (const std::optional<RejectedCharacters> rejected = FindRejectedCharacters(alignment)) {
    const std::string warning = DescribeRejectedCharacters(*rejected, alignment);
    std::fwrite(warning.data(), 1, warning.size(), stdout);
  }
  WriteMrBayesDoubletFile(nexus, alignment, run);
  outputs.CommitAll();
}

}  // namespace pairnex
