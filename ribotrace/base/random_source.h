// The one stream of random numbers of a run: the Park-Miller minimal
// standard generator (multiplier 16807, modulus 2^31 - 1), evaluated with
// Schrage's method. The whole state is one int, owned by the driver and
// advanced in place by every draw, so the stages continue one stream.
#pragma once

#include <cstdint>

constexpr std::int32_t kRandomModulus = 2147483647;
constexpr std::int32_t kRandomMultiplier = 16807;

// Calendar time in seconds, negated if negative.
std::int32_t GetSeedFromClock();

// Advances the state by one step and returns it.
inline std::int32_t NextRandomState(std::int32_t state) {
  constexpr std::int32_t q = 127773;  // modulus div multiplier
  constexpr std::int32_t r = 2836;    // modulus mod multiplier
  const std::int32_t hi = state / q;
  const std::int32_t lo = state - q * hi;
  const std::int32_t t = kRandomMultiplier * lo - r * hi;
  return t > 0 ? t : t + kRandomModulus;
}

// One draw: advances *seed and returns a uniform number in (0, 1].
inline double DrawUniform(std::int32_t* seed) {
  *seed = NextRandomState(*seed);
  return *seed / 2147483647.0;
}

// The state after `steps` further draws from `state`, in O(log steps): the
// generator is a multiplicative congruence, so that state is
// state x 16807^steps mod (2^31 - 1). Agrees with repeated NextRandomState
// for every valid state (1 .. 2^31 - 2) and for the fixed point 2^31 - 1
// that a seed of 0 falls into.
std::int32_t JumpRandomState(std::int32_t state, std::uint64_t steps);

// Steps a state by a fixed number of draws with one multiplication: the
// stride's power 16807^steps mod (2^31 - 1) is computed once. Gap draws of
// one row lie a whole column of rows apart, so a row steps through them
// this way. Gives what JumpRandomState gives for the same steps.
class RandomStride {
 public:
  explicit RandomStride(std::uint64_t steps)
      : factor_(static_cast<std::uint64_t>(JumpRandomState(1, steps))) {}
  std::int32_t Apply(std::int32_t state) const {
    // The fixed point 2^31 - 1 (zero modulo the modulus) stays where it is.
    if (state == kRandomModulus) return state;
    return static_cast<std::int32_t>(static_cast<std::uint64_t>(state) * factor_ %
                                     static_cast<std::uint64_t>(kRandomModulus));
  }

 private:
  std::uint64_t factor_;
};
