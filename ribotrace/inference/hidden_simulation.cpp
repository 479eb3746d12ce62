#include "inference/hidden_simulation.h"

#include <algorithm>
#include <cstddef>
#include <string>

#include "inference/ancestral_sampling.h"
#include "bailout/bailout.h"
#include "inference/likelihood_blocks.h"
#include "run/random_source.h"
#include "sequence/state_coding.h"

namespace {

int DrawOrFail(const double* probs, int n, double u, const NodeStruct& node, std::size_t column,
               const char* what) {
  const int state = DrawCategorical(probs, n, u);
  if (state < 0) {
    Fail(std::string("SimulateHiddenAncestralSequences Error: The ") + what + " of node " +
         std::to_string(node.index) + " at column " + std::to_string(column) +
         " are all 0 or not numbers; no state can be drawn.");
  }
  return state;
}

}  // namespace

void SimulateHiddenRow(const NodeStruct& node, const std::vector<SiteRecord>& SS,
                       const std::vector<int>& structure, const HiddenBranchMatrices& hidden,
                       int condition_on_pairs, std::int32_t* seed, int* row) {
  std::size_t offset = 0;
  for (std::size_t c = 0; c < structure.size(); ++c) {
    const int pairing = structure[c];
    if (!OwnsBlock(pairing)) continue;
    if (pairing == kOpeningColumn) {
      const int x = DrawOrFail(&node.posterior_probs[offset], kNumDoublets, DrawUniform(seed), node,
                               c, "posterior probabilities");
      std::array<double, kNumDoublets> to;
      std::copy_n(&hidden.doublet[static_cast<std::size_t>(x) * kNumDoublets], kNumDoublets,
                  to.begin());
      // Only row x is ever drawn from, so only row x needs the reweighting.
      if (condition_on_pairs == 1) ConditionDoubletsOnPairs(to.data(), SS[c].freq_canonical);
      const int y = DrawOrFail(to.data(), kNumDoublets, DrawUniform(seed), node, c,
                               "hidden transition probabilities");
      row[c] = y / 4;
      row[SS[c].partner] = y % 4;
    } else {
      const int x = DrawOrFail(&node.posterior_probs[offset + kSingletEntries], kNumNucleotides,
                               DrawUniform(seed), node, c, "posterior probabilities");
      row[c] = DrawOrFail(&hidden.singlet[static_cast<std::size_t>(x) * kNumNucleotides],
                          kNumNucleotides, DrawUniform(seed), node, c,
                          "hidden transition probabilities");
    }
    offset += kBlockSize;
  }
}
