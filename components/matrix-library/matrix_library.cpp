#include "matrix-library/matrix_library.h"

#include <cmath>

#include <Eigen/Eigenvalues>
#include <Eigen/LU>

ComplexNumber Complex(double real, double imaginary) { return {real, imaginary}; }

ComplexNumber Cadd(ComplexNumber a, ComplexNumber b) {
  return {a.real() + b.real(), a.imag() + b.imag()};
}

ComplexNumber Cmul(ComplexNumber a, ComplexNumber b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.imag() * b.real() + a.real() * b.imag()};
}

ComplexNumber Cexp(ComplexNumber a) {
  const double modulus = std::exp(a.real());
  return {modulus * std::cos(a.imag()), modulus * std::sin(a.imag())};
}

ComplexNumber RCmul(double x, ComplexNumber a) { return {x * a.real(), x * a.imag()}; }

int EigenRealGeneral(const RealMatrix& a, Eigen::VectorXd& real_parts,
                     Eigen::VectorXd& imaginary_parts, RealMatrix& vectors) {
  const Eigen::Index n = a.rows();
  real_parts.setZero(n);
  imaginary_parts.setZero(n);
  vectors.setZero(n, n);
  if (!a.allFinite()) return kEigenSolverFailed;

  const Eigen::EigenSolver<RealMatrix> solver(a, /*computeEigenvectors=*/true);
  if (solver.info() != Eigen::Success) return kEigenSolverFailed;

  // Eigen's pseudo-eigenvectors satisfy A V = V D, where a conjugate pair
  // u +/- iv at k, k + 1 is the block [u v; -v u] of D with v the imaginary
  // part of eigenvalue k. Columns x, y of V then give A (x + iy) = (u + iv)(x + iy).
  // Eigen puts the positive imaginary part first today, but the layout the
  // callers rely on is enforced here rather than assumed: for v < 0 the
  // conjugate u - iv comes first, with eigenvector x - iy.
  const Eigen::VectorXcd& values = solver.eigenvalues();
  const RealMatrix& pseudo = solver.pseudoEigenvectors();
  int result = kEigensReal;
  for (Eigen::Index k = 0; k < n; ++k) {
    const double v = values[k].imag();
    real_parts[k] = values[k].real();
    vectors.col(k) = pseudo.col(k);
    if (v == 0.0) continue;
    if (k + 1 == n) return kEigenSolverFailed;  // a pair must fill two positions
    result = kEigensComplex;
    const double sign = v > 0.0 ? 1.0 : -1.0;
    imaginary_parts[k] = sign * v;
    real_parts[k + 1] = values[k].real();
    imaginary_parts[k + 1] = -sign * v;
    vectors.col(k + 1) = sign * pseudo.col(k + 1);
    ++k;
  }
  return result;
}

void InvertMatrix(const RealMatrix& a, RealMatrix& inverse) {
  inverse = Eigen::PartialPivLU<RealMatrix>(a).inverse();
}

void ComplexInvertMatrix(const ComplexMatrix& a, ComplexMatrix& inverse) {
  inverse = Eigen::PartialPivLU<ComplexMatrix>(a).inverse();
}
