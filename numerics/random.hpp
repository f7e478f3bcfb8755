#pragma once
// Uniform and standard normal random deviates for the synthesis engines.
//
// uniformDeviate: a multiplicative congruential generator x <- 16807 x mod
// (2^31 - 1) (Park and Miller's "minimal standard"), evaluated with Schrage's
// decomposition so that every intermediate value fits a 32-bit signed integer,
// and passed through a 32-entry Bays-Durham shuffle table that breaks up the
// low-order serial correlations of the bare generator (Press et al. 1992,
// section 7.1; Park and Miller 1988). Returns a float in
// [1/(2^31 - 1), 0.99999988079071044921875]; the upper end is clamped so that
// the value never rounds up to 1.
//
// gaussDeviate: polar Box-Muller (Marsaglia's method, Knuth vol. 2, 3.4.1):
// draw a = 2u - 1, then b = 2u - 1 from two fresh uniform deviates, reject until
// 0 < a^2 + b^2 < 1, and return b * f with f = sqrt(-2 ln(rsq) / rsq); a * f is
// kept as the spare and returned by the next call. So the first deviate of each
// pair comes from the second uniform draw.
//
// State. The integer `state` is owned by the caller (an engine's copy of the
// input seed) and passed by reference to every call; it is the generator's
// 32-bit state from then on. A state <= 0 on entry (or the very first call on a
// fresh RandomGenerator) re-initialises the shuffle table from |state| (0 and
// the most negative integer start at 1); the state is positive afterwards.
// The shuffle table, the last output and the spare deviate live in a
// RandomGenerator: one object per run, shared by every draw of that run.
// gaussDeviate never looks at the sign of the state, so re-seeding does not
// discard a pending spare.
//
// The whole sequence is a deterministic function of the seed: the same seed
// gives the same numbers, bit for bit. Nothing allocates; nothing fails.
#include <array>
#include <cstdint>

namespace wind {

struct RandomGenerator {
  static constexpr int kTableSize = 32;

  std::array<std::int32_t, kTableSize> shuffleTable{};  // zero until first use
  std::int32_t lastOutput = 0;                          // 0 only before initialisation
  float spareDeviate = 0.0f;                            // second deviate of the last pair
  bool hasSpare = false;                                // spareDeviate not yet returned
};

// Uniform deviate in [1/(2^31 - 1), 0.99999988079071044921875]. A state <= 0
// asks for re-initialisation from it.
float uniformDeviate(RandomGenerator& gen, std::int32_t& state);

// Standard normal deviate (mean 0, variance 1).
float gaussDeviate(RandomGenerator& gen, std::int32_t& state);

}  // namespace wind
