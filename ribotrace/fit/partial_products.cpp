#include "fit/partial_products.h"

#include <cstring>

namespace {

// Four doubles: one AVX2 register, or two SSE2 ones in the default build.
using Quad = double __attribute__((vector_size(32)));

// Column by column: the output column (N / 4 quads) stays in registers,
// and each input entry adds its column of m, scaled, to it. Into: the
// product multiplies out's entries instead of replacing them.
template <int N, bool kInto>
[[gnu::always_inline]] inline void Product(const double* m, const double* in, int count,
                                           double* out) {
  constexpr int kQuads = N / 4;
  Quad columns[N][kQuads];
  for (int k = 0; k < N; ++k) {
    std::memcpy(columns[k], m + k * N, sizeof columns[k]);
  }
  for (int j = 0; j < count; ++j, in += N, out += N) {
    Quad sum[kQuads] = {};
    for (int k = 0; k < N; ++k) {
      const double x = in[k];
      for (int r = 0; r < kQuads; ++r) sum[r] += columns[k][r] * x;
    }
    if constexpr (kInto) {
      for (int r = 0; r < kQuads; ++r) {
        Quad old;
        std::memcpy(&old, out + 4 * r, sizeof old);
        sum[r] *= old;
      }
    }
    std::memcpy(out, sum, sizeof sum);
  }
}

[[gnu::target_clones("arch=x86-64-v3", "default")]] void Product4(const double* m, const double* in,
                                                                  int count, double* out) {
  Product<4, false>(m, in, count, out);
}

[[gnu::target_clones("arch=x86-64-v3", "default")]] void Product4Into(const double* m,
                                                                      const double* in, int count,
                                                                      double* out) {
  Product<4, true>(m, in, count, out);
}

[[gnu::target_clones("arch=x86-64-v3", "default")]] void Product16(const double* m,
                                                                   const double* in, int count,
                                                                   double* out) {
  Product<16, false>(m, in, count, out);
}

[[gnu::target_clones("arch=x86-64-v3", "default")]] void Product16Into(const double* m,
                                                                       const double* in, int count,
                                                                       double* out) {
  Product<16, true>(m, in, count, out);
}

template <int N>
[[gnu::always_inline]] inline void Largest(const double* vectors, int count, int n_cat,
                                           std::size_t stride, double* largest) {
  for (int s = 0; s < count; ++s) {
    Quad top = {};
    const double* first = vectors + static_cast<std::size_t>(s) * N;
    for (int c = 0; c < n_cat; ++c, first += stride) {
      for (int r = 0; r < N / 4; ++r) {
        Quad q;
        std::memcpy(&q, first + 4 * r, sizeof q);
        top = top > q ? top : q;
      }
    }
    const double a = top[0] > top[1] ? top[0] : top[1];
    const double b = top[2] > top[3] ? top[2] : top[3];
    largest[s] = a > b ? a : b;
  }
}

[[gnu::target_clones("arch=x86-64-v3", "default")]] void Largest4(const double* vectors, int count,
                                                                  int n_cat, std::size_t stride,
                                                                  double* largest) {
  Largest<4>(vectors, count, n_cat, stride, largest);
}

[[gnu::target_clones("arch=x86-64-v3", "default")]] void Largest16(const double* vectors, int count,
                                                                   int n_cat, std::size_t stride,
                                                                   double* largest) {
  Largest<16>(vectors, count, n_cat, stride, largest);
}

}  // namespace

void LargestEntries(int n, const double* vectors, int count, int n_cat, std::size_t stride,
                    double* largest) {
  if (n == 4) return Largest4(vectors, count, n_cat, stride, largest);
  Largest16(vectors, count, n_cat, stride, largest);
}

void CarryPartials(int n, const double* m, const double* in, int count, double* out) {
  if (n == 4) return Product4(m, in, count, out);
  Product16(m, in, count, out);
}

void CarryPartialsInto(int n, const double* m, const double* in, int count, double* out) {
  if (n == 4) return Product4Into(m, in, count, out);
  Product16Into(m, in, count, out);
}
