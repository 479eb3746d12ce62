#include "inference/gap_reintroduction.h"

#include "run/random_source.h"
#include "sequence/state_coding.h"

void ReintroduceGapsInColumn(double freq_gaps, std::size_t column, std::size_t n_sites,
                             std::int32_t* seed, std::vector<int>& anc_seqs, std::size_t n_rows) {
  if (!(freq_gaps > 0.0)) return;
  for (std::size_t r = 0; r < n_rows; ++r) {
    if (freq_gaps > DrawUniform(seed)) anc_seqs[r * n_sites + column] = kGapCode;
  }
}

void ReintroduceGaps(const std::vector<SiteRecord>& SS, std::int32_t* seed,
                     std::vector<int>& anc_seqs, std::size_t n_rows) {
  for (std::size_t c = 0; c < SS.size(); ++c) {
    ReintroduceGapsInColumn(SS[c].freq_gaps, c, SS.size(), seed, anc_seqs, n_rows);
  }
}
