#include "base/random_source.h"

#include <ctime>

std::int32_t GetSeedFromClock() {
  const std::time_t now = std::time(nullptr);
  const long long seconds = now < 0 ? -static_cast<long long>(now) : static_cast<long long>(now);
  return static_cast<std::int32_t>(seconds);
}

std::int32_t JumpRandomState(std::int32_t state, std::uint64_t steps) {
  if (steps == 0) return state;
  constexpr std::uint64_t m = kRandomModulus;
  const std::uint64_t start =
      static_cast<std::uint64_t>(static_cast<std::int64_t>(state) % static_cast<std::int64_t>(m) +
                                 m) %
      m;
  // 0 (a seed of 0 or 2^31 - 1) is the generator's fixed point, which
  // Schrage's step writes as 2^31 - 1.
  if (start == 0) return kRandomModulus;
  std::uint64_t factor = 1;
  std::uint64_t base = kRandomMultiplier;
  for (std::uint64_t e = steps; e > 0; e >>= 1) {
    if (e & 1) factor = factor * base % m;
    base = base * base % m;
  }
  return static_cast<std::int32_t>(start * factor % m);
}
