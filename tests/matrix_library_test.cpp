#include <cmath>
#include <limits>
#include <random>

#include <Eigen/LU>
#include <gtest/gtest.h>

#include "matrix-library/matrix_library.h"

namespace {

// Checks A v = lambda v for every eigenpair in the layout of EigenRealGeneral,
// including that conjugate pairs are adjacent with the positive part first.
void ExpectEigenLayout(const RealMatrix& a, const Eigen::VectorXd& wr, const Eigen::VectorXd& wi,
                       const RealMatrix& u) {
  const Eigen::Index n = a.rows();
  for (Eigen::Index k = 0; k < n; ++k) {
    Eigen::VectorXcd v(n);
    if (wi[k] == 0.0) {
      v = u.col(k).cast<ComplexNumber>();
    } else {
      ASSERT_GT(wi[k], 0.0) << "pair at " << k << " must start with its positive imaginary part";
      ASSERT_LT(k + 1, n);
      EXPECT_EQ(wi[k + 1], -wi[k]);
      EXPECT_EQ(wr[k + 1], wr[k]);
      v.real() = u.col(k);
      v.imag() = u.col(k + 1);
    }
    const ComplexNumber lambda(wr[k], wi[k]);
    EXPECT_GT(v.norm(), 1e-8);
    EXPECT_LT((a.cast<ComplexNumber>() * v - lambda * v).norm(), 1e-10 * (1.0 + a.norm()))
        << "eigenpair " << k;
    if (wi[k] != 0.0) ++k;
  }
}

}  // namespace

TEST(MatrixLibrary, RotationBlockGivesAConjugatePairPositiveFirst) {
  // A rotation-and-stretch block with eigenvalues 1 +/- 2i, a real eigenvalue
  // 3, and a similarity transform that hides the block structure.
  RealMatrix block = RealMatrix::Zero(3, 3);
  block << 1, -2, 0,  //
      2, 1, 0,        //
      0, 0, 3;
  RealMatrix s(3, 3);
  s << 1, 0.5, 0.2,  //
      0.3, 1, -0.4,  //
      0.1, 0.7, 1;
  const RealMatrix a = s * block * s.inverse();

  Eigen::VectorXd wr, wi;
  RealMatrix u;
  ASSERT_EQ(EigenRealGeneral(a, wr, wi, u), kEigensComplex);
  ExpectEigenLayout(a, wr, wi, u);
  int pairs = 0;
  for (Eigen::Index k = 0; k < 3; ++k) {
    if (wi[k] > 0.0) {
      ++pairs;
      EXPECT_NEAR(wr[k], 1.0, 1e-12);
      EXPECT_NEAR(wi[k], 2.0, 1e-12);
    } else if (wi[k] == 0.0) {
      EXPECT_NEAR(wr[k], 3.0, 1e-12);
    }
  }
  EXPECT_EQ(pairs, 1);
}

TEST(MatrixLibrary, LayoutHoldsForRandomGeneralAndSymmetricMatrices) {
  std::mt19937 engine(7);
  std::uniform_real_distribution<double> draw(-1.0, 1.0);
  int complex_seen = 0;
  for (int trial = 0; trial < 50; ++trial) {
    const int n = trial % 2 == 0 ? 4 : 16;
    RealMatrix a = RealMatrix::NullaryExpr(n, n, [&] { return draw(engine); });
    Eigen::VectorXd wr, wi;
    RealMatrix u;
    const int status = EigenRealGeneral(a, wr, wi, u);
    ASSERT_NE(status, kEigenSolverFailed);
    EXPECT_EQ(status == kEigensComplex, (wi.array() != 0.0).any());
    complex_seen += status == kEigensComplex;
    ExpectEigenLayout(a, wr, wi, u);

    const RealMatrix symmetric = a + a.transpose();
    ASSERT_EQ(EigenRealGeneral(symmetric, wr, wi, u), kEigensReal);
    EXPECT_TRUE((wi.array() == 0.0).all());
    ExpectEigenLayout(symmetric, wr, wi, u);
  }
  EXPECT_GT(complex_seen, 0);
}

TEST(MatrixLibrary, SolverReportsNonFiniteInputAsFailure) {
  RealMatrix a = RealMatrix::Identity(4, 4);
  a(1, 2) = std::numeric_limits<double>::quiet_NaN();
  Eigen::VectorXd wr, wi;
  RealMatrix u;
  EXPECT_EQ(EigenRealGeneral(a, wr, wi, u), kEigenSolverFailed);
  a(1, 2) = std::numeric_limits<double>::infinity();
  EXPECT_EQ(EigenRealGeneral(a, wr, wi, u), kEigenSolverFailed);
}

TEST(MatrixLibrary, InvertersNeedPivotingAndReturnTheInverse) {
  // A zero in the first pivot position defeats LU without pivoting.
  RealMatrix a(3, 3);
  a << 0, 2, 1,  //
      1, 0, 3,   //
      4, 1, 0;
  RealMatrix inverse;
  InvertMatrix(a, inverse);
  EXPECT_LT((a * inverse - RealMatrix::Identity(3, 3)).norm(), 1e-14);

  std::mt19937 engine(11);
  std::uniform_real_distribution<double> draw(-1.0, 1.0);
  ComplexMatrix c =
      ComplexMatrix::NullaryExpr(16, 16, [&] { return ComplexNumber(draw(engine), draw(engine)); });
  c(0, 0) = 0.0;
  ComplexMatrix c_inverse;
  ComplexInvertMatrix(c, c_inverse);
  EXPECT_LT((c * c_inverse - ComplexMatrix::Identity(16, 16)).norm(), 1e-12);
}
