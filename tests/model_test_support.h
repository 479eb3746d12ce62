// Parameter records and a reference exponential shared by the tests of the
// substitution models.
#pragma once

#include <array>
#include <random>

#include <unsupported/Eigen/MatrixFunctions>

#include "matrix-library/matrix_library.h"
#include "model/model_params.h"

// The posterior means that MrBayes 3.2.7 estimated for examples/plant_srp10.nex
// (examples/plant_srp10.nex.pstat): partition 1 the stems, partition 2 the loops.
inline ModelParams ExampleParameters() {
  ModelParams p;
  // AC AG AU CG CU GU
  p.stem.rates = {1.248687e-01, 1.993922e-01, 7.228217e-02,
                  1.454127e-01, 2.477103e-01, 2.103339e-01};
  p.loop.rates = {1.796202e-01, 1.116773e-01, 1.487103e-01,
                  9.750984e-02, 2.427165e-01, 2.197657e-01};
  // AA ... UU
  p.stem.frequencies = {8.778896e-02, 3.779622e-02, 4.406931e-02, 6.174540e-02,
                        6.279173e-02, 6.678210e-02, 8.573120e-02, 4.507128e-02,
                        3.844536e-02, 8.163275e-02, 5.222238e-02, 9.098943e-02,
                        4.749047e-02, 6.502311e-02, 6.280068e-02, 6.961965e-02};
  p.loop.frequencies = {2.320096e-01, 2.590748e-01, 2.518232e-01, 2.570924e-01};
  return p;
}

// Random positive rates and frequencies that sum to 1 within each group.
inline ModelParams RandomParameters(std::mt19937& engine) {
  std::uniform_real_distribution<double> draw(0.01, 1.0);
  ModelParams p;
  for (const ParamField field : AllFields()) At(p, field) = draw(engine);
  auto normalise = [](auto& frequencies) {
    double sum = 0.0;
    for (const double f : frequencies) sum += f;
    for (double& f : frequencies) f /= sum;
  };
  normalise(p.stem.frequencies);
  normalise(p.loop.frequencies);
  return p;
}

// exp(Q t) by Eigen's own matrix exponential (Pade with scaling and squaring),
// independent of the spectral decomposition under test.
template <std::size_t N2>
RealMatrix ReferenceExponential(const std::array<double, N2>& q, double t) {
  const auto n = static_cast<Eigen::Index>(N2 == 16 ? 4 : 16);
  const RealMatrix rates =
      Eigen::Map<const Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>(
          q.data(), n, n);
  return (rates * t).exp();
}
