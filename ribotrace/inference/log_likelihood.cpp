#include "inference/log_likelihood.h"

#include <cmath>
#include <cstddef>
#include <cstdio>

#include "inference/likelihood_blocks.h"
#include "sequence/state_coding.h"

namespace {

// log of sum over x of freq[x] x likelihood[x].
template <int N>
double LogOfBlock(const double* freq, const double* likelihood) {
  double sum = 0.0;
  for (int x = 0; x < N; ++x) sum += freq[x] * likelihood[x];
  return std::log(sum);
}

}  // namespace

std::vector<double> GetBlockLogLikelihoods(const std::vector<NodeStruct*>& down_pass,
                                           const std::vector<int>& structure,
                                           const ModelParams& parameters,
                                           const FractionalScaling& scaling) {
  // Every rescaling multiplied a block by 2^256, and the factor travels up
  // to the root through the products, so each one is taken off again here.
  const double log_factor = std::log(kRescaleFactor);
  const NodeStruct& root = *down_pass.back();
  const BlockLayout layout(structure);
  std::vector<double> lnl;
  lnl.reserve(static_cast<std::size_t>(scaling.n_blocks));
  for (int block = 0; block < layout.n_blocks(); ++block) {
    const double* entries = root.frac_likelihoods.data() + layout.Offset(block);
    const double rescalings = static_cast<double>(scaling.Count(block));
    if (layout.IsDoublet(block)) {
      lnl.push_back(LogOfBlock<kNumDoublets>(parameters.stem.frequencies.data(), entries) -
                    rescalings * log_factor);
    } else {
      lnl.push_back(LogOfBlock<kNumNucleotides>(parameters.loop.frequencies.data(), entries) -
                    rescalings * log_factor);
    }
  }
  return lnl;
}

PartitionLogLikelihoods SumByPartition(const std::vector<int>& structure,
                                       const std::vector<double>& block_lnl) {
  PartitionLogLikelihoods lnl;
  std::size_t block = 0;
  for (const int pairing : structure) {
    if (!OwnsBlock(pairing)) continue;
    (pairing == kOpeningColumn ? lnl.stems : lnl.loops) += block_lnl[block++];
  }
  return lnl;
}

PartitionLogLikelihoods GetLogLikelihood(const std::vector<NodeStruct*>& down_pass,
                                         const std::vector<int>& structure,
                                         const ModelParams& parameters,
                                         const FractionalScaling& scaling) {
  return SumByPartition(structure,
                        GetBlockLogLikelihoods(down_pass, structure, parameters, scaling));
}

void ShowLogLikelihood(const PartitionLogLikelihoods& lnl) {
  std::printf("Log-likelihood: %.6f (stems: %.6f, loops: %.6f)\n", lnl.Total(), lnl.stems,
              lnl.loops);
}
