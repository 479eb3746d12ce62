// The substitution model that ribotrace reads from MrBayes: stems under the
// 16-state doublet model, loops under GTR, each with optional discrete gamma
// rates and a partition rate multiplier.
#pragma once

#include <array>
#include <vector>

#include <Eigen/Dense>

namespace sim {

// Exchangeabilities in MrBayes's order: AC, AG, AU, CG, CU, GU.
using Exchangeabilities = std::array<double, 6>;

struct PartitionParameters {
  Exchangeabilities exchange{};
  std::vector<double> frequencies;  // 16 doublets (5' nucleotide major) or 4 nucleotides, A C G U
  double alpha = 0.0;               // gamma shape; 0: equal rates
  double multiplier = 1.0;          // the partition's rate multiplier (m{1}, m{2})
};

struct ModelParameters {
  PartitionParameters stems;  // partition 1
  PartitionParameters loops;  // partition 2
  int gamma_categories = 4;
  bool has_multipliers = false;  // whether the parameter file named them (m{1}, m{2})
};

// Rates that favour the canonical pairs as real stems do.
ModelParameters DefaultParameters();

// The exchangeability of nucleotides a != b (0..3).
double Exchange(const Exchangeabilities& exchange, int a, int b);

// GTR: q_ij = r_ij pi_j, scaled to mean rate 1 under pi.
Eigen::MatrixXd NucleotideRateMatrix(const PartitionParameters& loops);

// The doublet model (Schoniger and von Haeseler 1994 as MrBayes has it):
// only one position changes at a time, q = r(changing pair) pi(target),
// scaled to mean rate 1 under the doublet frequencies.
Eigen::MatrixXd DoubletRateMatrix(const PartitionParameters& stems);

// -sum_i pi_i q_ii: the mean rate of a rate matrix under `frequencies`.
double MeanRate(const Eigen::MatrixXd& q, const std::vector<double>& frequencies);

}  // namespace sim
