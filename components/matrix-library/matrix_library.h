// Square real and complex matrices, complex arithmetic, a general real eigen
// solver and two inverters: the numerical layer under the substitution
// models, kept thin over Eigen 3.
//
// Matrices are Eigen's dynamic types, so allocation, copying and release are
// construction, assignment and destruction.
#pragma once

#include <complex>

#include <Eigen/Core>

using RealMatrix = Eigen::MatrixXd;
using ComplexMatrix = Eigen::MatrixXcd;
// Real part first, imaginary part second; passed and returned by value.
using ComplexNumber = std::complex<double>;

ComplexNumber Complex(double real, double imaginary);
// a + b, a x b and e^a, each written out on the two parts so that the
// rounding is that of the textbook formula whatever the standard library does.
ComplexNumber Cadd(ComplexNumber a, ComplexNumber b);
ComplexNumber Cmul(ComplexNumber a, ComplexNumber b);
ComplexNumber Cexp(ComplexNumber a);
// x x a for a real x.
ComplexNumber RCmul(double x, ComplexNumber a);

// Result codes of EigenRealGeneral.
constexpr int kEigensReal = 0;
constexpr int kEigenSolverFailed = 1;
constexpr int kEigensComplex = 2;

// Eigenvalues and eigenvectors of the square matrix `a`. Eigenvalue k goes to
// position k of `real_parts` and `imaginary_parts`, its eigenvector to column k
// of `vectors`. A conjugate pair stands at positions k and k + 1 with the
// positive imaginary part first; columns k and k + 1 then hold the real and the
// imaginary part of the eigenvector of eigenvalue k (the eigenvector of k + 1 is
// its conjugate). Returns kEigensReal, kEigensComplex when some eigenvalue has a
// non-zero imaginary part, or kEigenSolverFailed when the iteration did not
// converge (the outputs are then meaningless).
int EigenRealGeneral(const RealMatrix& a, Eigen::VectorXd& real_parts,
                     Eigen::VectorXd& imaginary_parts, RealMatrix& vectors);

// The inverse of `a` by LU decomposition with partial pivoting. A singular
// matrix gives entries of infinity or not-a-number.
void InvertMatrix(const RealMatrix& a, RealMatrix& inverse);
void ComplexInvertMatrix(const ComplexMatrix& a, ComplexMatrix& inverse);
