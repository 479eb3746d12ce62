#include "model/rate_matrices.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>

#include "bailout/bailout.h"

// clang-format off
const std::array<std::array<int, 16>, 16> r_ij = {{
  // AA  AC  AG  AU  CA  CC  CG  CU  GA  GC  GG  GU  UA  UC  UG  UU
    {{-1,  0,  1,  2,  0, -1, -1, -1,  1, -1, -1, -1,  2, -1, -1, -1}},  // AA
    {{ 0, -1,  3,  4, -1,  0, -1, -1, -1,  1, -1, -1, -1,  2, -1, -1}},  // AC
    {{ 1,  3, -1,  5, -1, -1,  0, -1, -1, -1,  1, -1, -1, -1,  2, -1}},  // AG
    {{ 2,  4,  5, -1, -1, -1, -1,  0, -1, -1, -1,  1, -1, -1, -1,  2}},  // AU
    {{ 0, -1, -1, -1, -1,  0,  1,  2,  3, -1, -1, -1,  4, -1, -1, -1}},  // CA
    {{-1,  0, -1, -1,  0, -1,  3,  4, -1,  3, -1, -1, -1,  4, -1, -1}},  // CC
    {{-1, -1,  0, -1,  1,  3, -1,  5, -1, -1,  3, -1, -1, -1,  4, -1}},  // CG
    {{-1, -1, -1,  0,  2,  4,  5, -1, -1, -1, -1,  3, -1, -1, -1,  4}},  // CU
    {{ 1, -1, -1, -1,  3, -1, -1, -1, -1,  0,  1,  2,  5, -1, -1, -1}},  // GA
    {{-1,  1, -1, -1, -1,  3, -1, -1,  0, -1,  3,  4, -1,  5, -1, -1}},  // GC
    {{-1, -1,  1, -1, -1, -1,  3, -1,  1,  3, -1,  5, -1, -1,  5, -1}},  // GG
    {{-1, -1, -1,  1, -1, -1, -1,  3,  2,  4,  5, -1, -1, -1, -1,  5}},  // GU
    {{ 2, -1, -1, -1,  4, -1, -1, -1,  5, -1, -1, -1, -1,  0,  1,  2}},  // UA
    {{-1,  2, -1, -1, -1,  4, -1, -1, -1,  5, -1, -1,  0, -1,  3,  4}},  // UC
    {{-1, -1,  2, -1, -1, -1,  4, -1, -1, -1,  5, -1,  1,  3, -1,  5}},  // UG
    {{-1, -1, -1,  2, -1, -1, -1,  4, -1, -1, -1,  5,  2,  4,  5, -1}},  // UU
}};
// clang-format on

namespace {

// Rate index of a change between two nucleotides, in the order AC, AG, AU, CG,
// CU, GU: the order in which the pairs i < j are met row by row.
constexpr std::array<std::array<int, 4>, 4> kNucleotidePairRate = {{
    {{-1, 0, 1, 2}},
    {{0, -1, 3, 4}},
    {{1, 3, -1, 5}},
    {{2, 4, 5, -1}},
}};

// The n x n matrix q of a time-reversible model, Q[i][j] = r(i,j) x pi_j,
// scaled to mean rate 1 under pi. rate_index(i, j) gives the index of r(i,j)
// among the six rates, or -1 for a change that the model forbids.
template <std::size_t N, typename RateIndex>
std::array<double, N * N> ReversibleRateMatrix(const double* frequencies, const double* rates,
                                               RateIndex rate_index, const std::string& operation,
                                               const std::string& model) {
  std::array<double, N * N> q{};
  // s = sum_i pi_i x (-Q[i][i]) = sum over pairs of 2 x pi_i x pi_j x r, the
  // mean rate of change at equilibrium, accumulated pair by pair.
  double s = 0.0;
  for (std::size_t i = 0; i < N; ++i) {
    for (std::size_t j = i + 1; j < N; ++j) {
      const int k = rate_index(i, j);
      if (k < 0) continue;
      double& forward = q[i * N + j];
      double& backward = q[j * N + i];
      forward = rates[k] * frequencies[j];
      backward = rates[k] * frequencies[i];
      q[i * N + i] -= forward;
      q[j * N + j] -= backward;
      s += frequencies[i] * forward + frequencies[j] * backward;
    }
  }
  if (!(std::isfinite(s) && s > 0.0)) {
    Fail(operation + " Error: The exchange rates and frequencies of the " + model +
         " model give a mean substitution rate of " + std::to_string(s) +
         "; it must be positive and finite (check the " + model + " rows of the parameter file).");
  }
  // Scaled by the reciprocal so that branch lengths read as expected
  // substitutions per site.
  const double scale = 1.0 / s;
  for (double& entry : q) entry *= scale;
  return q;
}

}  // namespace

std::array<double, 16> LoopRateMatrix(const LoopParams& loop) {
  return ReversibleRateMatrix<4>(
      loop.frequencies.data(), loop.rates.data(),
      [](std::size_t i, std::size_t j) { return kNucleotidePairRate[i][j]; }, "SetQMatrix", "loop");
}

std::array<double, 256> StemRateMatrix(const StemParams& stem) {
  return ReversibleRateMatrix<16>(
      stem.frequencies.data(), stem.rates.data(),
      [](std::size_t i, std::size_t j) { return r_ij[i][j]; }, "SetDoubletQMatrix", "stem");
}

void ShowRateMatrix(const char* heading, std::span<const double> q, int n) {
  std::printf("%s\n", heading);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) std::printf("%lf ", q[static_cast<std::size_t>(i * n + j)]);
    std::printf("\n");
  }
  std::printf("\n");
}
