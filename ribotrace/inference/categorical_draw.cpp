#include "inference/categorical_draw.h"

#include <cmath>

int DrawCategorical(const double* probs, int n, double u) {
  double running = 0.0;
  for (int i = 0; i < n; ++i) {
    running += probs[i];
    if (running > u) return i;
  }
  for (int i = n - 1; i >= 0; --i) {
    if (std::isfinite(probs[i]) && probs[i] > 0.0) return i;
  }
  return -1;
}
