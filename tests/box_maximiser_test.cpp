// The fit's search of several parameters together: it follows a ridge of
// correlated parameters to the maximum, never returns a point worse than
// its start, and lets an error of the function through NLopt's C frames.
#include <gtest/gtest.h>

#include <stdexcept>

#include "fit/box_maximiser.h"

TEST(BoxMaximiser, FollowsARidgeAndPassesErrorsOn) {
  // A narrow ridge along x = y, with its top at (1, 1).
  const auto ridge = [](const std::vector<double>& v) {
    const double along = v[0] + v[1] - 2.0, across = v[0] - v[1];
    return -along * along - 100.0 * across * across;
  };
  const BoxSearch search{{-5.0, -5.0}, {5.0, 5.0}, {0.5, 0.5}, 1e-12};
  const BoxResult top = MaximiseInBox(ridge, {-3.0, -2.0}, ridge({-3.0, -2.0}), search);
  EXPECT_NEAR(top.x[0], 1.0, 1e-4);
  EXPECT_NEAR(top.x[1], 1.0, 1e-4);
  EXPECT_DOUBLE_EQ(top.value, ridge(top.x));

  // A start already at the maximum stays there.
  EXPECT_EQ(MaximiseInBox(ridge, {1.0, 1.0}, 0.0, search).x, (std::vector<double>{1.0, 1.0}));

  const auto failing = [](const std::vector<double>&) -> double {
    throw std::runtime_error("rate matrix failed");
  };
  EXPECT_THROW(MaximiseInBox(failing, {0.0, 0.0}, -1.0, search), std::runtime_error);
}
