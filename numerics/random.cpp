#include "numerics/random.hpp"

#include <cmath>
#include <limits>

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

float gaussDeviate(RandomGenerator& gen, std::int32_t& state) {
  if (gen.hasSpare) {
    gen.hasSpare = false;
    return gen.spareDeviate;
  }
  float a = 0.0f;
  float b = 0.0f;
  float rsq = 0.0f;
  do {
    a = static_cast<float>(2.0 * uniformDeviate(gen, state) - 1.0);
    b = static_cast<float>(2.0 * uniformDeviate(gen, state) - 1.0);
    rsq = static_cast<float>(double(a) * a + double(b) * b);
  } while (rsq >= 1.0f || rsq == 0.0f);
  const auto fac = static_cast<float>(std::sqrt(-2.0 * std::log(double(rsq)) / rsq));
  gen.spareDeviate = static_cast<float>(double(a) * fac);
  gen.hasSpare = true;
  return static_cast<float>(double(b) * fac);
}

}  // namespace wind
