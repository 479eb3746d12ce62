#include <cstddef>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "model_test_support.h"
#include "model/rate_matrices.h"
#include "test_support.h"

namespace {

// The rate matrices as a run makes them, shown with the diagnostics.
std::array<double, 16> singlet_q_matrix;
std::array<double, 256> doublet_q_matrix;

void SetQMatrix(const ModelParams& p, bool listing = false) {
  singlet_q_matrix = LoopRateMatrix(p.loop);
  if (listing) ShowRateMatrix("\nLoop Q-matrix:", singlet_q_matrix, 4);
}

void SetDoubletQMatrix(const ModelParams& p, bool listing = false) {
  doublet_q_matrix = StemRateMatrix(p.stem);
  if (listing) ShowRateMatrix("\nStem Q-matrix:", doublet_q_matrix, 16);
}

constexpr int kAA = 0, kAC = 1, kAG = 2, kCA = 4, kCC = 5, kGA = 8;

// Rate index of a change between nucleotides a and b, AC AG AU CG CU GU.
int PairRate(int a, int b) {
  if (a > b) std::swap(a, b);
  return a == 0 ? b - 1 : a + b;  // 01->0 02->1 03->2 12->3 13->4 23->5
}

template <std::size_t N2>
void ExpectProperRateMatrix(const std::array<double, N2>& q, const double* pi, int n) {
  double mean_rate = 0.0;
  for (int i = 0; i < n; ++i) {
    double row = 0.0;
    for (int j = 0; j < n; ++j) {
      row += q[i * n + j];
      // Time reversibility: pi_i Q_ij = pi_j Q_ji.
      EXPECT_NEAR(pi[i] * q[i * n + j], pi[j] * q[j * n + i], 1e-15);
      if (i != j) {
        EXPECT_GE(q[i * n + j], 0.0);
      }
    }
    EXPECT_NEAR(row, 0.0, 1e-14) << "row " << i;
    mean_rate -= pi[i] * q[i * n + i];
  }
  EXPECT_NEAR(mean_rate, 1.0, 1e-14);
}

}  // namespace

TEST(RateMatrices, DoubletRateTableFollowsTheSingleChangeRule) {
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 16; ++j) {
      const int first_i = i / 4, second_i = i % 4, first_j = j / 4, second_j = j % 4;
      int expected = -1;
      if (first_i != first_j && second_i == second_j) expected = PairRate(first_i, first_j);
      if (first_i == first_j && second_i != second_j) expected = PairRate(second_i, second_j);
      EXPECT_EQ(r_ij[i][j], expected) << "from " << i << " to " << j;
    }
  }
}

TEST(RateMatrices, RowsSumToZeroAndMeanRateIsOneForRandomParameters) {
  std::mt19937 engine(2024);
  for (int trial = 0; trial < 20; ++trial) {
    const ModelParams p = RandomParameters(engine);
    SetQMatrix(p);
    SetDoubletQMatrix(p);
    ExpectProperRateMatrix(singlet_q_matrix, p.loop.frequencies.data(), 4);
    ExpectProperRateMatrix(doublet_q_matrix, p.stem.frequencies.data(), 16);
  }
  const ModelParams example = ExampleParameters();
  SetQMatrix(example);
  SetDoubletQMatrix(example);
  ExpectProperRateMatrix(singlet_q_matrix, example.loop.frequencies.data(), 4);
  ExpectProperRateMatrix(doublet_q_matrix, example.stem.frequencies.data(), 16);
}

TEST(RateMatrices, EqualRatesAndFrequenciesGiveTheJukesCantorLoopMatrix) {
  ModelParams p = UnitParams();
  for (int i = 0; i < 4; ++i) p.loop.frequencies[i] = 0.25;
  SetQMatrix(p);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      EXPECT_DOUBLE_EQ(singlet_q_matrix[i * 4 + j], i == j ? -1.0 : 1.0 / 3.0);
    }
  }
}

TEST(RateMatrices, StemMatrixChangesOnePositionAtTheRateOfTheChangingPair) {
  // Six distinct stem rates, so that a wrong rate index cannot go unnoticed.
  ModelParams p = ExampleParameters();
  for (int k = 0; k < 6; ++k) p.stem.rates[k] = 1.0 + k;
  SetDoubletQMatrix(p);
  const double* pi = p.stem.frequencies.data();

  EXPECT_EQ(doublet_q_matrix[kAA * 16 + kCC], 0.0);
  EXPECT_EQ(doublet_q_matrix[kAC * 16 + kCA], 0.0);
  // Q[i][j] / (rate x pi_j) is the one scaling factor for every direct change.
  const double scale = doublet_q_matrix[kAA * 16 + kAC] / (1.0 * pi[kAC]);
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 16; ++j) {
      if (i == j) continue;
      const double q = doublet_q_matrix[i * 16 + j];
      if (r_ij[i][j] < 0) {
        EXPECT_EQ(q, 0.0) << "double change " << i << " -> " << j;
      } else {
        EXPECT_NEAR(q, scale * p.stem.rates[r_ij[i][j]] * pi[j], 1e-14);
      }
    }
  }
  // C->G at the first position takes the C<->G rate, as at the second.
  EXPECT_NEAR(doublet_q_matrix[kCA * 16 + kGA] / pi[kGA], 4.0 * scale, 1e-14);
  EXPECT_NEAR(doublet_q_matrix[kAC * 16 + kAG] / pi[kAG], 4.0 * scale, 1e-14);
}

TEST(RateMatrices, ParametersWithoutAMeanRateAreFatalAndNameTheModel) {
  ModelParams p = ExampleParameters();
  for (int i = 0; i < 4; ++i) p.loop.frequencies[i] = 0.0;
  EXPECT_EQ(FatalOutput([&] { SetQMatrix(p); }),
            "\n\nErr: SetQMatrix Error: The exchange rates and frequencies of the loop model give "
            "a mean substitution rate of 0.000000; it must be positive and finite (check the loop "
            "rows of the parameter file).\n");

  p = ExampleParameters();
  p.stem.rates[3] = std::numeric_limits<double>::quiet_NaN();
  const std::string stem = FatalOutput([&] { SetDoubletQMatrix(p); });
  EXPECT_NE(stem.find("SetDoubletQMatrix Error:"), std::string::npos) << stem;
  EXPECT_NE(stem.find("stem model"), std::string::npos) << stem;

  p = ExampleParameters();
  p.stem.frequencies[0] = std::numeric_limits<double>::infinity();
  EXPECT_NE(FatalOutput([&] { SetDoubletQMatrix(p); }).find("stem model"), std::string::npos);
}

TEST(RateMatrices, DebugPrintsEachScaledMatrixOnlyWhenSwitchedOn) {
  ModelParams p = UnitParams();
  for (int i = 0; i < 4; ++i) p.loop.frequencies[i] = 0.25;
  for (int i = 0; i < 16; ++i) p.stem.frequencies[i] = 1.0 / 16;
  EXPECT_EQ(CapturedOutput([&] {
              SetQMatrix(p);
              SetDoubletQMatrix(p);
            }),
            "");
  EXPECT_EQ(CapturedOutput([&] { SetQMatrix(p, true); }),
            "\nLoop Q-matrix:\n"
            "-1.000000 0.333333 0.333333 0.333333 \n"
            "0.333333 -1.000000 0.333333 0.333333 \n"
            "0.333333 0.333333 -1.000000 0.333333 \n"
            "0.333333 0.333333 0.333333 -1.000000 \n"
            "\n");
  // Every doublet has six neighbours at equal rate: 1/6 each, -1 on the diagonal.
  const std::string stem = CapturedOutput([&] { SetDoubletQMatrix(p, true); });
  std::string expected = "\nStem Q-matrix:\n";
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 16; ++j) {
      expected += i == j ? "-1.000000 " : r_ij[i][j] < 0 ? "0.000000 " : "0.166667 ";
    }
    expected += "\n";
  }
  EXPECT_EQ(stem, expected + "\n");
}
