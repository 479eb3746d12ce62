#include "inference/likelihood_blocks.h"

#include <cstdio>

void PrintBlock(const double* entries) {
  for (int i = 0; i < kBlockSize; ++i) {
    std::printf("%lf ", entries[i]);
    if (i % 4 == 3 && i < kSingletEntries) std::printf("\n\t\t");
  }
  std::printf("\n");
}
