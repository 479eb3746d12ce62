#include "analysis_driver.h"

#include <cstdio>
#include <vector>

#include "alignment/alignment_reader.h"
#include "bailout/bailout.h"
#include "buffers.h"
#include "data_file.h"
#include "diagnostics.h"
#include "random_source.h"
#include "stems_and_loops.h"

void CalcAncestralStates(const RunValues& values) {
  show_debug_info = values.show_debug != 0;
  std::int32_t seed = values.seed ? *values.seed : GetSeedFromClock();

  const AlignmentCounts counts = GetNumberOfTaxaSitesAndAllocate(values.data_file);
  if (counts.n_taxa < 3) {
    // Below three taxa no interior node lies below the root: nothing to sample.
    Fail("CalcAncestralStates Error: The data file '" + values.data_file + "' holds " +
         std::to_string(counts.n_taxa < 0 ? 0 : counts.n_taxa) +
         " taxa; at least 3 are needed.");
  }

  Alignment alignment;
  alignment.n_taxa = counts.n_taxa;
  alignment.n_sites = counts.n_sites;
  alignment.structure = AllocateBuffer<int>(
      {counts.n_sites}, "ReadDataFile Error: Problem allocating memory for structure.");
  alignment.Names = AllocateBuffer<TaxonName>(
      {counts.n_taxa}, "ReadDataFile Error: Problem allocating memory for Names.");
  std::vector<SiteRecord> SS = AllocateBuffer<SiteRecord>(
      {counts.n_sites}, "ReadDataFile Error: Problem allocating memory for Data.");
  alignment.dmatrix = AllocateBuffer<int>(
      {counts.n_taxa, counts.n_sites}, "ReadDataFile Error: Problem allocating memory for dmatrix.");

  ReadDataFile(values.data_file, alignment);

  const StemsAndLoops stems = InitializeStemsAndLoops(alignment, values.condition_on_pairs, SS);
  if (show_debug_info) {
    std::printf("Number doublet sites = %d\nNumber of singleton sites = %d\n", stems.n_doublets,
                stems.n_singletons);
  }
  (void)seed;
}
