#include "inference/ancestral_sampling.h"

#include "tree/polytomies.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>

#include "bailout/bailout.h"
#include "inference/likelihood_blocks.h"
#include "inference/rate_categories.h"
#include "base/random_source.h"
#include "sequence/state_coding.h"

void ConditionDoubletsOnPairs(double* doublets, double f) {
  if (f > 1.0) return;
  double sum = 0.0;
  for (int x = 0; x < kNumDoublets; ++x) {
    doublets[x] *= IsDoubletChangeCanonicalChange(x) ? f : 1.0 - f;
    sum += doublets[x];
  }
  for (int x = 0; x < kNumDoublets; ++x) doublets[x] /= sum;
}

void ConditionDoubletPosteriorsOnPairs(NodeStruct& node, const std::vector<int>& structure,
                                       const std::vector<SiteRecord>& SS) {
  // The mixed posteriors and, with rate categories, each category's.
  const std::size_t n_entries = node.posterior_probs.size();
  const std::size_t n_arrays =
      1 + (n_entries > 0 ? node.category_posteriors.size() / n_entries : 0);
  for (std::size_t array = 0; array < n_arrays; ++array) {
    double* posteriors = array == 0 ? node.posterior_probs.data()
                                    : &node.category_posteriors[(array - 1) * n_entries];
    std::size_t offset = 0;
    for (std::size_t c = 0; c < structure.size(); ++c) {
      if (!OwnsBlock(structure[c])) continue;
      if (structure[c] == kOpeningColumn) {
        ConditionDoubletsOnPairs(posteriors + offset, SS[c].freq_canonical);
      }
      offset += BlockEntries(structure[c]);
    }
  }
}

int CountSampledNodes(const std::vector<NodeStruct*>& down_pass) {
  int count = 0;
  for (const NodeStruct* node : down_pass) count += IsNamedInteriorNode(*node) ? 1 : 0;
  return count;
}

void FailOnUndrawablePosterior(const NodeStruct& node, std::size_t column) {
  Fail("SampleAncestralSequences Error: The posterior probabilities of node " +
       std::to_string(node.index) + " at column " + std::to_string(column) +
       " are all 0 or not numbers; no state can be drawn.");
}

double SampleAncestralRow(const NodeStruct& node, const std::vector<SiteRecord>& SS,
                          const std::vector<int>& structure, std::int32_t* seed, int* row,
                          bool with_log_p, CategoryDrawer* categories) {
  // A local state stays in a register; through the pointer every draw would
  // have to store and reload it around the writes to `row`.
  std::int32_t random_state = *seed;
  double log_p = 0.0;
  std::size_t offset = 0;
  for (std::size_t c = 0; c < structure.size(); ++c) {
    const int pairing = structure[c];
    if (!OwnsBlock(pairing)) continue;
    const bool doublet = pairing == kOpeningColumn;
    const double* probs =
        PosteriorEntries(node, offset, categories != nullptr ? categories->Next() : -1);
    const int state = DrawCategorical(probs, doublet ? kNumDoublets : kNumNucleotides,
                                      DrawUniform(&random_state));
    if (state < 0) FailOnUndrawablePosterior(node, c);
    if (with_log_p)
      log_p += std::log(node.posterior_probs[offset + static_cast<std::size_t>(state)]);
    if (doublet) {
      GetDoubletMembers(row[c], row[SS[c].partner], state);
    } else {
      row[c] = state;
    }
    offset += BlockEntries(pairing);
  }
  *seed = random_state;
  return log_p;
}
