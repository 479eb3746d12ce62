#include <gtest/gtest.h>

#include "base/random_source.h"

TEST(RandomSource, MinimalStandardSequenceFromSeedOne) {
  std::int32_t seed = 1;
  EXPECT_EQ(DrawUniform(&seed), 16807 / 2147483647.0);
  EXPECT_EQ(seed, 16807);
  DrawUniform(&seed);
  EXPECT_EQ(seed, 282475249);
  DrawUniform(&seed);
  EXPECT_EQ(seed, 1622650073);
  // The published check value of the minimal standard generator.
  seed = 1;
  for (int i = 0; i < 10000; ++i) seed = NextRandomState(seed);
  EXPECT_EQ(seed, 1043618065);
}

TEST(RandomSource, SeedZeroFallsIntoTheFixedPoint) {
  std::int32_t seed = 0;
  EXPECT_EQ(DrawUniform(&seed), 1.0);
  EXPECT_EQ(seed, kRandomModulus);
  EXPECT_EQ(DrawUniform(&seed), 1.0);
  EXPECT_EQ(seed, kRandomModulus);
  EXPECT_EQ(JumpRandomState(0, 5), kRandomModulus);
  EXPECT_EQ(JumpRandomState(kRandomModulus, 5), kRandomModulus);
}

TEST(RandomSource, JumpAheadMatchesStepping) {
  for (const std::int32_t start : {1, 2, 42, 123456789, 2147483646}) {
    std::int32_t state = start;
    for (std::uint64_t k = 0; k < 2000; ++k) {
      ASSERT_EQ(JumpRandomState(start, k), state) << start << " after " << k;
      state = NextRandomState(state);
    }
  }
  // The period is 2^31 - 2.
  EXPECT_EQ(JumpRandomState(12345, 2147483646ULL), 12345);
}

TEST(RandomSource, ClockSeedIsAValidState) {
  const std::int32_t seed = GetSeedFromClock();
  EXPECT_GT(seed, 0);
}
