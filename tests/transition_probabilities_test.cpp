#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model_test_support.h"
#include "model/rate_matrices.h"
#include "test_support.h"
#include "model/branch_matrices.h"
#include "model/substitution_model.h"
#include "model/transition_probabilities.h"

namespace {

// ((b:0.05,c:0):0.3,a:0.1) rooted at its top node, listed root first.
struct SmallTree {
  std::array<NodeStruct, 5> nodes;
  std::vector<NodeStruct*> up_pass;

  SmallTree() {
    NodeStruct &root = nodes[0], &a = nodes[1], &x = nodes[2], &b = nodes[3], &c = nodes[4];
    root.children = {&a, &x};
    a.anc = x.anc = &root;
    x.children = {&b, &c};
    b.anc = c.anc = &x;
    a.length = 0.1;
    x.length = 0.3;
    b.length = 0.05;
    c.length = 0.0;
    for (int i = 0; i < 5; ++i) {
      nodes[i].index = i;
      nodes[i].scaled_length = i == 0 ? 0.0 : 1.0;
      up_pass.push_back(&nodes[i]);
    }
  }
};

template <std::size_t N2>
void ExpectMatrixNear(const std::array<double, N2>& p, const RealMatrix& expected,
                      double tolerance) {
  const Eigen::Index n = expected.rows();
  for (Eigen::Index i = 0; i < n; ++i) {
    for (Eigen::Index j = 0; j < n; ++j) {
      EXPECT_NEAR(p[static_cast<std::size_t>(i * n + j)], expected(i, j), tolerance)
          << "entry " << i << ", " << j;
    }
  }
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The two rate matrices under test, and their models.
struct Rates {
  std::array<double, 16> singlet_q_matrix{};
  std::array<double, 256> doublet_q_matrix{};
  SubstitutionModel Loops() const { return SubstitutionModel(4, singlet_q_matrix, {}); }
  SubstitutionModel Stems() const { return SubstitutionModel(16, doublet_q_matrix, {}); }
};

Rates ExampleRates() {
  const ModelParams p = ExampleParameters();
  return {LoopRateMatrix(p.loop), StemRateMatrix(p.stem)};
}

// A non-reversible loop matrix with a conjugate pair of eigenvalues, and the
// doublet matrix in which each position evolves under it independently.
Rates CyclicRates() {
  Rates rates;
  auto& singlet_q_matrix = rates.singlet_q_matrix;
  auto& doublet_q_matrix = rates.doublet_q_matrix;
  for (int i = 0; i < 4; ++i) {
    singlet_q_matrix[i * 4 + (i + 1) % 4] = 1.0;
    singlet_q_matrix[i * 4 + (i + 3) % 4] = 0.2;
    singlet_q_matrix[i * 4 + i] = -1.2;
  }
  doublet_q_matrix.fill(0.0);
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 16; ++j) {
      if (i / 4 == j / 4) doublet_q_matrix[i * 16 + j] += singlet_q_matrix[(i % 4) * 4 + j % 4];
      if (i % 4 == j % 4) doublet_q_matrix[i * 16 + j] += singlet_q_matrix[(i / 4) * 4 + j / 4];
    }
  }
  return rates;
}

}  // namespace

TEST(TransitionProbabilities, EveryBranchButTheRootGetsTheExponentialOfItsLength) {
  const Rates rates = ExampleRates();
  SmallTree tree;
  BranchMatrices matrices(5);
  EXPECT_EQ(CapturedOutput([&] {
              SetSingeltonTransitionProbabilities(tree.up_pass, rates.Loops(), matrices);
              SetDoubletTransitionProbabilities(tree.up_pass, rates.Stems(), matrices);
            }),
            "");
  EXPECT_EQ(matrices.Singlet(tree.nodes[0]), (std::array<double, 16>{}));
  EXPECT_EQ(matrices.Doublet(tree.nodes[0]), (std::array<double, 256>{}));
  for (int i = 1; i < 5; ++i) {
    const NodeStruct& node = tree.nodes[i];
    ExpectMatrixNear(matrices.Singlet(node),
                     ReferenceExponential(rates.singlet_q_matrix, node.length), 1e-10);
    ExpectMatrixNear(matrices.Doublet(node),
                     ReferenceExponential(rates.doublet_q_matrix, node.length), 1e-10);
  }
  // The zero-length branch: the identity, up to the rounding of U x U^-1.
  ExpectMatrixNear(matrices.Doublet(tree.nodes[4]), RealMatrix::Identity(16, 16), 1e-13);
}

TEST(TransitionProbabilities, ComplexPathJoinsTheTwoRootBranches) {
  const Rates rates = CyclicRates();
  SmallTree tree;
  BranchMatrices matrices(5);
  EXPECT_EQ(CapturedOutput([&] {
              SetSingeltonTransitionProbabilities(tree.up_pass, rates.Loops(), matrices);
              SetDoubletTransitionProbabilities(tree.up_pass, rates.Stems(), matrices);
            }),
            "Eigens are complex....\nEigens are complex....\n");
  EXPECT_EQ(matrices.Singlet(tree.nodes[0]), (std::array<double, 16>{}));
  // Both children of the root take 0.1 + 0.3; the others their own length.
  const double times[] = {0.0, 0.4, 0.4, 0.05, 0.0};
  for (int i = 1; i < 5; ++i) {
    ExpectMatrixNear(matrices.Singlet(tree.nodes[i]),
                     ReferenceExponential(rates.singlet_q_matrix, times[i]), 1e-12);
    ExpectMatrixNear(matrices.Doublet(tree.nodes[i]),
                     ReferenceExponential(rates.doublet_q_matrix, times[i]), 1e-12);
  }
}

TEST(TransitionProbabilities, HiddenBranchLastsScaledLengthTimesLambda) {
  const Rates rates = ExampleRates();
  const SubstitutionModel loops = rates.Loops();
  const SubstitutionModel stems = rates.Stems();
  NodeStruct node;
  node.length = 5.0;  // not used by the hidden branch
  node.scaled_length = 1.2;
  std::array<double, 16> loop{};
  std::array<double, 256> stem{};
  SetHiddenSingeltonTransitionProbabilities(node, loops, loop, 0.7);
  SetHiddenDoubletTransitionProbabilities(node, stems, stem, 0.7);
  ExpectMatrixNear(loop, ReferenceExponential(rates.singlet_q_matrix, 1.2 * 0.7), 1e-10);
  ExpectMatrixNear(stem, ReferenceExponential(rates.doublet_q_matrix, 1.2 * 0.7), 1e-10);

  SetHiddenSingeltonTransitionProbabilities(node, loops, loop, 0.0);
  SetHiddenDoubletTransitionProbabilities(node, stems, stem, 0.0);
  ExpectMatrixNear(loop, RealMatrix::Identity(4, 4), 1e-13);
  ExpectMatrixNear(stem, RealMatrix::Identity(16, 16), 1e-13);

  // The complex path uses the same time and no root rule.
  const Rates cyclic = CyclicRates();
  EXPECT_EQ(CapturedOutput(
                [&] { SetHiddenDoubletTransitionProbabilities(node, cyclic.Stems(), stem, 0.7); }),
            "Eigens are complex....\n");
  ExpectMatrixNear(stem, ReferenceExponential(cyclic.doublet_q_matrix, 1.2 * 0.7), 1e-12);
}

TEST(TransitionProbabilities, DebugListsEveryBranchMatrixInItsFormat) {
  const Rates rates = ExampleRates();
  const SubstitutionModel loops = rates.Loops();
  const SubstitutionModel stems = rates.Stems();
  SmallTree tree;
  BranchMatrices matrices(5);

  std::string expected = "\nSingleton transition probabilities:\n";
  const std::string singleton = CapturedOutput(
      [&] { SetSingeltonTransitionProbabilities(tree.up_pass, loops, matrices, 1.0, true); });
  for (int n = 1; n < 5; ++n) {
    const NodeStruct& node = tree.nodes[n];
    expected += "\tNode index " + std::to_string(node.index) +
                " (time = " + Format("%lf", node.length) + "):\n";
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) expected += Format("\t\t%lf", matrices.Singlet(node)[i * 4 + j]);
      expected += "\n";
    }
  }
  EXPECT_EQ(singleton, expected);

  expected = "\nDoublet transition probabilities:\n";
  const std::string doublet = CapturedOutput(
      [&] { SetDoubletTransitionProbabilities(tree.up_pass, stems, matrices, 1.0, true); });
  for (int n = 1; n < 5; ++n) {
    const NodeStruct& node = tree.nodes[n];
    expected += "Node " + std::to_string(node.index) + ":\n";
    for (int i = 0; i < 16; ++i) {
      expected += "\t";
      for (int j = 0; j < 16; ++j) expected += Format("%lf  ", matrices.Doublet(node)[i * 16 + j]);
      expected += "\n";
    }
  }
  EXPECT_EQ(doublet, expected);

  std::array<double, 16> loop{};
  std::array<double, 256> stem{};
  const std::string hidden = CapturedOutput([&] {
    SetHiddenSingeltonTransitionProbabilities(tree.nodes[1], loops, loop, 0.0, true);
    SetHiddenDoubletTransitionProbabilities(tree.nodes[1], stems, stem, 0.0, 1.0, true);
  });
  std::string identity_loop, identity_stem;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) identity_loop += i == j ? "\t\t1.000000" : "\t\t0.000000";
    identity_loop += "\n";
  }
  for (int i = 0; i < 16; ++i) {
    identity_stem += "\t";
    for (int j = 0; j < 16; ++j) identity_stem += i == j ? "1.000000  " : "0.000000  ";
    identity_stem += "\n";
  }
  EXPECT_EQ(hidden, "\nHidden singleton transition probabilities:\n" + identity_loop +
                        "\nHidden doublet transition probabilities:\n" + identity_stem);
}

TEST(TransitionProbabilities, ImaginaryResidueIsReportedAndTheMatrixKept) {
  Rates rates = CyclicRates();
  // A badly scaled similarity transform of the cyclic matrix: same eigenvalues,
  // eigenvectors spread over 24 orders of magnitude, so rounding leaves an
  // imaginary residue far above 1e-12.
  const double d[] = {1.0, 1e12, 1e-12, 1.0};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) rates.singlet_q_matrix[i * 4 + j] *= d[i] / d[j];
  }
  NodeStruct node;
  node.scaled_length = 1.2;
  std::array<double, 16> loop{};
  EXPECT_EQ(CapturedOutput(
                [&] { SetHiddenSingeltonTransitionProbabilities(node, rates.Loops(), loop, 0.7); }),
            "Eigens are complex....\n"
            "Problem calculating transition probabilities for complex eigen values.\n");
  // The real parts are stored all the same, inaccurate as they are.
  EXPECT_NE(loop, (std::array<double, 16>{}));
}
