#include "sequential_reference.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "bailout/bailout.h"
#include "inference/ancestral_sampling.h"
#include "inference/likelihood_blocks.h"
#include "base/random_source.h"
#include "sequence/state_coding.h"

namespace {

// The hidden row as first written: the node's state from its posteriors,
// then the state at the end of the hidden branch from that state's row,
// reweighted by the column's canonical-pair frequency when conditioning.
void SimulateHiddenRowReference(const NodeStruct& node, const std::vector<SiteRecord>& SS,
                                const std::vector<int>& structure,
                                const HiddenBranchMatrices& hidden, int condition_on_pairs,
                                std::int32_t* seed, int* row) {
  std::size_t offset = 0;
  for (std::size_t c = 0; c < structure.size(); ++c) {
    const int pairing = structure[c];
    if (!OwnsBlock(pairing)) continue;
    auto draw = [&](const double* probs, int n, const char* what) {
      const int state = DrawCategorical(probs, n, DrawUniform(seed));
      if (state < 0) {
        Fail(std::string("SimulateHiddenAncestralSequences Error: The ") + what + " of node " +
             std::to_string(node.index) + " at column " + std::to_string(c) +
             " are all 0 or not numbers; no state can be drawn.");
      }
      return state;
    };
    if (pairing == kOpeningColumn) {
      const int x = draw(&node.posterior_probs[offset], kNumDoublets, "posterior probabilities");
      std::array<double, kNumDoublets> to;
      std::copy_n(&hidden.doublet[static_cast<std::size_t>(x) * kNumDoublets], kNumDoublets,
                  to.begin());
      if (condition_on_pairs == 1) ConditionDoubletsOnPairs(to.data(), SS[c].freq_canonical);
      const int y = draw(to.data(), kNumDoublets, "hidden transition probabilities");
      row[c] = y / 4;
      row[SS[c].partner] = y % 4;
    } else {
      const int x = draw(&node.posterior_probs[offset], kNumNucleotides, "posterior probabilities");
      row[c] = draw(&hidden.singlet[static_cast<std::size_t>(x) * kNumNucleotides], kNumNucleotides,
                    "hidden transition probabilities");
    }
    offset += BlockEntries(pairing);
  }
}

}  // namespace

void SampleAncestralSequences(const std::vector<NodeStruct*>& down_pass,
                              const std::vector<SiteRecord>& SS, const std::vector<int>& structure,
                              std::vector<double>& log_P, std::int32_t* seed,
                              std::vector<int>& anc_seqs, int n_samples, int condition_on_pairs) {
  const std::size_t n_sites = structure.size();
  std::size_t r = 0;
  for (NodeStruct* node : down_pass) {
    if (!IsInteriorBelowRoot(*node) || n_samples <= 0) continue;
    if (condition_on_pairs == 1) ConditionDoubletPosteriorsOnPairs(*node, structure, SS);
    for (int k = 0; k < n_samples; ++k, ++r) {
      log_P[r] = SampleAncestralRow(*node, SS, structure, seed, anc_seqs.data() + r * n_sites);
    }
  }
}

void SimulateHiddenAncestralSequences(const std::vector<NodeStruct*>& down_pass,
                                      const std::vector<SiteRecord>& SS,
                                      const std::vector<int>& structure, std::int32_t* seed,
                                      std::vector<int>& anc_seqs, int n_samples,
                                      const HiddenBranchMatrices& hidden, int condition_on_pairs) {
  if (n_samples <= 0) return;
  const std::size_t n_sites = structure.size();
  std::size_t r = static_cast<std::size_t>(CountSampledNodes(down_pass)) * n_samples;
  for (const NodeStruct* node : down_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    for (int k = 0; k < n_samples; ++k, ++r) {
      SimulateHiddenRowReference(*node, SS, structure, hidden, condition_on_pairs, seed,
                                 anc_seqs.data() + r * n_sites);
    }
  }
}

void ReintroduceGaps(const std::vector<SiteRecord>& SS, std::int32_t* seed,
                     std::vector<int>& anc_seqs, std::size_t n_rows) {
  const std::size_t n_sites = SS.size();
  for (std::size_t c = 0; c < n_sites; ++c) {
    if (!(SS[c].freq_gaps > 0.0)) continue;
    for (std::size_t r = 0; r < n_rows; ++r) {
      if (SS[c].freq_gaps > DrawUniform(seed)) anc_seqs[r * n_sites + c] = kGapCode;
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
      } else if (code >= 0 && code <= 3) {
        std::putchar("ACGU"[code]);
      } else {
        FailWithLine("\n\nERROR: Problem printing character state.");
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
