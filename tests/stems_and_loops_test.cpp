#include <gtest/gtest.h>

#include "sequence/state_coding.h"
#include "sequence/stems_and_loops.h"
#include "test_support.h"

namespace {

// An alignment from sequence strings, coded as the reader codes them.
Alignment MakeAlignment(const std::vector<int>& structure, const std::vector<std::string>& rows) {
  Alignment alignment;
  alignment.n_taxa = static_cast<int>(rows.size());
  alignment.n_sites = static_cast<int>(structure.size());
  alignment.structure = structure;
  for (const std::string& row : rows) {
    for (const char c : row) alignment.dmatrix.push_back(NucCharToInt(c));
  }
  return alignment;
}

struct Derived {
  StemsAndLoops counts;
  std::vector<SiteRecord> SS;
};

Derived Derive(const Alignment& alignment, int condition_on_pairs) {
  Derived derived;
  derived.SS.resize(alignment.n_sites);
  derived.counts = InitializeStemsAndLoops(alignment, condition_on_pairs, derived.SS);
  return derived;
}

}  // namespace

TEST(StemsAndLoops, PairsNestedStemsAndCountsBlocks) {
  const Derived d = Derive(MakeAlignment({1, 1, 0, 0, -1, -1}, {"GCAAGC"}), 0);
  EXPECT_EQ(d.counts.n_doublets, 2);
  EXPECT_EQ(d.counts.n_singletons, 2);
  EXPECT_TRUE(d.counts.isStructure);
  EXPECT_EQ(d.SS[0].partner, 5);
  EXPECT_EQ(d.SS[5].partner, 0);
  EXPECT_EQ(d.SS[1].partner, 4);
  EXPECT_EQ(d.SS[2].partner, -1);
  EXPECT_EQ(d.SS[4].paired, 1);
  EXPECT_EQ(d.SS[3].paired, 0);
}

TEST(StemsAndLoops, UnpairedStructureHasNoStems) {
  const Derived d = Derive(MakeAlignment({0, 0, 0}, {"ACG", "A-G"}), 1);
  EXPECT_EQ(d.counts.n_doublets, 0);
  EXPECT_EQ(d.counts.n_singletons, 3);
  EXPECT_FALSE(d.counts.isStructure);
  for (const SiteRecord& r : d.SS) EXPECT_EQ(r.partner, -1);
  EXPECT_DOUBLE_EQ(d.SS[1].freq_gaps, 0.5);
}

TEST(StemsAndLoops, CanonicalFrequencyFollowsTheOption) {
  // Taxa: GU (canonical), AG (not), UA (canonical), A- (gap at the closing side).
  const Alignment alignment = MakeAlignment({1, -1}, {"GU", "AG", "UA", "A-"});
  const Derived on = Derive(alignment, 1);
  EXPECT_DOUBLE_EQ(on.SS[0].freq_canonical, 0.5);
  EXPECT_DOUBLE_EQ(on.SS[1].freq_canonical, 0.5);
  const Derived off = Derive(alignment, 2);
  EXPECT_DOUBLE_EQ(off.SS[0].freq_canonical, 0.0);
  EXPECT_DOUBLE_EQ(off.SS[1].freq_canonical, 0.0);
  const Derived all_gu = Derive(MakeAlignment({1, -1}, {"GU", "GU"}), 1);
  EXPECT_DOUBLE_EQ(all_gu.SS[0].freq_canonical, 1.0);
}

TEST(StemsAndLoops, BothSidesOfAStemGetTheirGapFraction) {
  // Gaps: 2 of 4 at the opening column, 1 of 4 at the closing column.
  const Alignment alignment = MakeAlignment({1, 0, -1}, {"-AU", "-AU", "GA-", "GAC"});
  for (const int condition : {0, 1}) {
    const Derived d = Derive(alignment, condition);
    EXPECT_DOUBLE_EQ(d.SS[0].freq_gaps, 0.5) << condition;
    EXPECT_DOUBLE_EQ(d.SS[1].freq_gaps, 0.0) << condition;
    EXPECT_DOUBLE_EQ(d.SS[2].freq_gaps, 0.25) << condition;
  }
}

TEST(StemsAndLoops, SiteTableWhenDiagnosticsAreOn) {
  const Alignment alignment = MakeAlignment({1, 0, -1}, {"G-C", "GAU"});
  std::vector<SiteRecord> SS(3);
  const std::string table =
      CapturedOutput([&] { InitializeStemsAndLoops(alignment, 1, SS, true); });
  EXPECT_EQ(table,
            "\n\nC-structure representation of secondary structure:\n"
            "\tsite\tpaired\tpartner\tfreq-canonical\tfreq-gaps\n"
            "\t0\t1\t2\t1.000\t0.000\n"
            "\t1\t0\t*\t*\t0.500\n"
            "\t2\t1\t0\t1.000\t0.000\n");
}
