#include "inference/ancestral_sampling.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>

#include "bailout/bailout.h"
#include "inference/likelihood_blocks.h"
#include "run/random_source.h"
#include "sequence/state_coding.h"

int DrawCategorical(const double* probs, int n, double u) {
  double running = 0.0;
  for (int i = 0; i < n; ++i) {
    running += probs[i];
    if (running > u) return i;
  }
  for (int i = n - 1; i >= 0; --i) {
    if (std::isfinite(probs[i]) && probs[i] > 0.0) return i;
  }
  return -1;
}

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
  std::size_t offset = 0;
  for (std::size_t c = 0; c < structure.size(); ++c) {
    if (!OwnsBlock(structure[c])) continue;
    if (structure[c] == kOpeningColumn) {
      ConditionDoubletsOnPairs(&node.posterior_probs[offset], SS[c].freq_canonical);
    }
    offset += kBlockSize;
  }
}

int CountSampledNodes(const std::vector<NodeStruct*>& down_pass) {
  int count = 0;
  for (const NodeStruct* node : down_pass) count += IsInteriorBelowRoot(*node) ? 1 : 0;
  return count;
}

double SampleAncestralRow(const NodeStruct& node, const std::vector<SiteRecord>& SS,
                          const std::vector<int>& structure, std::int32_t* seed, int* row) {
  double log_p = 0.0;
  std::size_t offset = 0;
  for (std::size_t c = 0; c < structure.size(); ++c) {
    const int pairing = structure[c];
    if (!OwnsBlock(pairing)) continue;
    const bool doublet = pairing == kOpeningColumn;
    const double* probs = &node.posterior_probs[offset + (doublet ? 0 : kSingletEntries)];
    const int state =
        DrawCategorical(probs, doublet ? kNumDoublets : kNumNucleotides, DrawUniform(seed));
    if (state < 0) {
      Fail("SampleAncestralSequences Error: The posterior probabilities of node " +
           std::to_string(node.index) + " at column " + std::to_string(c) +
           " are all 0 or not numbers; no state can be drawn.");
    }
    log_p += std::log(probs[state]);
    if (doublet) {
      row[c] = state / 4;
      row[SS[c].partner] = state % 4;
    } else {
      row[c] = state;
    }
    offset += kBlockSize;
  }
  return log_p;
}

void SampleAncestralSequences(const std::vector<NodeStruct*>& down_pass,
                              const std::vector<SiteRecord>& SS, const std::vector<int>& structure,
                              std::vector<double>& log_P, std::int32_t* seed,
                              std::vector<int>& anc_seqs, int n_samples, int condition_on_pairs) {
  const std::size_t n_sites = structure.size();
  std::size_t r = 0;
  for (NodeStruct* node : down_pass) {
    if (!IsInteriorBelowRoot(*node) || n_samples <= 0) continue;
    // Conditioning is applied once per node, so that all samples of the
    // node, and its hidden sequences, come from one distribution.
    if (condition_on_pairs == 1) ConditionDoubletPosteriorsOnPairs(*node, structure, SS);
    for (int k = 0; k < n_samples; ++k, ++r) {
      log_P[r] = SampleAncestralRow(*node, SS, structure, seed, anc_seqs.data() + r * n_sites);
    }
  }
}

void ShowAncestralSequences(const std::vector<double>& log_P, const std::vector<int>& structure,
                            const std::vector<int>& anc_seqs, std::size_t n_rows) {
  const std::size_t n_sites = structure.size();
  std::printf("\nAncestral sequences:\n");
  for (const int pairing : structure) {
    if (pairing == 0) std::putchar('.');
    if (pairing == 1) std::putchar('(');
    if (pairing == -1) std::putchar(')');
  }
  std::printf("\n");
  const std::size_t n_sampled_rows = n_rows / 2;
  for (std::size_t r = 0; r < n_rows; ++r) {
    for (std::size_t c = 0; c < n_sites; ++c) {
      const int code = anc_seqs[r * n_sites + c];
      if (code == kGapCode) {
        std::putchar('-');
      } else {
        WhichNuc(code);
      }
    }
    if (r < n_sampled_rows) {
      std::printf("\t[P = %1.12lf]\n", std::exp(log_P[r]));
    } else {
      std::printf("\t[P = NA]\n");
    }
  }
  std::printf("\n");
}
