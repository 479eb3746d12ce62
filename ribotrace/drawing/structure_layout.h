// Where each column of a consensus secondary structure is drawn: the usual
// radial layout, in which every stem is a ladder of stacked pairs and every
// loop (hairpin, bulge, interior, multibranch, and the exterior loop that
// holds the two ends) is a circle through its bases. Pure geometry: the
// report computes it once and every node's sequence is drawn on it.
#pragma once

#include <span>
#include <vector>

struct LayoutPoint {
  double x = 0.0;
  double y = 0.0;
};

// Distances of the drawing, in units of one backbone step.
inline constexpr double kPairWidth = 1.5;  // between the two bases of a pair
inline constexpr double kEndsGap = 3.0;    // between the 5' and 3' ends on the exterior circle

// One point per column. `partners`: per column its partner column, or -1;
// the pairs must nest (no pseudoknots). Consecutive columns lie one unit
// apart, a pair's two columns kPairWidth apart; a stem grows away from the
// centre of the loop it leaves. The first stacked pair stands on the
// exterior circle, whose 5' and 3' ends lie at the bottom, kEndsGap apart.
std::vector<LayoutPoint> LayOutStructure(std::span<const int> partners);
