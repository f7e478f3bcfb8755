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
// gives the same numbers, bit for bit. Nothing allocates; nothing fails but
// gaussStreamStates on arguments out of order (below).
//
// Streams in pieces. The sequence is sequential by nature (the shuffle table
// makes each output depend on all before it, and the rejections make the
// number of uniform draws per deviate vary), so a consumer that starts in the
// middle, such as a process synthesising a slab of a box, needs the whole
// state at its first deviate. skipGaussDeviates advances a stream by n
// deviates without forming them: it makes the uniform draws and the rejection
// tests of the polar method and evaluates the Box-Muller factor only for the
// last pair, whose second deviate may be left as the spare. A RandomStream (the
// generator with its 32-bit state) is a plain, trivially copyable value: it can
// be stored, sent between processes as bytes and restored by assignment, and
// drawing on from a copy gives the deviates the original would have given.
#include <array>
#include <cstdint>
#include <span>
#include <type_traits>

namespace wind {

struct RandomGenerator {
  static constexpr int kTableSize = 32;

  std::array<std::int32_t, kTableSize> shuffleTable{};  // zero until first use
  std::int32_t lastOutput = 0;                          // 0 only before initialisation
  float spareDeviate = 0.0f;                            // second deviate of the last pair
  bool hasSpare = false;                                // spareDeviate not yet returned

  bool operator==(const RandomGenerator&) const = default;
};

// Uniform deviate in [1/(2^31 - 1), 0.99999988079071044921875]. A state <= 0
// asks for re-initialisation from it.
float uniformDeviate(RandomGenerator& gen, std::int32_t& state);

// Standard normal deviate (mean 0, variance 1).
float gaussDeviate(RandomGenerator& gen, std::int32_t& state);

// Advances gen and state as n calls of gaussDeviate would (n <= 0: nothing):
// afterwards both compare equal, member by member, to what those calls leave,
// the stale spare of a consumed pair included. Cost: the uniform draws and
// rejection tests of the skipped pairs (the generator's steps taken in
// independent blocks, about two thirds of the time of drawing them one by
// one without the Gaussian transform) and one logarithm.
void skipGaussDeviates(RandomGenerator& gen, std::int32_t& state, std::int64_t n);

// A whole classic stream: generator and state, as one value.
struct RandomStream {
  RandomGenerator gen;
  std::int32_t state = 0;

  bool operator==(const RandomStream&) const = default;
};
static_assert(std::is_trivially_copyable_v<RandomStream>);

// Fills x with the stream's next deviates, as x.size() calls of gaussDeviate.
void gaussDeviates(RandomStream& stream, std::span<float> x);

// The stream started from `seed` after `offset` Gaussian deviates (replaying
// the prefix with skipGaussDeviates; offset 0 gives the fresh stream).
RandomStream gaussStreamAt(std::int32_t seed, std::int64_t offset);

// The stream from `seed` at each of the non-decreasing offsets, in one pass:
// states[k] = gaussStreamAt(seed, offsets[k]) for k < offsets.size(), at the
// cost of one skip to the last offset. states holds at least offsets.size()
// values. Fails with "gaussStreamStates: offsets must not decrease" or
// "gaussStreamStates: fewer states than offsets".
void gaussStreamStates(std::int32_t seed, std::span<const std::int64_t> offsets,
                       std::span<RandomStream> states);

}  // namespace wind
