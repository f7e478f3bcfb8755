#include "numerics/counter_random.hpp"

#include <Random123/philox.h>

#include <cmath>

namespace wind {

namespace {

constexpr double kTwoPiDouble = 6.283185307179586;   // the double nearest 2 pi
constexpr double kTwoToMinus53 = 1.1102230246251565e-16;  // 2^-53, exact
constexpr int kDropBits = 11;                          // 64 - 53

// The 53 leading bits of the 64-bit word hi 2^32 + lo.
inline std::uint64_t leading53(std::uint32_t hi, std::uint32_t lo) {
  return ((std::uint64_t{hi} << 32) | lo) >> kDropBits;
}

}  // namespace

std::array<float, 2> counterGaussPair(std::int32_t seed, std::int64_t index, int c) {
  const auto i = static_cast<std::uint64_t>(index);
  const r123::Philox4x32::ctr_type counter = {
      {static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i >> 32),
       static_cast<std::uint32_t>(c), 0u}};
  const r123::Philox4x32::key_type key = {{static_cast<std::uint32_t>(seed), 0u}};
  const r123::Philox4x32::ctr_type r = r123::Philox4x32()(counter, key);

  const double u1 = static_cast<double>(leading53(r[0], r[1]) + 1) * kTwoToMinus53;
  const double u2 = static_cast<double>(leading53(r[2], r[3])) * kTwoToMinus53;
  const double radius = std::sqrt(-2.0 * std::log(u1));
  const double angle = kTwoPiDouble * u2;
  return {static_cast<float>(radius * std::cos(angle)), static_cast<float>(radius * std::sin(angle))};
}

void counterDeviates(std::int32_t seed, std::int64_t index, int ncomp, float* x) {
  for (int c = 0; c < ncomp; ++c) {
    const std::array<float, 2> pair = counterGaussPair(seed, index, c);
    x[2 * c] = pair[0];
    x[2 * c + 1] = pair[1];
  }
}

}  // namespace wind
