#include "convert_file.h"

#include <cstdio>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>

#include "bailout/bailout.h"
#include "alignment/alignment_reader.h"
#include "mrbayes_block.h"
#include "mrbayes_characters.h"
#include "output/output_set.h"
#include "pairnex_alignment.h"
#include "taxon_name_table.h"

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

// Warnings and notes go to standard error, where a user who keeps the
// output in a file still sees them.
void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

}  // namespace

void ConvertFile(const std::string& data_file, const std::string& output_file,
                 const MrBayesRun& run) {
  // Opened before the data are read, so that writing over the alignment or
  // into a folder that cannot take the file is refused at once.
  OutputSet outputs({{"data file", data_file}}, "ConvertFile Error");
  SafeOutputFile& nexus =
      outputs.Add(output_file, "WriteMrBayesDoubletFile Error: Unable to open file.",
                  "WriteMrBayesDoubletFile Error");
  // Whether the taxon names need the table is known only later.
  constexpr const char* kNamesFailure = "WriteMrBayesDoubletFile Error: Unable to open file.";
  outputs.CheckBeside(nexus, ".names", kNamesFailure);
  RawAlignment raw = LoadAlignment(data_file, {kMaxTaxonNameLength, false});

  PairnexAlignment alignment;
  alignment.n_taxa = raw.n_taxa();
  alignment.n_sites = raw.n_sites();
  AllocateOrFail(alignment.SS, 1, alignment.n_sites,
                 "ConvertFile Error: Problem allocating memory for Data.");
  AllocateOrFail(alignment.dmatrix, alignment.n_taxa, alignment.n_sites,
                 "ConvertFile Error: Problem allocating memory for dmatrix.");
  for (const std::string& warning : raw.warnings) Print(warning);
  TakeRawAlignment(std::move(raw), alignment);
  if (alignment.n_taxa < 1 || alignment.n_sites < 1) {
    // MrBayes refuses an empty matrix; say so before it is written.
    Fail("ConvertFile Error: The data file '" + data_file + "' holds " +
         std::to_string(alignment.n_taxa) + " taxa and " + std::to_string(alignment.n_sites) +
         " columns; nothing to convert.");
  }
  if (alignment.n_taxa < 4) {
    Print("Warning: The data file '" + data_file + "' holds " + std::to_string(alignment.n_taxa) +
          (alignment.n_taxa == 1 ? " taxon" : " taxa") +
          "; MrBayes needs at least 4 and will stop at the mcmc command.\n");
  }
  InitializeStemPairs(alignment);

  Print(DescribeRenamedTaxa(alignment, output_file));
  if (const std::optional<RejectedCharacters> rejected = FindRejectedCharacters(alignment)) {
    Print(DescribeRejectedCharacters(*rejected, alignment));
  }
  WriteMrBayesDoubletFile(nexus, alignment, run);
  if (AnyNameChanged(alignment)) {
    // Committed with the NEXUS file, so neither appears without the other.
    SafeOutputFile& names =
        outputs.AddBeside(nexus, ".names", kNamesFailure, "WriteMrBayesDoubletFile Error");
    names.Write(ComposeNameTable(alignment));
  } else {
    // An earlier conversion's table would name taxa this file no longer has.
    outputs.RetireBeside(nexus, ".names");
  }
  outputs.CommitAll();
}

}  // namespace pairnex
