// The one draw from a discrete distribution that sampling, simulation and
// the rate categories share, so that a seed gives the same states in all.
#pragma once

// Categorical draw: the first index whose running sum of `probs` exceeds u.
// When rounding leaves the whole sum at or below u, the last entry with a
// positive finite probability; -1 when there is none (all zero or not
// numbers).
int DrawCategorical(const double* probs, int n, double u);
