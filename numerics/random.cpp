#include "numerics/random.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "numerics/fatal_error.hpp"

namespace wind {

namespace {

constexpr std::int32_t kMultiplier = 16807;
constexpr std::int32_t kModulus = 2147483647;  // 2^31 - 1
constexpr std::int32_t kSchrageQuotient = 127773;  // kModulus / kMultiplier
constexpr std::int32_t kSchrageRemainder = 2836;   // kModulus % kMultiplier
constexpr int kWarmUpSteps = 8;
constexpr std::int32_t kTableDivisor = 67108864;  // 1 + (kModulus - 1) / table size = 2^26
constexpr double kScale = 4.656612875245797e-10;  // 1 / kModulus
constexpr double kUpperClampTest = 0.99999988;
constexpr float kUpperClamp = 0.99999988079071044921875f;  // 1 - 2^-23

static_assert(kSchrageQuotient == kModulus / kMultiplier);
static_assert(kSchrageRemainder == kModulus % kMultiplier);
static_assert(kTableDivisor == 1 + (kModulus - 1) / RandomGenerator::kTableSize);

// One step x <- 16807 x mod (2^31 - 1) for 0 < x < 2^31 - 1, by Schrage's
// decomposition m = a q + r: a (x mod q) - r (x div q) stays within
// (-m, m), so no intermediate leaves 32-bit signed range, and adding m once
// brings a negative result back into 1 .. m - 1. Zero is never produced.
inline void advance(std::int32_t& x) {
  const std::int32_t k = x / kSchrageQuotient;
  x = kMultiplier * (x - k * kSchrageQuotient) - kSchrageRemainder * k;
  if (x < 0) x += kModulus;
}

}  // namespace

float uniformDeviate(RandomGenerator& gen, std::int32_t& state) {
  if (state <= 0 || gen.lastOutput == 0) {
    // -state >= 1 only for negative states other than the most negative one,
    // whose negation does not exist; every other state starts at 1.
    state = (state < 0 && state != std::numeric_limits<std::int32_t>::min()) ? -state : 1;
    for (int j = RandomGenerator::kTableSize + kWarmUpSteps - 1; j >= 0; --j) {
      advance(state);
      if (j < RandomGenerator::kTableSize) gen.shuffleTable[static_cast<std::size_t>(j)] = state;
    }
    gen.lastOutput = gen.shuffleTable[0];
  }
  advance(state);
  const auto j = static_cast<std::size_t>(gen.lastOutput / kTableDivisor);  // 0 .. 31
  gen.lastOutput = gen.shuffleTable[j];
  gen.shuffleTable[j] = state;
  const double r = kScale * gen.lastOutput;
  if (r > kUpperClampTest) return kUpperClamp;
  return static_cast<float>(r);
}

namespace {

// One accepted point (a, b) of the polar method inside the unit disc, less
// its centre, and its squared radius.
struct PolarPoint {
  float a = 0.0f, b = 0.0f, rsq = 0.0f;
};

PolarPoint polarPoint(RandomGenerator& gen, std::int32_t& state) {
  PolarPoint p;
  do {
    p.a = static_cast<float>(2.0 * uniformDeviate(gen, state) - 1.0);
    p.b = static_cast<float>(2.0 * uniformDeviate(gen, state) - 1.0);
    p.rsq = static_cast<float>(double(p.a) * p.a + double(p.b) * p.b);
  } while (p.rsq >= 1.0f || p.rsq == 0.0f);
  return p;
}

// sqrt(-2 ln(rsq) / rsq), the factor that turns the point into two deviates.
float polarFactor(float rsq) {
  return static_cast<float>(std::sqrt(-2.0 * std::log(double(rsq)) / rsq));
}

}  // namespace

float gaussDeviate(RandomGenerator& gen, std::int32_t& state) {
  if (gen.hasSpare) {
    gen.hasSpare = false;
    return gen.spareDeviate;
  }
  const PolarPoint p = polarPoint(gen, state);
  const float fac = polarFactor(p.rsq);
  gen.spareDeviate = static_cast<float>(double(p.a) * fac);
  gen.hasSpare = true;
  return static_cast<float>(double(p.b) * fac);
}

void skipGaussDeviates(RandomGenerator& gen, std::int32_t& state, std::int64_t n) {
  if (n <= 0) return;
  if (gen.hasSpare) {
    gen.hasSpare = false;
    --n;
  }
  // The remaining n deviates come from (n + 1) / 2 fresh pairs; only the
  // last pair's spare (pending when n is odd, stale otherwise) is kept.
  const std::int64_t pairs = (n + 1) / 2;
  if (pairs == 0) return;
  PolarPoint p;
  for (std::int64_t k = 0; k < pairs; ++k) p = polarPoint(gen, state);
  gen.spareDeviate = static_cast<float>(double(p.a) * polarFactor(p.rsq));
  gen.hasSpare = n % 2 == 1;
}

RandomStream gaussStreamAt(std::int32_t seed, std::int64_t offset) {
  RandomStream s{.gen = {}, .state = seed};
  skipGaussDeviates(s.gen, s.state, offset);
  return s;
}

void gaussStreamStates(std::int32_t seed, std::span<const std::int64_t> offsets,
                       std::span<RandomStream> states) {
  if (states.size() < offsets.size()) fatalError("gaussStreamStates: fewer states than offsets");
  for (std::size_t k = 1; k < offsets.size(); ++k)
    if (offsets[k] < offsets[k - 1]) fatalError("gaussStreamStates: offsets must not decrease");
  RandomStream s{.gen = {}, .state = seed};
  std::int64_t at = 0;
  for (std::size_t k = 0; k < offsets.size(); ++k) {
    skipGaussDeviates(s.gen, s.state, offsets[k] - at);
    at = std::max(at, offsets[k]);
    states[k] = s;
  }
}

}  // namespace wind
