#include <array>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "model/eigen_decomposition.h"
#include "model_test_support.h"
#include "model/rate_matrices.h"
#include "test_support.h"

namespace {

// Decomposes a rate matrix that must have real eigenvalues and returns the
// pieces of the real path.
struct RealPath {
  EigenSet eigens;
  std::vector<double> cijk;
  int n = 0;

  template <std::size_t N2>
  explicit RealPath(const std::array<double, N2>& q) {
    n = N2 == 16 ? 4 : 16;
    const RealMatrix a =
        Eigen::Map<const Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>(
            q.data(), n, n);
    EXPECT_EQ(GetEigens(a, eigens), 0);
    cijk = CalcCijk(eigens.u, eigens.u_inverse);
  }

  std::vector<double> P(double t, double r = 1.0) const {
    std::vector<double> p(static_cast<std::size_t>(n * n));
    CalcPij(cijk, n, eigens.lambda_real, t, r, p);
    return p;
  }
};

// Both models on the example's estimates.
std::vector<RealPath> ExampleModels() {
  const ModelParams p = ExampleParameters();
  std::vector<RealPath> models;
  models.emplace_back(LoopRateMatrix(p.loop));
  models.emplace_back(StemRateMatrix(p.stem));
  return models;
}

// A non-reversible 4-state rate matrix, A->C->G->U->A faster than the reverse
// cycle, whose eigenvalues form a conjugate pair.
RealMatrix CyclicRateMatrix() {
  RealMatrix q = RealMatrix::Zero(4, 4);
  for (int i = 0; i < 4; ++i) {
    q(i, (i + 1) % 4) = 1.0;
    q(i, (i + 3) % 4) = 0.2;
    q(i, i) = -1.2;
  }
  return q;
}

}  // namespace

TEST(MatrixExponential, ZeroTimeGivesTheIdentity) {
  for (const RealPath& model : ExampleModels()) {
    const std::vector<double> p = model.P(0.0);
    for (int i = 0; i < model.n; ++i) {
      for (int j = 0; j < model.n; ++j) {
        EXPECT_NEAR(p[i * model.n + j], i == j ? 1.0 : 0.0, 1e-13);
      }
    }
  }
}

TEST(MatrixExponential, RowsAreDistributionsFromTinyToLongTimes) {
  for (const RealPath& model : ExampleModels()) {
    for (double t = 1e-6; t <= 100.0; t *= 3.0) {
      const std::vector<double> p = model.P(t);
      for (int i = 0; i < model.n; ++i) {
        double row = 0.0;
        for (int j = 0; j < model.n; ++j) {
          ASSERT_GE(p[i * model.n + j], 0.0);
          row += p[i * model.n + j];
        }
        EXPECT_NEAR(row, 1.0, 1e-12) << "t = " << t << ", row " << i;
      }
    }
  }
}

TEST(MatrixExponential, LongTimesReachTheStationaryFrequencies) {
  const ModelParams parameters = ExampleParameters();
  const std::vector<RealPath> models = ExampleModels();
  const double* frequencies[] = {parameters.loop.frequencies.data(),
                                 parameters.stem.frequencies.data()};
  for (int m = 0; m < 2; ++m) {
    const std::vector<double> p = models[m].P(200.0);
    const int n = models[m].n;
    // The printed means sum to 1 only to about 1e-8; the stationary
    // distribution is the frequencies rescaled to sum 1.
    double total = 0.0;
    for (int j = 0; j < n; ++j) total += frequencies[m][j];
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) EXPECT_NEAR(p[i * n + j], frequencies[m][j] / total, 1e-12);
    }
  }
}

TEST(MatrixExponential, AgreesWithAnIndependentMatrixExponential) {
  const std::vector<RealPath> models = ExampleModels();
  for (const double t : {1e-4, 0.01, 0.1, 0.37, 1.0, 2.5, 10.0}) {
    // r scales the time exactly as the hidden branches use it.
    for (const double r : {1.0, 0.5}) {
      const RealMatrix loop = ReferenceExponential(LoopRateMatrix(ExampleParameters().loop), t * r);
      const RealMatrix stem = ReferenceExponential(StemRateMatrix(ExampleParameters().stem), t * r);
      const std::vector<double> p_loop = models[0].P(t, r);
      const std::vector<double> p_stem = models[1].P(t, r);
      for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(p_loop[i * 4 + j], loop(i, j), 1e-10);
      }
      for (int i = 0; i < 16; ++i) {
        for (int j = 0; j < 16; ++j) EXPECT_NEAR(p_stem[i * 16 + j], stem(i, j), 1e-10);
      }
    }
  }
}

TEST(MatrixExponential, RoundingBelowZeroIsClampedButNothingIsRenormalised) {
  // Two states; coefficients chosen so that one entry comes out at -1e-17 and
  // the row sums to more than 1.
  const std::vector<double> cijk = {0.6, 0.5, 0.0, -1e-17, 0.5, 0.0, 0.5, 0.0};
  const Eigen::VectorXd lambda = Eigen::VectorXd::Zero(2);
  std::vector<double> p(4);
  CalcPij(cijk, 2, lambda, 1.0, 1.0, p);
  EXPECT_EQ(p[1], 0.0);
  EXPECT_EQ(p[0], 1.1);
  EXPECT_EQ(p[2], 0.5);
}

TEST(MatrixExponential, ComplexPathMatchesTheRealPathOnAReversibleMatrix) {
  for (const RealPath& model : ExampleModels()) {
    // Force the complex sum: real eigenvectors as complex ones, zero imaginary parts.
    const ComplexMatrix c = model.eigens.u.cast<ComplexNumber>();
    ComplexMatrix c_inverse;
    ComplexInvertMatrix(c, c_inverse);
    const Eigen::VectorXd zero = Eigen::VectorXd::Zero(model.n);
    std::vector<double> p(static_cast<std::size_t>(model.n * model.n));
    for (const double t : {0.0, 0.05, 0.8, 7.0}) {
      EXPECT_EQ(ComplexChangeMatrix(model.eigens.lambda_real, zero, c, c_inverse, p, t, 1.0), 0);
      const std::vector<double> real = model.P(t);
      for (std::size_t i = 0; i < p.size(); ++i) EXPECT_NEAR(p[i], real[i], 1e-12);
    }
  }
}

TEST(MatrixExponential, ComplexEigenvaluesGiveTheExponentialOfANonReversibleMatrix) {
  const RealMatrix q = CyclicRateMatrix();
  EigenSet eigens;
  ASSERT_EQ(GetEigens(q, eigens), 1);
  // C diag(lambda) C^-1 rebuilds Q.
  Eigen::VectorXcd lambda(4);
  for (int k = 0; k < 4; ++k)
    lambda[k] = ComplexNumber(eigens.lambda_real[k], eigens.lambda_imag[k]);
  EXPECT_LT((eigens.c * lambda.asDiagonal() * eigens.c_inverse - q.cast<ComplexNumber>()).norm(),
            1e-12);

  std::vector<double> p(16);
  for (const double t : {0.0, 0.3, 1.7}) {
    for (const double r : {1.0, 2.0}) {
      EXPECT_EQ(ComplexChangeMatrix(eigens.lambda_real, eigens.lambda_imag, eigens.c,
                                    eigens.c_inverse, p, t, r),
                0);
      const RealMatrix expected = (q * (t * r)).exp();
      for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(p[i * 4 + j], expected(i, j), 1e-12);
      }
    }
  }
}

TEST(MatrixExponential, ImaginaryResidueFlagStartsAbove1e12) {
  // One state with C = 1, C^-1 = i x residue and a zero eigenvalue: the sum at
  // t = 0 is exactly i x residue.
  const Eigen::VectorXd zero = Eigen::VectorXd::Zero(1);
  const ComplexMatrix c = ComplexMatrix::Constant(1, 1, ComplexNumber(1.0, 0.0));
  std::vector<double> p(1);
  auto flag = [&](double residue) {
    const ComplexMatrix c_inverse = ComplexMatrix::Constant(1, 1, ComplexNumber(0.5, residue));
    return ComplexChangeMatrix(zero, zero, c, c_inverse, p, 0.0, 1.0);
  };
  EXPECT_EQ(flag(1e-12), 0);
  EXPECT_EQ(flag(-1e-12), 0);
  EXPECT_EQ(flag(std::nextafter(1e-12, 1.0)), 1);
  EXPECT_EQ(flag(-std::nextafter(1e-12, 1.0)), 1);
  EXPECT_EQ(p[0], 0.5);  // filled even when flagged
}

TEST(MatrixExponential, SolverFailureIsFatal) {
  RealMatrix q = CyclicRateMatrix();
  q(2, 1) = std::nan("");
  EigenSet eigens;
  EXPECT_EQ(FatalOutput([&] { GetEigens(q, eigens); }),
            "\n\nErr: GetEigens Error: The eigen decomposition of the 4 x 4 rate matrix failed.\n");
}
