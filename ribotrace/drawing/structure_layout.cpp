#include "drawing/structure_layout.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace {

struct Vec {
  double x;
  double y;
};

Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator*(double s, Vec a) { return {s * a.x, s * a.y}; }
Vec Unit(Vec a) {
  const double length = std::hypot(a.x, a.y);
  return length > 0.0 ? Vec{a.x / length, a.y / length} : Vec{1.0, 0.0};
}
// A quarter turn counter-clockwise (y up).
Vec Turn(Vec a) { return {-a.y, a.x}; }

// A loop still to draw: it is closed by the chord from `left` (the 5' side)
// to `right`, already placed; `open` and `close` are the columns just
// inside the chord (-1 and n for the exterior loop).
struct PendingLoop {
  int open;
  int close;
  Vec left;
  Vec right;
  double chord;
};

// The circle through a polygon whose edges have the given lengths, in
// order around it, one of them (`chord`, the closing one) possibly longer
// than half the circle. Returns the radius and whether the centre lies on
// the far side of the closing chord from the other vertices (a loop so
// small that its bases bulge less than a half circle).
struct Circle {
  double radius;
  bool centre_beyond_chord;
};

double CentralAngle(double edge, double radius) {
  return 2.0 * std::asin(std::min(1.0, edge / (2.0 * radius)));
}

Circle FitCircle(const std::vector<double>& edges, double chord) {
  double longest = chord;
  for (const double e : edges) longest = std::max(longest, e);
  const double smallest_radius = longest / 2.0;
  auto others_angle = [&](double r) {
    double sum = 0.0;
    for (const double e : edges) sum += CentralAngle(e, r);
    return sum;
  };
  // Normal case: all edges' angles sum to a full turn; the sum falls as the
  // radius grows. Otherwise the other edges span only the minor arc of the
  // chord: their angles sum to the chord's angle.
  const bool beyond =
      others_angle(smallest_radius) + CentralAngle(chord, smallest_radius) < 2.0 * std::numbers::pi;
  auto excess = [&](double r) {
    return beyond ? others_angle(r) - CentralAngle(chord, r)
                  : others_angle(r) + CentralAngle(chord, r) - 2.0 * std::numbers::pi;
  };
  double low = smallest_radius;
  double high = smallest_radius;
  double total = chord;
  for (const double e : edges) total += e;
  high = std::max(high, total);  // a circle of this radius spans far less than a turn
  if (beyond) {
    // Here the excess is positive when r is large and zero at the minimum.
    for (int i = 0; i < 200 && excess(high) < 0.0; ++i) high *= 2.0;
  }
  for (int i = 0; i < 100; ++i) {
    const double mid = 0.5 * (low + high);
    const bool too_small = beyond ? excess(mid) < 0.0 : excess(mid) > 0.0;
    (too_small ? low : high) = mid;
  }
  return {0.5 * (low + high), beyond};
}

// The columns around a loop after its opening side, and the edges between
// them: a base's unit edge, a branch's pair-wide edge, and last the edge
// from the last base to the chord's right end (nothing for an empty loop).
void LoopMembers(const PendingLoop& loop, std::span<const int> partners, std::vector<int>& vertices,
                 std::vector<double>& edges) {
  vertices.clear();
  edges.clear();
  for (int c = loop.open + 1; c < loop.close; ++c) {
    const int p = partners[static_cast<std::size_t>(c)];
    vertices.push_back(c);
    edges.push_back(1.0);
    if (p > c && p < loop.close) {
      vertices.push_back(p);
      edges.push_back(kPairWidth);
      c = p;
    }
  }
  if (!vertices.empty()) edges.push_back(1.0);
}

}  // namespace

std::vector<LayoutPoint> LayOutStructure(std::span<const int> partners) {
  const int n = static_cast<int>(partners.size());
  std::vector<LayoutPoint> points(partners.size());
  auto place = [&](int column, Vec at) { points[static_cast<std::size_t>(column)] = {at.x, at.y}; };
  auto partner = [&](int column) { return partners[static_cast<std::size_t>(column)]; };

  // The exterior loop is closed by a virtual chord between its two ends.
  std::vector<PendingLoop> pending{
      {-1, n, {-kEndsGap / 2.0, 0.0}, {kEndsGap / 2.0, 0.0}, kEndsGap}};
  std::vector<int> vertices;  // columns around the loop, after its opening side
  std::vector<double> edges;
  while (!pending.empty()) {
    PendingLoop loop = pending.back();
    pending.pop_back();
    // A stem: stacked pairs step along the axis, a unit each. (The
    // exterior loop's chord is no pair: nothing stacks on it.)
    const Vec axis = Turn(Unit(loop.right - loop.left));
    while (loop.open >= 0 && loop.open + 1 < loop.close - 1 &&
           partner(loop.open + 1) == loop.close - 1) {
      ++loop.open;
      --loop.close;
      loop.left = loop.left + axis;
      loop.right = loop.right + axis;
      place(loop.open, loop.left);
      place(loop.close, loop.right);
      loop.chord = kPairWidth;
    }
    // The loop's bases between the chord's ends, each branch's pair taking
    // two vertices joined by a pair-wide edge.
    LoopMembers(loop, partners, vertices, edges);
    if (vertices.empty()) continue;  // a pair with nothing inside
    const Circle circle = FitCircle(edges, loop.chord);

    // Local frame: the chord from left to right is the x axis, the stem's
    // axis the y axis; the vertices run clockwise from the left end.
    const Vec x_axis = Unit(loop.right - loop.left);
    const Vec y_axis = Turn(x_axis);
    const Vec middle = 0.5 * (loop.left + loop.right);
    const double half = loop.chord / 2.0;
    const double rise = std::sqrt(std::max(0.0, circle.radius * circle.radius - half * half));
    const double centre_y = circle.centre_beyond_chord ? -rise : rise;
    const Vec centre = middle + centre_y * y_axis;
    double angle = std::atan2(-centre_y, -half);
    for (std::size_t v = 0; v < vertices.size(); ++v) {
      angle -= CentralAngle(edges[v], circle.radius);
      const Vec local{circle.radius * std::cos(angle), circle.radius * std::sin(angle)};
      place(vertices[v], centre + local.x * x_axis + local.y * y_axis);
    }
    // Branches grow outwards from their pair's two vertices.
    for (std::size_t v = 0; v + 1 < vertices.size(); ++v) {
      const int c = vertices[v];
      const int p = vertices[v + 1];
      if (partner(c) != p || p < c) continue;
      const LayoutPoint& a = points[static_cast<std::size_t>(c)];
      const LayoutPoint& b = points[static_cast<std::size_t>(p)];
      pending.push_back({c, p, {a.x, a.y}, {b.x, b.y}, kPairWidth});
    }
  }
  return points;
}
