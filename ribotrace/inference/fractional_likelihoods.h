// Fractional (conditional) likelihoods: for every node and block, the
// likelihood of the data below the node given each state of the node
// (Felsenstein's pruning), computed children before parents.
#pragma once

#include <cstddef>
#include <vector>

#include "base/alignment.h"
#include "model/branch_matrices.h"
#include "tree/node_struct.h"
#include "sequence/stems_and_loops.h"

// Where a block was multiplied by 2^256 to keep it out of the subnormal
// range: with many taxa the plain products fall below the smallest double.
// Each count says how many times a block was rescaled, summed over the
// nodes; a block's entries keep their ratios, so the posteriors (normalised
// per block) do not depend on it.
struct FractionalScaling {
  int n_blocks = 0;
  std::vector<long long> counts;  // per block

  long long Count(int block) const { return counts[static_cast<std::size_t>(block)]; }
};

// A block whose largest entry falls below this is rescaled.
constexpr double kRescaleThreshold = 0x1p-256;
constexpr double kRescaleFactor = 0x1p256;

// Multiplies the n entries by 2^256 until the largest reaches `threshold`
// and returns how often it did. Powers of two are exact, so nothing but the
// exponent changes; an all-zero block stays as it is.
int RescaleBlock(double* entries, int n, double threshold = kRescaleThreshold);

// What the passes (fractional likelihoods and posteriors) are asked for.
struct PassOptions {
  // Stem codes as state sets (IntializeDoubletStateSetsAtTips), as MrBayes
  // reads them, instead of any ambiguous position counting as unknown.
  bool stem_codes_as_sets = false;
  // Rescaling starts below this; raising it forces rescaling where no
  // underflow threatens (a test hook).
  double rescale_threshold = kRescaleThreshold;
  // The diagnostic listing (show_debug): each pass prints its vectors.
  bool listing = false;
  // Threads that share the blocks (0: every core). Every block is computed
  // by one thread with the same arithmetic, so the results do not depend
  // on the number.
  int threads = 1;
};

// Fills the frac_likelihoods of every interior node (laid out as in
// likelihood_blocks.h; NodeVectors must have pointed them at their arrays)
// in down-pass order as the product over the children, in their order, of
// the child's transition matrix applied to the child's block, a tip's block
// made from its observed codes. The root's vector is not weighted by state
// frequencies. Each child's matrices in `matrices` must already hold its
// branch's transition probabilities. Fails on a tip that matches no taxon
// and on a node with one child, the first in down-pass order. Prints every
// node's blocks (tips' included) with options.listing.
FractionalScaling GetFractionalLikelihoods(const std::vector<NodeStruct*>& down_pass,
                                           const BranchMatrices& matrices,
                                           const std::vector<SiteRecord>& SS,
                                           const Alignment& alignment,
                                           const PassOptions& options = {});
