#include "model/substitution_model.h"

#include <cstdio>

#include "model/rate_matrices.h"

SubstitutionModel SubstitutionModel::ForLoops(const LoopParams& loop) {
  return SubstitutionModel(4, LoopRateMatrix(loop), loop.frequencies);
}

SubstitutionModel SubstitutionModel::ForStems(const StemParams& stem) {
  return SubstitutionModel(16, StemRateMatrix(stem), stem.frequencies);
}

SubstitutionModel::SubstitutionModel(int n, std::span<const double> q,
                                     std::span<const double> frequencies)
    : n_(n), q_(q.begin(), q.end()), frequencies_(frequencies.begin(), frequencies.end()) {
  const RealMatrix scratch =
      Eigen::Map<const Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>(
          q_.data(), n, n);
  complex_ = GetEigens(scratch, eigens_) == 1;
  if (complex_) {
    std::printf("Eigens are complex....\n");
  } else {
    cijk_ = CalcCijk(eigens_.u, eigens_.u_inverse);
  }
}

void SubstitutionModel::TransitionProbabilities(double t, double r, std::span<double> p) const {
  if (!complex_) {
    CalcPij(cijk_, n_, eigens_.lambda_real, t, r, p);
    return;
  }
  if (ComplexChangeMatrix(eigens_.lambda_real, eigens_.lambda_imag, eigens_.c, eigens_.c_inverse, p,
                          t, r) == 1) {
    std::printf("Problem calculating transition probabilities for complex eigen values.\n");
  }
}
