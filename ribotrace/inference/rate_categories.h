// Among-site rate variation in the passes and in sampling. With gamma
// rates every block (stem pair or loop column) evolves at the rate of one
// of K categories, each of prior probability 1/K; the passes run once per
// category, and these functions mix their results by the posterior of the
// category at each block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tree/node_struct.h"

// The posterior probability of each rate category at each block, given the
// data: P(k | data) = L_k / sum over j of L_j, with L_k the block's
// likelihood at category k's rate.
struct CategoryPosteriors {
  int n_categories = 1;
  std::vector<double> probs;  // block after block, n_categories each

  const double* OfBlock(std::size_t block) const {
    return &probs[block * static_cast<std::size_t>(n_categories)];
  }
};

// From block_lnl[k][b], block b's log-likelihood at category k's rate
// (rescaling already taken off): the category posteriors, and in *mixed
// each block's log-likelihood under the mixture, log(1/K x sum over k of
// L_k). Works on the log scale (the largest L_k factored out), so that
// categories rescaled different numbers of times mix exactly. A block that
// no category explains gets minus infinity and posteriors of 0.
CategoryPosteriors MixCategoryLikelihoods(const std::vector<std::vector<double>>& block_lnl,
                                          std::vector<double>* mixed);

// Sets the posterior_probs of every interior node below the root to the
// mixture over categories: entry by entry of each block, the sum over k of
// P(k | data at the block) x the entry given category k (read from
// category_posteriors). `threads` share the blocks (0: every core).
void MixNodePosteriors(const std::vector<NodeStruct*>& nodes, const std::vector<int>& structure,
                       const CategoryPosteriors& categories, int threads = 1);

// Draws the rate category of each block of one sample row in turn, blocks
// in column order, each from the block's category posteriors, with one
// draw per block from the state it starts from.
class CategoryDrawer {
 public:
  CategoryDrawer(const CategoryPosteriors& posteriors, std::int32_t state)
      : posteriors_(posteriors), state_(state) {}

  // The category of the next block; -1 when none is possible there (the
  // block's posteriors are then undrawable too).
  int Next();

 private:
  const CategoryPosteriors& posteriors_;
  std::int32_t state_;
  std::size_t block_ = 0;
};
