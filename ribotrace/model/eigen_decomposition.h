// Transition probabilities P(t) = exp(Q t) by spectral decomposition,
// Q = U diag(lambda) U^-1: one decomposition per rate matrix, then a cheap sum
// for every time. Works for any size n; the models use 4 and 16.
#pragma once

#include <span>
#include <vector>

#include "matrix-library/matrix_library.h"

// The eigen set of one rate matrix. U and U^-1 are valid when GetEigens
// returned 0, the complex eigenvectors C and C^-1 when it returned 1.
struct EigenSet {
  Eigen::VectorXd lambda_real;
  Eigen::VectorXd lambda_imag;
  RealMatrix u;
  RealMatrix u_inverse;
  ComplexMatrix c;
  ComplexMatrix c_inverse;
};

// Decomposes the square matrix q. Returns 0 when the eigenvalues are real (U
// and U^-1 filled) and 1 when some are complex (C and C^-1 filled, U holding
// the solver's real form). Throws FatalError when the solver fails.
int GetEigens(const RealMatrix& q, EigenSet& eigens);

// The n^3 coefficients U[i][k] x U^-1[k][j], entry (i, j, k) at (i n + j) n + k.
std::vector<double> CalcCijk(const RealMatrix& u, const RealMatrix& u_inverse);

// Writes P(t x r) row-major into p (n x n) from the real eigenvalues and their
// coefficients. Entries that rounding makes negative are set to 0; rows are
// not renormalised.
void CalcPij(std::span<const double> cijk, int n, const Eigen::VectorXd& lambda_real, double t,
             double r, std::span<double> p);

// Writes the real part of C diag(exp(lambda t r)) C^-1 row-major into p (n x n).
// Returns 1 when some entry has an imaginary part larger than 1e-12 in
// magnitude, else 0. Negative real parts are kept.
int ComplexChangeMatrix(const Eigen::VectorXd& lambda_real, const Eigen::VectorXd& lambda_imag,
                        const ComplexMatrix& c, const ComplexMatrix& c_inverse, std::span<double> p,
                        double t, double r);
