#include "model/expected_substitutions.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "bailout/bailout.h"

namespace {

// Nucleotides in which two states differ: a doublet is 5' x 4 + 3'.
int ChangedNucleotides(int from, int to, int n) {
  if (n == 4) return from == to ? 0 : 1;
  return (from / 4 != to / 4 ? 1 : 0) + (from % 4 != to % 4 ? 1 : 0);
}

}  // namespace

SubstitutionCounter::SubstitutionCounter(const SubstitutionModel& model)
    : model_(model), n_(model.n_states()) {
  if (model.complex()) {
    Fail("Substitution counts need a reversible model: this rate matrix has complex eigenvalues.");
  }
  RealMatrix weighted = RealMatrix::Zero(n_, n_);
  const std::span<const double> q = model.q();
  for (int i = 0; i < n_; ++i) {
    for (int j = 0; j < n_; ++j) {
      if (i != j)
        weighted(i, j) = q[static_cast<std::size_t>(i * n_ + j)] * ChangedNucleotides(i, j, n_);
    }
  }
  const EigenSet& eigens = model.eigens();
  weighted_in_eigenbasis_ = eigens.u_inverse * weighted * eigens.u;
}

void SubstitutionCounter::Expected(double t, double r, std::span<double> expected) const {
  const EigenSet& eigens = model_.eigens();
  const double time = t * r;
  // integral_0^t exp(l_k s) exp(l_m (t - s)) ds, and its limit t exp(l t)
  // where the two eigenvalues (nearly) coincide.
  RealMatrix inner(n_, n_);
  for (int k = 0; k < n_; ++k) {
    for (int m = 0; m < n_; ++m) {
      const double lk = eigens.lambda_real(k);
      const double lm = eigens.lambda_real(m);
      const double gap = (lk - lm) * time;
      const double integral = std::abs(gap) < 1e-8
                                  ? time * std::exp(0.5 * (lk + lm) * time)
                                  : (std::exp(lk * time) - std::exp(lm * time)) / (lk - lm);
      inner(k, m) = integral * weighted_in_eigenbasis_(k, m);
    }
  }
  const RealMatrix counts = eigens.u * inner * eigens.u_inverse;
  std::vector<double> p(static_cast<std::size_t>(n_ * n_));
  model_.TransitionProbabilities(t, r, p);
  for (int a = 0; a < n_; ++a) {
    for (int b = 0; b < n_; ++b) {
      const auto e = static_cast<std::size_t>(a * n_ + b);
      // Rounding can leave tiny negative counts, or a count over a
      // probability that is 0 in all but rounding.
      expected[e] = p[e] > 1e-300 ? std::max(0.0, counts(a, b)) / p[e] : 0.0;
    }
  }
}

void SetBranchSubstitutions(const std::vector<NodeStruct*>& nodes, const SubstitutionModel& loops,
                            const SubstitutionModel& stems, double loop_rate, double stem_time,
                            BranchSubstitutions& table) {
  const SubstitutionCounter loop_counter(loops);
  const SubstitutionCounter stem_counter(stems);
  table.Resize(nodes.size());
  for (const NodeStruct* node : nodes) {
    if (node->anc == nullptr) continue;
    loop_counter.Expected(node->length, loop_rate, table.Singlet(*node));
    stem_counter.Expected(node->length, stem_time, table.Doublet(*node));
  }
}
