#include <gtest/gtest.h>

#include "sequence/state_coding.h"
#include "test_support.h"

TEST(StateCoding, ReadsAndPrintsEveryCharacterOfTheTable) {
  const std::string letters = "ACGTURYSWKMBDHVN-?";
  const int codes[] = {0, 1, 2, 3, 3, 20, 31, 21, 30, 32, 10, 321, 320, 310, 210, 3210, 3211, 3212};
  const std::string printed = "ACGUURYSWKMBDHVN-?";
  for (std::size_t i = 0; i < letters.size(); ++i) {
    EXPECT_EQ(NucCharToInt(letters[i]), codes[i]) << letters[i];
    EXPECT_EQ(NucIntToChar(codes[i]), printed[i]) << codes[i];
  }
}

TEST(StateCoding, FallsBackToAnyNucleotide) {
  EXPECT_EQ(NucCharToInt('a'), kAnyNucleotide);  // callers upper-case first
  EXPECT_EQ(NucCharToInt('.'), kAnyNucleotide);
  EXPECT_EQ(NucCharToInt('X'), kAnyNucleotide);
  EXPECT_EQ(NucIntToChar(NucCharToInt('.')), 'N');
  EXPECT_EQ(NucIntToChar(12345), 'N');
  EXPECT_EQ(NucIntToChar(-1), 'N');
}

TEST(StateCoding, DoubletIndexAndMembers) {
  EXPECT_EQ(WhichDoublet(3, 2), 14);
  EXPECT_EQ(WhichDoublet(0, 0), 0);
  EXPECT_EQ(WhichDoublet(0, kGapCode), 15);
  EXPECT_EQ(WhichDoublet(20, 1), 15);
  EXPECT_EQ(WhichDoublet(3, 3), 15);
  for (int d = 0; d < kNumDoublets; ++d) {
    int first = -1, second = -1;
    ASSERT_TRUE(GetDoubletMembers(first, second, d));
    EXPECT_EQ(WhichDoublet(first, second), d);
  }
  int first = 7, second = 8;
  EXPECT_FALSE(GetDoubletMembers(first, second, 16));
  EXPECT_FALSE(GetDoubletMembers(first, second, -1));
  EXPECT_EQ(first, 7);
  EXPECT_EQ(second, 8);
}

TEST(StateCoding, CanonicalPairsAgreeBetweenStatesAndDoublets) {
  for (int a = 0; a < 4; ++a) {
    for (int b = 0; b < 4; ++b) {
      EXPECT_EQ(IsCanonicalDoublet(a, b), IsDoubletChangeCanonicalChange(4 * a + b)) << a << b;
    }
  }
  EXPECT_EQ(IsCanonicalDoublet(2, 3), 1);  // GU
  EXPECT_EQ(IsCanonicalDoublet(0, 2), 0);  // AG
  EXPECT_EQ(IsCanonicalDoublet(kGapCode, kGapCode), 0);
  EXPECT_EQ(IsCanonicalDoublet(0, 20), 0);
  int canonical = 0;
  for (int d = -1; d <= 16; ++d) canonical += IsDoubletChangeCanonicalChange(d);
  EXPECT_EQ(canonical, 6);
}

TEST(StateCoding, NewickCharacterClasses) {
  for (char c : std::string("(),:")) EXPECT_EQ(WhatChar(c), 1);
  EXPECT_EQ(WhatChar(' '), 2);
  EXPECT_EQ(WhatChar(';'), 0);
  EXPECT_EQ(WhatChar('a'), 0);
  for (char c = '0'; c <= '9'; ++c) EXPECT_EQ(CompareChar(c), 1);
  EXPECT_EQ(CompareChar('.'), 0);
  EXPECT_EQ(CompareChar('a'), 0);
}
