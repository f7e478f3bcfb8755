#include "numerics/counter_random.hpp"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "numerics/vector_math.hpp"

namespace wind {

namespace {

// Wave vectors per block: the words of a block are made by one loop, then
// turned into deviates four or eight pairs at a time.
constexpr int kBlock = 64;

constexpr std::uint64_t kPhiloxM0 = 0xD2511F53u, kPhiloxM1 = 0xCD9E8D57u;
constexpr std::uint32_t kWeyl0 = 0x9E3779B9u, kWeyl1 = 0xBB67AE85u;
constexpr int kPhiloxRounds = 10;
constexpr std::uint64_t kLow32 = 0xFFFFFFFFu;
constexpr double kTwoTo32 = 4294967296.0;
constexpr double kTwoToMinus53 = 1.1102230246251565e-16;  // exact

// The output words of one block, each in the low half of a 64-bit word, for
// the counters (lo + m, hi + carry, c, 0), m = 0 .. kBlock - 1.
struct BlockWords {
  alignas(32) std::uint64_t r0[kBlock], r1[kBlock], r2[kBlock], r3[kBlock];
};

// The counters of the first n wave vectors of a block, in the same layout.
void counters(std::uint32_t lo, std::uint32_t hi, std::uint32_t c, int n, BlockWords& w) {
  for (int m = 0; m < n; ++m) {
    const std::uint64_t c0 = std::uint64_t{lo} + std::uint64_t(m);
    w.r0[m] = c0 & kLow32;
    w.r1[m] = (std::uint64_t{hi} + (c0 >> 32)) & kLow32;  // the carry into the high word
    w.r2[m] = c;
    w.r3[m] = 0;
  }
}

// Philox4x32-10 on the first n counters of w (n a multiple of the
// instruction set's counters), in place: each round multiplies words 0
// and 2 by the round multipliers into 64-bit products (the 32 x 32 -> 64-bit
// multiplication of the vector units, exact), and the new words are
// (hi(M1 c2) ^ c1 ^ k0, lo(M1 c2), hi(M0 c0) ^ c3 ^ k1, lo(M0 c0)); the key
// grows by the Weyl increments between rounds. Written for SSE2 (two
// counters at a time), AVX2 (four) and AVX-512 (eight); integer arithmetic,
// so every instruction set gives the same words.
void philoxSse2(std::uint32_t key, int n, BlockWords& w) {
  const __m128i m0 = _mm_set1_epi64x(kPhiloxM0), m1 = _mm_set1_epi64x(kPhiloxM1);
  const __m128i low = _mm_set1_epi64x(kLow32);
  for (int m = 0; m < n; m += 2) {
    __m128i c0 = _mm_load_si128(reinterpret_cast<const __m128i*>(w.r0 + m));
    __m128i c1 = _mm_load_si128(reinterpret_cast<const __m128i*>(w.r1 + m));
    __m128i c2 = _mm_load_si128(reinterpret_cast<const __m128i*>(w.r2 + m));
    __m128i c3 = _mm_load_si128(reinterpret_cast<const __m128i*>(w.r3 + m));
    std::uint32_t k0 = key, k1 = 0;
    for (int round = 0; round < kPhiloxRounds; ++round) {
      const __m128i p0 = _mm_mul_epu32(c0, m0), p1 = _mm_mul_epu32(c2, m1);
      const __m128i n0 =
          _mm_xor_si128(_mm_xor_si128(_mm_srli_epi64(p1, 32), c1), _mm_set1_epi64x(k0));
      const __m128i n2 =
          _mm_xor_si128(_mm_xor_si128(_mm_srli_epi64(p0, 32), c3), _mm_set1_epi64x(k1));
      c1 = _mm_and_si128(p1, low);
      c3 = _mm_and_si128(p0, low);
      c0 = n0;
      c2 = n2;
      k0 += kWeyl0;
      k1 += kWeyl1;
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(w.r0 + m), c0);
    _mm_store_si128(reinterpret_cast<__m128i*>(w.r1 + m), c1);
    _mm_store_si128(reinterpret_cast<__m128i*>(w.r2 + m), c2);
    _mm_store_si128(reinterpret_cast<__m128i*>(w.r3 + m), c3);
  }
}

__attribute__((target("avx2"))) void philoxAvx2(std::uint32_t key, int n, BlockWords& w) {
  const __m256i m0 = _mm256_set1_epi64x(kPhiloxM0), m1 = _mm256_set1_epi64x(kPhiloxM1);
  const __m256i low = _mm256_set1_epi64x(kLow32);
  for (int m = 0; m < n; m += 4) {
    __m256i c0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(w.r0 + m));
    __m256i c1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(w.r1 + m));
    __m256i c2 = _mm256_load_si256(reinterpret_cast<const __m256i*>(w.r2 + m));
    __m256i c3 = _mm256_load_si256(reinterpret_cast<const __m256i*>(w.r3 + m));
    std::uint32_t k0 = key, k1 = 0;
    for (int round = 0; round < kPhiloxRounds; ++round) {
      const __m256i p0 = _mm256_mul_epu32(c0, m0), p1 = _mm256_mul_epu32(c2, m1);
      const __m256i n0 = _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(p1, 32), c1),
                                          _mm256_set1_epi64x(k0));
      const __m256i n2 = _mm256_xor_si256(_mm256_xor_si256(_mm256_srli_epi64(p0, 32), c3),
                                          _mm256_set1_epi64x(k1));
      c1 = _mm256_and_si256(p1, low);
      c3 = _mm256_and_si256(p0, low);
      c0 = n0;
      c2 = n2;
      k0 += kWeyl0;
      k1 += kWeyl1;
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(w.r0 + m), c0);
    _mm256_store_si256(reinterpret_cast<__m256i*>(w.r1 + m), c1);
    _mm256_store_si256(reinterpret_cast<__m256i*>(w.r2 + m), c2);
    _mm256_store_si256(reinterpret_cast<__m256i*>(w.r3 + m), c3);
  }
}

// GCC 12's AVX-512 intrinsics start from an undefined register, which its
// flow analysis takes for an uninitialised variable.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512f"))) void philoxAvx512(std::uint32_t key, int n, BlockWords& w) {
  const __m512i m0 = _mm512_set1_epi64(kPhiloxM0), m1 = _mm512_set1_epi64(kPhiloxM1);
  const __m512i low = _mm512_set1_epi64(kLow32);
  for (int m = 0; m < n; m += 8) {
    __m512i c0 = _mm512_loadu_si512(w.r0 + m), c1 = _mm512_loadu_si512(w.r1 + m);
    __m512i c2 = _mm512_loadu_si512(w.r2 + m), c3 = _mm512_loadu_si512(w.r3 + m);
    std::uint32_t k0 = key, k1 = 0;
    for (int round = 0; round < kPhiloxRounds; ++round) {
      const __m512i p0 = _mm512_mul_epu32(c0, m0), p1 = _mm512_mul_epu32(c2, m1);
      const __m512i n0 = _mm512_xor_si512(_mm512_xor_si512(_mm512_srli_epi64(p1, 32), c1),
                                          _mm512_set1_epi64(k0));
      const __m512i n2 = _mm512_xor_si512(_mm512_xor_si512(_mm512_srli_epi64(p0, 32), c3),
                                          _mm512_set1_epi64(k1));
      c1 = _mm512_and_si512(p1, low);
      c3 = _mm512_and_si512(p0, low);
      c0 = n0;
      c2 = n2;
      k0 += kWeyl0;
      k1 += kWeyl1;
    }
    _mm512_storeu_si512(w.r0 + m, c0);
    _mm512_storeu_si512(w.r1 + m, c1);
    _mm512_storeu_si512(w.r2 + m, c2);
    _mm512_storeu_si512(w.r3 + m, c3);
  }
}
#pragma GCC diagnostic pop

using lanes::Bits;
using lanes::Doubles;

// An integer below 2^54 as an exact double: its high and low 32 bits
// converted apart (each exact through the 2^52 offset) and summed exactly.
template <int W>
[[gnu::always_inline]] inline Doubles<W> exactDouble(Bits<W> n) {
  constexpr std::uint64_t kOffsetBits = 0x4330000000000000ull;  // 2^52
  constexpr double kOffset = 4503599627370496.0;
  const Doubles<W> high = lanes::asDoubles<W>((n >> 32) | kOffsetBits) - kOffset;
  const Doubles<W> low = lanes::asDoubles<W>((n & kLow32) | kOffsetBits) - kOffset;
  return high * kTwoTo32 + low;
}

// The pairs of the block's wave vectors m = at .. at + W - 1 (those below
// count), pair m at x + m stride.
template <int W>
[[gnu::always_inline]] inline void boxMuller(const BlockWords& w, int at, int count,
                                             std::int64_t stride, float* x) {
  Bits<W> a, b, d, e;
  std::memcpy(&a, w.r0 + at, sizeof a);
  std::memcpy(&b, w.r1 + at, sizeof b);
  std::memcpy(&d, w.r2 + at, sizeof d);
  std::memcpy(&e, w.r3 + at, sizeof e);
  const Bits<W> m1 = ((a << 32) | b) >> 11, m2 = ((d << 32) | e) >> 11;
  const Doubles<W> u1 = exactDouble<W>(m1 + 1u) * kTwoToMinus53;
  const Doubles<W> u2 = exactDouble<W>(m2) * kTwoToMinus53;
  const Doubles<W> radius = lanes::sqrt<W>(-2.0 * lanes::log<W>(u1));
  const lanes::SinCos<W> t = lanes::sinCosTurns<W>(u2);
  const Doubles<W> xr = radius * t.cos, xi = radius * t.sin;
  for (int k = 0; k < W && at + k < count; ++k) {
    float* p = x + (at + k) * stride;
    p[0] = static_cast<float>(xr[k]);
    p[1] = static_cast<float>(xi[k]);
  }
}

// The pairs of component position c of the count wave vectors from first
// on, pair m at x + m stride, the words made by philox, W pairs at a time.
template <int W, void (*philox)(std::uint32_t, int, BlockWords&)>
[[gnu::always_inline]] inline void pairsOf(std::int32_t seed, std::int64_t first,
                                           std::int64_t count, int c, std::int64_t stride,
                                           float* x) {
  BlockWords w;
  for (std::int64_t done = 0; done < count; done += kBlock) {
    const auto start = static_cast<std::uint64_t>(first + done);
    const int n = static_cast<int>(std::min<std::int64_t>(kBlock, count - done));
    const int groups = (n + W - 1) / W * W;  // a few words past n wasted
    counters(static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(start >> 32),
             static_cast<std::uint32_t>(c), groups, w);
    philox(static_cast<std::uint32_t>(seed), groups, w);
    for (int at = 0; at < n; at += W) boxMuller<W>(w, at, n, stride, x + done * stride);
  }
}

// The same compiled for each instruction set: four pairs at a time on the
// baseline and on AVX2, eight on AVX-512. The Box-Muller lanes are the same
// operations on each lane in all (nothing is contracted into fused
// multiply-adds), Philox is integer arithmetic: the same bits.
__attribute__((target("avx512f"))) void pairsAvx512(std::int32_t seed, std::int64_t first,
                                                    std::int64_t count, int c,
                                                    std::int64_t stride, float* x) {
  pairsOf<8, philoxAvx512>(seed, first, count, c, stride, x);
}

__attribute__((target("avx2"))) void pairsAvx2(std::int32_t seed, std::int64_t first,
                                               std::int64_t count, int c, std::int64_t stride,
                                               float* x) {
  pairsOf<4, philoxAvx2>(seed, first, count, c, stride, x);
}

void pairsBaseline(std::int32_t seed, std::int64_t first, std::int64_t count, int c,
                   std::int64_t stride, float* x) {
  pairsOf<4, philoxSse2>(seed, first, count, c, stride, x);
}

void componentPairs(lanes::InstructionSet isa, std::int32_t seed, std::int64_t first,
                    std::int64_t count, int c, std::int64_t stride, float* x) {
  switch (isa) {
    case lanes::InstructionSet::avx512: pairsAvx512(seed, first, count, c, stride, x); break;
    case lanes::InstructionSet::avx2: pairsAvx2(seed, first, count, c, stride, x); break;
    default: pairsBaseline(seed, first, count, c, stride, x); break;
  }
}

}  // namespace

void counterDeviates(std::int32_t seed, std::int64_t first, std::int64_t count, int ncomp,
                     float* x) {
  detail::counterDeviatesOn(lanes::widestInstructionSet(), seed, first, count, ncomp, x);
}

namespace detail {

void counterDeviatesOn(lanes::InstructionSet isa, std::int32_t seed, std::int64_t first,
                       std::int64_t count, int ncomp, float* x) {
  for (int c = 0; c < ncomp; ++c)
    componentPairs(isa, seed, first, count, c, 2 * ncomp, x + 2 * c);
}

}  // namespace detail

std::array<float, 2> counterGaussPair(std::int32_t seed, std::int64_t index, int c) {
  std::array<float, 2> pair{};
  componentPairs(lanes::widestInstructionSet(), seed, index, 1, c, 2, pair.data());
  return pair;
}

}  // namespace wind
