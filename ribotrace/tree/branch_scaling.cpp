#include "tree/branch_scaling.h"

#include "tree/polytomies.h"

#include "bailout/bailout.h"

double GetHarmonicMeanOfBranchLengths(std::span<NodeStruct* const> down_pass) {
  const NodeStruct* root = down_pass.back();
  long double reciprocal_sum = 0.0L;  // 1 / length of every branch not at the root
  long double root_branch = 0.0L;     // the two root branches, joined
  std::size_t merged = 0;             // branches a resolved polytomy added: none of the tree's
  for (const NodeStruct* node : down_pass.first(down_pass.size() - 1)) {
    if (node->anc == root) {
      root_branch += node->length;
    } else if (IsMergedWithParent(*node)) {
      ++merged;
    } else {
      reciprocal_sum += 1.0L / node->length;
    }
  }
  const auto n_branches = static_cast<long double>(down_pass.size() - 2 - merged);
  return static_cast<double>(n_branches / (reciprocal_sum + 1.0L / root_branch));
}

void SetScaledBranchLengths(std::span<NodeStruct* const> down_pass, int is_harmonic) {
  double scaled = 1.0;
  if (is_harmonic == 1) {
    scaled = GetHarmonicMeanOfBranchLengths(down_pass);
  } else if (is_harmonic != 0) {
    Fail("GetHarmonicMeanOfBranchLengths Error: Parameter 'is_harmonic' has an incorrect value.");
  }
  for (NodeStruct* node : down_pass.first(down_pass.size() - 1)) node->scaled_length = scaled;
}
