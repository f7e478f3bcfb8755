#include "numerics/counter_random.hpp"

#include <algorithm>

#include "numerics/vector_math.hpp"

namespace wind {

namespace {

// Wave vectors per block: the words of a block are made by one loop, then
// turned into deviates kLanes pairs at a time.
constexpr int kBlock = 64;
constexpr int kLanes = 4;
static_assert(kBlock % kLanes == 0);

constexpr std::uint32_t kPhiloxM0 = 0xD2511F53u, kPhiloxM1 = 0xCD9E8D57u;
constexpr std::uint32_t kWeyl0 = 0x9E3779B9u, kWeyl1 = 0xBB67AE85u;
constexpr int kPhiloxRounds = 10;
constexpr double kTwoTo32 = 4294967296.0;
constexpr double kTwoToMinus53 = 1.1102230246251565e-16;  // exact

// The output words of one block: the counters (lo + m, hi + carry, c, 0) for
// m = 0 .. n - 1 (n <= kBlock).
struct BlockWords {
  std::uint32_t r0[kBlock], r1[kBlock], r2[kBlock], r3[kBlock];
};

[[gnu::always_inline]] inline void philoxBlock(std::uint32_t key, std::uint32_t lo,
                                               std::uint32_t hi, std::uint32_t c, int n,
                                               BlockWords& w) {
#pragma omp simd
  for (int m = 0; m < n; ++m) {
    std::uint32_t c0 = lo + std::uint32_t(m);
    std::uint32_t c1 = hi + (c0 < lo ? 1u : 0u), c2 = c, c3 = 0;
    std::uint32_t k0 = key, k1 = 0;
    for (int round = 0; round < kPhiloxRounds; ++round) {
      const std::uint64_t p0 = std::uint64_t{kPhiloxM0} * c0, p1 = std::uint64_t{kPhiloxM1} * c2;
      const std::uint32_t n0 = std::uint32_t(p1 >> 32) ^ c1 ^ k0;
      const std::uint32_t n2 = std::uint32_t(p0 >> 32) ^ c3 ^ k1;
      c1 = std::uint32_t(p1);
      c3 = std::uint32_t(p0);
      c0 = n0;
      c2 = n2;
      k0 += kWeyl0;
      k1 += kWeyl1;
    }
    w.r0[m] = c0;
    w.r1[m] = c1;
    w.r2[m] = c2;
    w.r3[m] = c3;
  }
}

using lanes::Bits;
using lanes::Doubles;

// An integer below 2^54 as an exact double: its high and low 32 bits
// converted apart (each exact through the 2^52 offset) and summed exactly.
[[gnu::always_inline]] inline Doubles<kLanes> exactDouble(Bits<kLanes> n) {
  constexpr std::uint64_t kOffsetBits = 0x4330000000000000ull;  // 2^52
  constexpr double kOffset = 4503599627370496.0;
  const Doubles<kLanes> high = lanes::asDoubles<kLanes>((n >> 32) | kOffsetBits) - kOffset;
  const Doubles<kLanes> low = lanes::asDoubles<kLanes>((n & 0xFFFFFFFFu) | kOffsetBits) - kOffset;
  return high * kTwoTo32 + low;
}

// The pairs of the block's wave vectors m = at .. at + kLanes - 1 (those
// below count), pair m at x + m stride.
[[gnu::always_inline]] inline void boxMuller(const BlockWords& w, int at, int count,
                                             std::int64_t stride, float* x) {
  Bits<kLanes> a, b, d, e;
  for (int k = 0; k < kLanes; ++k) {
    a[k] = w.r0[at + k];
    b[k] = w.r1[at + k];
    d[k] = w.r2[at + k];
    e[k] = w.r3[at + k];
  }
  const Bits<kLanes> m1 = ((a << 32) | b) >> 11, m2 = ((d << 32) | e) >> 11;
  const Doubles<kLanes> u1 = exactDouble(m1 + 1u) * kTwoToMinus53;
  const Doubles<kLanes> u2 = exactDouble(m2) * kTwoToMinus53;
  const Doubles<kLanes> radius = lanes::sqrt<kLanes>(-2.0 * lanes::log<kLanes>(u1));
  const lanes::SinCos<kLanes> t = lanes::sinCosTurns<kLanes>(u2);
  const Doubles<kLanes> xr = radius * t.cos, xi = radius * t.sin;
  for (int k = 0; k < kLanes && at + k < count; ++k) {
    float* p = x + (at + k) * stride;
    p[0] = static_cast<float>(xr[k]);
    p[1] = static_cast<float>(xi[k]);
  }
}

// The pairs of component position c of the count wave vectors from first
// on, pair m at x + m stride. Compiled for AVX2 as well where the processor
// has it: wider registers, the same operations on each lane (nothing is
// contracted into fused multiply-adds), so the same bits.
__attribute__((target_clones("avx2", "default"))) void componentPairs(
    std::int32_t seed, std::int64_t first, std::int64_t count, int c, std::int64_t stride,
    float* x) {
  BlockWords w;
  for (std::int64_t done = 0; done < count; done += kBlock) {
    const auto start = static_cast<std::uint64_t>(first + done);
    const int n = static_cast<int>(std::min<std::int64_t>(kBlock, count - done));
    // Whole groups of lanes (a few counters beyond the last are wasted).
    const int groups = (n + kLanes - 1) / kLanes * kLanes;
    philoxBlock(static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(start),
                static_cast<std::uint32_t>(start >> 32), static_cast<std::uint32_t>(c), groups, w);
    for (int at = 0; at < n; at += kLanes) boxMuller(w, at, n, stride, x + done * stride);
  }
}

}  // namespace

void counterDeviates(std::int32_t seed, std::int64_t first, std::int64_t count, int ncomp,
                     float* x) {
  for (int c = 0; c < ncomp; ++c) componentPairs(seed, first, count, c, 2 * ncomp, x + 2 * c);
}

std::array<float, 2> counterGaussPair(std::int32_t seed, std::int64_t index, int c) {
  std::array<float, 2> pair{};
  componentPairs(seed, index, 1, c, 2, pair.data());
  return pair;
}

}  // namespace wind
