// The report's parts below the page: the structure layout's geometry, the
// helices and their canonical-pair counts, and the page's data escaping.
// The page itself is tested in a real browser (report/report_test.py).
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "drawing/structure_layout.h"
#include "io/report_writer.h"
#include "sequence/helices.h"
#include "sequence/state_coding.h"
#include "test_support.h"

namespace {

std::vector<int> Partners(const std::string& brackets) {
  std::vector<int> partners(brackets.size(), -1);
  std::vector<int> open;
  for (int c = 0; c < static_cast<int>(brackets.size()); ++c) {
    if (brackets[c] == '(') open.push_back(c);
    if (brackets[c] == ')') {
      partners[c] = open.back();
      partners[open.back()] = c;
      open.pop_back();
    }
  }
  return partners;
}

double Distance(const LayoutPoint& a, const LayoutPoint& b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

// Every backbone step is one unit and every pair kPairWidth; with
// `min_separation`, no two bases come closer than that.
void ExpectLayout(const std::vector<int>& partners, double min_separation) {
  const std::vector<LayoutPoint> points = LayOutStructure(partners);
  ASSERT_EQ(points.size(), partners.size());
  for (std::size_t c = 0; c < points.size(); ++c) {
    ASSERT_TRUE(std::isfinite(points[c].x) && std::isfinite(points[c].y)) << c;
    if (c + 1 < points.size()) {
      const double step = partners[c] == static_cast<int>(c + 1) ? kPairWidth : 1.0;
      EXPECT_NEAR(Distance(points[c], points[c + 1]), step, 1e-6)
          << "columns " << c << "-" << c + 1;
    }
    if (partners[c] > static_cast<int>(c)) {
      EXPECT_NEAR(Distance(points[c], points[partners[c]]), kPairWidth, 1e-6) << "pair at " << c;
    }
    for (std::size_t d = c + 2; min_separation > 0.0 && d < points.size(); ++d) {
      EXPECT_GT(Distance(points[c], points[d]), min_separation) << "columns " << c << " and " << d;
    }
  }
}

TEST(StructureLayout, LaddersAndCirclesKeepTheirDistances) {
  for (const std::string brackets :
       {"((((....))))", "..((((...))))..((...)).", "((..((...))..((...))..((...))..))",
        "((.((...))))", "(((...).))", "((()))", "()", "......", "(.)(.)"}) {
    SCOPED_TRACE(brackets);
    ExpectLayout(Partners(brackets), 0.6);
  }
  // A real structure: 367 columns, 123 pairs, deep multibranch loops.
  const Alignment example = ReadAlignment(std::string(EXAMPLES_DIR) + "/plant_srp10.txt");
  std::string brackets;
  for (const int s : example.structure) brackets += s == 1 ? '(' : s == -1 ? ')' : '.';
  ExpectLayout(Partners(brackets), 0.0);
}

TEST(StructureLayout, StemsStandStraightAndLeaveTheirLoopOutwards) {
  const std::vector<int> partners = Partners("..((((....))))((...))..");
  const std::vector<LayoutPoint> p = LayOutStructure(partners);
  // The first helix's pairs form parallel rungs of a ladder.
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(Distance(p[2 + k], p[3 + k]), 1.0, 1e-9);
    EXPECT_NEAR(Distance(p[13 - k], p[12 - k]), 1.0, 1e-9);
    const double dx5 = p[3 + k].x - p[2 + k].x, dy5 = p[3 + k].y - p[2 + k].y;
    const double dx3 = p[12 - k].x - p[13 - k].x, dy3 = p[12 - k].y - p[13 - k].y;
    EXPECT_NEAR(dx5, dx3, 1e-9);
    EXPECT_NEAR(dy5, dy3, 1e-9);
  }
  // Both hairpins point away from the exterior loop, which holds the ends
  // at the bottom: their loops lie above their closing pairs.
  EXPECT_GT(p[7].y, p[2].y);
  EXPECT_GT(p[17].y, p[14].y);
}

TEST(Helices, BulgesSplitHelicesAndOnlyPlainPairsAreCounted) {
  const std::vector<Helix> helices = FindHelices(Partners("((.((...)))).."));
  ASSERT_EQ(helices.size(), 2u);
  EXPECT_EQ(helices[0].first5, 0);
  EXPECT_EQ(helices[0].last3, 11);
  EXPECT_EQ(helices[0].n_pairs, 2);
  EXPECT_EQ(helices[1].first5, 3);
  EXPECT_EQ(helices[1].last3, 9);
  EXPECT_EQ(helices[1].n_pairs, 2);

  auto row = [](const std::string& text) {
    std::vector<int> codes;
    for (const char c : text) codes.push_back(NucCharToInt(c));
    return codes;
  };
  CanonicalPairCounter counter(helices);
  counter.AddRow(row("GGAGAAAAUUUCAA"));  // G-C, G-U | G-U, A-U
  counter.AddRow(row("AR-AGAAAAUNUAA"));  // A-U, R-N (not compared) | A-U, G-A (not)
  CanonicalPairCounter other(helices);
  other.AddRow(row("C-AAAAAAAAAGAA"));  // C-G, gap (not compared) | A-A, A-A
  counter.Merge(other);
  EXPECT_EQ(counter.tallies()[0].canonical, 4u);
  EXPECT_EQ(counter.tallies()[0].compared, 4u);
  EXPECT_EQ(counter.tallies()[1].canonical, 3u);
  EXPECT_EQ(counter.tallies()[1].compared, 6u);
}

TEST(ReportPage, NamesAndPathsCannotEndTheDataScript) {
  ReportData data;
  data.title = "out</script><script>alert(1)</script>.fa";
  data.tree = {{-1, 0.0, "anc_0"}, {0, 0.1, "a\"</SCRIPT>&'"}, {0, 0.2, "b\\n"}};
  data.partners = {-1, -1};
  const std::string page = ReportHtml(data);
  std::string lower = page;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  std::size_t closes = 0;
  for (std::size_t at = lower.find("</script"); at != std::string::npos;
       at = lower.find("</script", at + 1)) {
    ++closes;
  }
  EXPECT_EQ(closes, 3u);  // the error handler, the data and the script
  EXPECT_NE(page.find("\"a\\\"\\u003c/SCRIPT\\u003e\\u0026'\""), std::string::npos);
  EXPECT_NE(page.find("<title>out&lt;/script&gt;"), std::string::npos);
}

}  // namespace
