#include "inference/rate_categories.h"

#include <algorithm>
#include <cmath>

#include "base/ordered_batches.h"
#include "base/random_source.h"
#include "base/weighted_ranges.h"
#include "inference/categorical_draw.h"
#include "inference/likelihood_blocks.h"

CategoryPosteriors MixCategoryLikelihoods(const std::vector<std::vector<double>>& block_lnl,
                                          std::vector<double>* mixed) {
  CategoryPosteriors categories;
  categories.n_categories = static_cast<int>(block_lnl.size());
  const std::size_t n_categories = block_lnl.size();
  const std::size_t n_blocks = block_lnl.front().size();
  categories.probs.assign(n_blocks * n_categories, 0.0);
  mixed->assign(n_blocks, -INFINITY);
  const double log_categories = std::log(static_cast<double>(n_categories));
  for (std::size_t b = 0; b < n_blocks; ++b) {
    double largest = -INFINITY;
    for (std::size_t k = 0; k < n_categories; ++k) largest = std::max(largest, block_lnl[k][b]);
    if (!std::isfinite(largest)) continue;
    double* probs = &categories.probs[b * n_categories];
    double sum = 0.0;
    for (std::size_t k = 0; k < n_categories; ++k) {
      probs[k] = std::exp(block_lnl[k][b] - largest);
      sum += probs[k];
    }
    for (std::size_t k = 0; k < n_categories; ++k) probs[k] /= sum;
    (*mixed)[b] = largest + std::log(sum) - log_categories;
  }
  return categories;
}

void MixNodePosteriors(const std::vector<NodeStruct*>& nodes, const std::vector<int>& structure,
                       const CategoryPosteriors& categories, int threads) {
  const BlockLayout layout(structure);
  std::vector<double> entries;
  for (int b = 0; b < layout.n_blocks(); ++b) entries.push_back(layout.IsDoublet(b) ? 16.0 : 4.0);
  WorkInWeightedRanges(
      entries, ResolveThreadCount(threads), [&](std::size_t first, std::size_t last) {
        for (NodeStruct* node : nodes) {
          if (!IsInteriorBelowRoot(*node)) continue;
          for (std::size_t b = first; b < last; ++b) {
            const double* weights = categories.OfBlock(b);
            const int block = static_cast<int>(b);
            for (std::size_t e = layout.Offset(block); e < layout.Offset(block + 1); ++e) {
              double sum = 0.0;
              for (int k = 0; k < categories.n_categories; ++k) {
                sum += weights[k] * *PosteriorEntries(*node, e, k);
              }
              node->posterior_probs[e] = sum;
            }
          }
        }
      });
}

int CategoryDrawer::Next() {
  return DrawCategorical(posteriors_.OfBlock(block_++), posteriors_.n_categories,
                         DrawUniform(&state_));
}
