// The fit's innermost loops, for the 4 nucleotide or 16 doublet states.
//
// Written as plain loops of fixed size, which the compiler vectorises, and
// built twice: for any x86-64, and for those with AVX2 and FMA (x86-64-v3),
// the version chosen when the program loads. Fused multiply-adds round
// once instead of twice, so the last digits of a fit differ between the two
// kinds of processor; on one machine a fit stays the same on any number of
// threads.
#pragma once

#include <cstddef>

// Carries partials along a branch: out (n x count) = m (n x n) x in
// (n x count), all column-major.
void CarryPartials(int n, const double* m, const double* in, int count, double* out);
// The same, multiplied into out entry by entry: out *= m x in.
void CarryPartialsInto(int n, const double* m, const double* in, int count, double* out);

// Per pattern, the largest of its entries over the rate categories: the
// test of whether partials need rescaling, at every node. `vectors` holds
// `count` patterns of n states, the next category `stride` entries
// further; `largest` gets count values.
void LargestEntries(int n, const double* vectors, int count, int n_cat, std::size_t stride,
                    double* largest);
