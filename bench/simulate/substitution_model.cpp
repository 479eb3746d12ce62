#include "substitution_model.h"

#include <algorithm>

namespace sim {
namespace {

void Normalise(Eigen::MatrixXd& q, const std::vector<double>& frequencies) {
  for (Eigen::Index i = 0; i < q.rows(); ++i) {
    q(i, i) = 0.0;
    q(i, i) = -q.row(i).sum();
  }
  q /= MeanRate(q, frequencies);
}

bool IsCanonical(int five, int three) {
  // A=0 C=1 G=2 U=3: AU UA GC CG GU UG
  const int pair = 4 * five + three;
  return pair == 3 || pair == 12 || pair == 9 || pair == 6 || pair == 11 || pair == 14;
}

}  // namespace

ModelParameters DefaultParameters() {
  ModelParameters model;
  model.loops.exchange = {1.0, 3.2, 0.9, 1.1, 3.6, 1.0};
  model.loops.frequencies = {0.27, 0.22, 0.26, 0.25};
  model.stems.exchange = {1.0, 4.0, 0.8, 0.9, 4.5, 1.2};
  std::vector<double> pairs(16);
  for (int d = 0; d < 16; ++d) pairs[d] = IsCanonical(d / 4, d % 4) ? 1.0 : 0.02;
  pairs[4 * 2 + 1] = pairs[4 * 1 + 2] = 1.6;  // GC, CG
  pairs[4 * 2 + 3] = pairs[4 * 3 + 2] = 0.5;  // GU, UG
  double sum = 0.0;
  for (double p : pairs) sum += p;
  for (double& p : pairs) p /= sum;
  model.stems.frequencies = pairs;
  return model;
}

double Exchange(const Exchangeabilities& exchange, int a, int b) {
  const int lo = std::min(a, b);
  const int hi = std::max(a, b);
  static constexpr int kSlot[4][4] = {{-1, 0, 1, 2}, {0, -1, 3, 4}, {1, 3, -1, 5}, {2, 4, 5, -1}};
  return exchange[kSlot[lo][hi]];
}

Eigen::MatrixXd NucleotideRateMatrix(const PartitionParameters& loops) {
  Eigen::MatrixXd q = Eigen::MatrixXd::Zero(4, 4);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      if (i != j) q(i, j) = Exchange(loops.exchange, i, j) * loops.frequencies[j];
    }
  }
  Normalise(q, loops.frequencies);
  return q;
}

Eigen::MatrixXd DoubletRateMatrix(const PartitionParameters& stems) {
  Eigen::MatrixXd q = Eigen::MatrixXd::Zero(16, 16);
  for (int from = 0; from < 16; ++from) {
    for (int to = 0; to < 16; ++to) {
      const bool five_changes = from / 4 != to / 4;
      const bool three_changes = from % 4 != to % 4;
      if (five_changes == three_changes) continue;  // none or both: not one step
      const double r = five_changes ? Exchange(stems.exchange, from / 4, to / 4)
                                    : Exchange(stems.exchange, from % 4, to % 4);
      q(from, to) = r * stems.frequencies[to];
    }
  }
  Normalise(q, stems.frequencies);
  return q;
}

double MeanRate(const Eigen::MatrixXd& q, const std::vector<double>& frequencies) {
  double rate = 0.0;
  for (Eigen::Index i = 0; i < q.rows(); ++i) rate -= frequencies[i] * q(i, i);
  return rate;
}

}  // namespace sim
