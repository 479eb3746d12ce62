// The NEXUS file that MrBayes analyses: the alignment as a data block, and a
// MrBayes block that models stem pairs with the doublet model (partition 1)
// and loop columns with the 4by4 model (partition 2), each with six
// exchange rates of its own. ribotrace reads the partitions in that order.
#pragma once

#include <string>

#include "output/safe_output_file.h"
#include "pairnex_alignment.h"

namespace pairnex {

// Which MrBayes the summary commands are written for. 3.2 rejects 3.1's
// "printtofile" and, without relburnin=no, ignores an absolute burn-in.
enum class MrBayesDialect { k31, k32 };

struct MrBayesRun {
  // MrBayes 3.2 stops at 3.1's summary commands after the whole chain, with
  // no consensus tree or summary: the text it reads is the default.
  MrBayesDialect dialect = MrBayesDialect::k32;
  int ngen = 1000000;     // generations of the chain
  int samplefreq = 1000;  // also its print frequency
  // Independent runs (two or more let MrBayes compare them: PSRF in the
  // .pstat, split frequencies in the .tstat) and chains per run (the
  // heated chains of Metropolis coupling).
  // MrBayes's own defaults; the 3.1 text keeps its original one run of one
  // chain unless asked otherwise.
  int nruns = 2;
  int nchains = 4;
  // Gamma-distributed rates across sites (lset rates=gamma) in every
  // partition, each partition with its own shape, approximated by
  // gamma_categories categories (MrBayes's ngammacat, 4 by default).
  bool gamma_rates = false;
  int gamma_categories = 4;
  // Half of the samples, as 500 is of the default 1000.
  int Burnin() const { return ngen / samplefreq / 2; }
};

// The whole file, exactly as written; it ends in "end;" without a newline.
std::string ComposeMrBayesDoubletFile(const PairnexAlignment& alignment, const MrBayesRun& run);

// Writes the file's text to `file` (opened by the caller with the run's
// other outputs). A failed write is fatal and names the file.
void WriteMrBayesDoubletFile(SafeOutputFile& file, const PairnexAlignment& alignment,
                             const MrBayesRun& run);

}  // namespace pairnex
