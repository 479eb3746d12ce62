#include "model/eigen_decomposition.h"

#include <cmath>
#include <cstddef>

#include "bailout/bailout.h"

int GetEigens(const RealMatrix& q, EigenSet& eigens) {
  const int status = EigenRealGeneral(q, eigens.lambda_real, eigens.lambda_imag, eigens.u);
  if (status == kEigenSolverFailed) {
    Fail("GetEigens Error: The eigen decomposition of the " + std::to_string(q.rows()) + " x " +
         std::to_string(q.rows()) + " rate matrix failed.");
  }
  if (status == kEigensComplex) {
    // A conjugate pair sits at k, k + 1 with the positive imaginary part first
    // and columns k, k + 1 of U holding the real and imaginary parts of the
    // eigenvector of k; the eigenvector of k + 1 is its conjugate.
    const Eigen::Index n = q.rows();
    eigens.c.resize(n, n);
    for (Eigen::Index i = 0; i < n; ++i) {
      for (Eigen::Index j = 0; j < n; ++j) {
        const double imag = eigens.lambda_imag[i];
        if (imag == 0.0) {
          eigens.c(j, i) = Complex(eigens.u(j, i), 0.0);
        } else if (imag > 0.0) {
          eigens.c(j, i) = Complex(eigens.u(j, i), eigens.u(j, i + 1));
        } else {
          eigens.c(j, i) = Complex(eigens.u(j, i - 1), -eigens.u(j, i));
        }
      }
    }
    ComplexInvertMatrix(eigens.c, eigens.c_inverse);
    return 1;
  }
  InvertMatrix(eigens.u, eigens.u_inverse);
  return 0;
}

std::vector<double> CalcCijk(const RealMatrix& u, const RealMatrix& u_inverse) {
  const Eigen::Index n = u.rows();
  std::vector<double> cijk;
  cijk.reserve(static_cast<std::size_t>(n * n * n));
  for (Eigen::Index i = 0; i < n; ++i) {
    for (Eigen::Index j = 0; j < n; ++j) {
      for (Eigen::Index k = 0; k < n; ++k) cijk.push_back(u(i, k) * u_inverse(k, j));
    }
  }
  return cijk;
}

void CalcPij(std::span<const double> cijk, int n, const Eigen::VectorXd& lambda_real, double t,
             double r, std::span<double> p) {
  const auto size = static_cast<std::size_t>(n);
  // exp((t lambda_k) r) does not depend on i and j: n calls of exp instead of
  // n^3, with the very same values.
  std::vector<double> decay(size);
  for (std::size_t k = 0; k < size; ++k) {
    decay[k] = std::exp((t * lambda_real[static_cast<Eigen::Index>(k)]) * r);
  }
  for (std::size_t i = 0; i < size; ++i) {
    for (std::size_t j = 0; j < size; ++j) {
      const double* coefficients = &cijk[(i * size + j) * size];
      double sum = 0.0;
      for (std::size_t k = 0; k < size; ++k) sum += decay[k] * coefficients[k];
      // Only rounding makes a probability negative here.
      p[i * size + j] = sum < 0.0 ? 0.0 : sum;
    }
  }
}

int ComplexChangeMatrix(const Eigen::VectorXd& lambda_real, const Eigen::VectorXd& lambda_imag,
                        const ComplexMatrix& c, const ComplexMatrix& c_inverse, std::span<double> p,
                        double t, double r) {
  const Eigen::Index n = c.rows();
  std::vector<ComplexNumber> decay(static_cast<std::size_t>(n));
  for (Eigen::Index k = 0; k < n; ++k) {
    decay[static_cast<std::size_t>(k)] =
        Cexp(RCmul(t * r, Complex(lambda_real[k], lambda_imag[k])));
  }
  int flag = 0;
  for (Eigen::Index i = 0; i < n; ++i) {
    for (Eigen::Index j = 0; j < n; ++j) {
      ComplexNumber sum = Complex(0.0, 0.0);
      for (Eigen::Index k = 0; k < n; ++k) {
        sum = Cadd(sum, Cmul(c(i, k), Cmul(c_inverse(k, j), decay[static_cast<std::size_t>(k)])));
      }
      p[static_cast<std::size_t>(i * n + j)] = sum.real();
      if (std::fabs(sum.imag()) > 1e-12) flag = 1;
    }
  }
  return flag;
}
