#include "numerics/counter_random.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "support/threads.hpp"

using namespace wind;

namespace {

using Words = std::array<std::uint32_t, 4>;

// Philox4x32-10 long hand from its definition (Salmon et al. 2011): each
// round multiplies words 0 and 2 by the round multipliers into 64-bit
// products, and the new words are (hi(M1 c2) ^ c1 ^ k0, lo(M1 c2),
// hi(M0 c0) ^ c3 ^ k1, lo(M0 c0)); the key grows by the Weyl increments
// between rounds.
Words philoxLongHand(Words c, std::uint32_t k0, std::uint32_t k1) {
  const std::uint64_t m0 = 0xD2511F53u, m1 = 0xCD9E8D57u;
  for (int round = 0; round < 10; ++round) {
    if (round > 0) {
      k0 += 0x9E3779B9u;
      k1 += 0xBB67AE85u;
    }
    const std::uint64_t p0 = m0 * c[0], p1 = m1 * c[2];
    c = {std::uint32_t(p1 >> 32) ^ c[1] ^ k0, std::uint32_t(p1), std::uint32_t(p0 >> 32) ^ c[3] ^ k1,
         std::uint32_t(p0)};
  }
  return c;
}

// The pair of the contract's recipe, in long double from the long-hand words.
std::array<long double, 2> pairLongHand(std::int32_t seed, std::uint64_t index, std::uint32_t c) {
  const Words r = philoxLongHand({std::uint32_t(index), std::uint32_t(index >> 32), c, 0},
                                 std::uint32_t(seed), 0);
  const auto top53 = [](std::uint32_t hi, std::uint32_t lo) {
    return static_cast<long double>(((std::uint64_t(hi) << 32) | lo) >> 11);
  };
  const long double u1 = std::ldexp(top53(r[0], r[1]) + 1.0L, -53);
  const long double u2 = std::ldexp(top53(r[2], r[3]), -53);
  const long double radius = std::sqrt(-2.0L * std::log(u1));
  const long double twoPi = 6.283185307179586476925286766559L;
  return {radius * std::cos(twoPi * u2), radius * std::sin(twoPi * u2)};
}

// Chi-square quantiles of k degrees of freedom at the standard normal point z
// (Wilson and Hilferty 1931).
double chiSquareQuantile(double k, double z) {
  const double a = 2.0 / (9.0 * k);
  return k * std::pow(1.0 - a + z * std::sqrt(a), 3.0);
}

// z-scores that must be neither too large (a biased or correlated stream)
// nor, taken together, too small (a stream too regular to be random): each
// |z| < 4.5, and their sum of squares inside the central 99.9 % of its
// chi-square distribution.
void expectNormalScores(const std::vector<double>& z, const char* what) {
  double chi2 = 0.0;
  for (double v : z) {
    EXPECT_LT(std::fabs(v), 4.5) << what;
    chi2 += v * v;
  }
  const double k = double(z.size());
  EXPECT_LT(chi2, chiSquareQuantile(k, 3.29)) << what << ": too far off";
  EXPECT_GT(chi2, chiSquareQuantile(k, -3.29)) << what << ": suspiciously perfect";
}

}  // namespace

TEST(CounterRandom, PhiloxLongHandGivesThePublishedKnownAnswers) {
  // Known-answer vectors of Philox4x32-10 published with Random123.
  EXPECT_EQ(philoxLongHand({0, 0, 0, 0}, 0, 0),
            (Words{0x6627e8d5u, 0xe169c58du, 0xbc57ac4cu, 0x9b00dbd8u}));
  EXPECT_EQ(philoxLongHand({~0u, ~0u, ~0u, ~0u}, ~0u, ~0u),
            (Words{0x408f276du, 0x41c83b0eu, 0xa20bc7c6u, 0x6d5451fdu}));
  EXPECT_EQ(philoxLongHand({0x243f6a88u, 0x85a308d3u, 0x13198a2eu, 0x03707344u}, 0xa4093822u,
                           0x299f31d0u),
            (Words{0xd16cfe09u, 0x94fdccebu, 0x5001e420u, 0x24126ea1u}));
}

TEST(CounterRandom, PairsFollowTheRecipeForSeedIndexAndComponent) {
  // Negative and positive seeds, indices beyond 32 bits, every component.
  const std::int32_t seeds[] = {-1, -2147483647 - 1, 20231, -7};
  const std::int64_t indices[] = {0, 1, 4460547, (std::int64_t{1} << 32) + 5, 8589934591};
  for (std::int32_t seed : seeds)
    for (std::int64_t index : indices)
      for (int c = 0; c < 3; ++c) {
        const std::array<long double, 2> want = pairLongHand(seed, std::uint64_t(index), std::uint32_t(c));
        const std::array<float, 2> got = counterGaussPair(seed, index, c);
        for (int p = 0; p < 2; ++p) {
          const long double ulp = std::ldexp(1.0L, std::ilogb(double(want[p])) - 23);
          EXPECT_NEAR(got[p], double(want[p]), double(ulp))
              << "seed " << seed << " index " << index << " c " << c << " part " << p;
        }
      }
}

TEST(CounterRandom, BatchesGiveThePairsOfTheirWaveVectors) {
  // Batches of every length around the blocks of the loop and the groups of
  // lanes, one crossing 2^32 in the index (the carry into the high word),
  // against the pairs one at a time, on both builds.
  const std::int64_t firsts[] = {0, 4460547, (std::int64_t{1} << 32) - 70};
  for (std::int64_t first : firsts)
    for (std::int64_t count : {1, 3, 4, 5, 63, 64, 65, 130})
      for (int ncomp = 1; ncomp <= 3; ++ncomp) {
        std::vector<float> x(std::size_t(2 * ncomp * count) + 1, 2.385f);
        counterDeviates(-4711, first, count, ncomp, x.data());
        EXPECT_EQ(x.back(), 2.385f) << "written beyond the batch";
        // Every build this processor runs gives the same bits.
        for (lanes::InstructionSet isa : {lanes::InstructionSet::baseline,
                                          lanes::InstructionSet::avx2,
                                          lanes::InstructionSet::avx512}) {
          if (!lanes::supported(isa)) continue;
          std::vector<float> other(x.size(), 2.385f);
          detail::counterDeviatesOn(isa, -4711, first, count, ncomp, other.data());
          EXPECT_EQ(other, x) << "first " << first << " count " << count << " isa " << int(isa);
        }
        for (std::int64_t m = 0; m < count; ++m)
          for (int c = 0; c < ncomp; ++c) {
            const std::array<float, 2> pair = counterGaussPair(-4711, first + m, c);
            const std::size_t at = std::size_t(2 * (m * ncomp + c));
            ASSERT_EQ(x[at], pair[0]) << "first " << first << " count " << count << " m " << m;
            ASSERT_EQ(x[at + 1], pair[1]) << "first " << first << " count " << count << " m " << m;
          }
      }
}

// The bits of the stream, pinned: a change of its arithmetic changes every
// box made with it, and must be deliberate (a new value of the run record's
// "arithmetic", and a changelog entry).
TEST(CounterRandom, TheStreamKeepsItsBits) {
  std::vector<float> x(6 * 100000);
  counterDeviates(-1, 0, 100000, 3, x.data());
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the bytes
  for (float v : x) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    for (int b = 0; b < 4; ++b) hash = (hash ^ ((bits >> (8 * b)) & 0xFFu)) * 1099511628211ull;
  }
  EXPECT_EQ(hash, 12169427231157744786ull);
}

TEST(CounterRandom, MomentsAreThoseOfAStandardNormal) {
  // 64 batches of 32768 deviates (three components of consecutive wave
  // vectors). Sample means of x, x^2, x^3, x^4 against their expectations
  // 0, 1, 0, 3 with the standard errors sqrt(E x^2k - (E x^k)^2 / n):
  // sqrt(1/n), sqrt(2/n), sqrt(15/n), sqrt(96/n).
  const int batches = 64, perBatch = 32768, ncomp = 3;
  const double expect[4] = {0.0, 1.0, 0.0, 3.0}, variance[4] = {1.0, 2.0, 15.0, 96.0};
  std::vector<double> scores[4];
  long double total[4] = {0, 0, 0, 0};
  std::int64_t index = 1000003;
  for (int b = 0; b < batches; ++b) {
    long double sum[4] = {0, 0, 0, 0};
    for (int n = 0; n < perBatch; n += 2 * ncomp, ++index) {
      float x[2 * ncomp];
      counterDeviates(-4711, index, ncomp, x);
      for (int k = 0; k < 2 * ncomp && n + k < perBatch; ++k) {
        const long double v = x[k];
        sum[0] += v;
        sum[1] += v * v;
        sum[2] += v * v * v;
        sum[3] += v * v * v * v;
      }
    }
    for (int m = 0; m < 4; ++m) {
      scores[m].push_back(double(sum[m] / perBatch - expect[m]) / std::sqrt(variance[m] / perBatch));
      total[m] += sum[m];
    }
  }
  const double all = double(batches) * perBatch;
  const char* names[4] = {"mean", "variance", "skewness", "kurtosis"};
  for (int m = 0; m < 4; ++m) {
    expectNormalScores(scores[m], names[m]);
    const double z = double(total[m] / all - expect[m]) / std::sqrt(variance[m] / all);
    EXPECT_LT(std::fabs(z), 4.5) << names[m] << " over the whole sample";
  }
}

TEST(CounterRandom, NeighboursComponentsAndSeedsAreUncorrelated) {
  // Sample correlations E[x y] of pairs of deviates that share all but one
  // of seed, index (low or high word), component and part; each times
  // sqrt(n) is a standard normal score.
  const int n = 65536;
  const std::int64_t base = 123456789;
  const std::int64_t high = std::int64_t{1} << 32;
  struct Pairing {
    std::int32_t seedB;
    std::int64_t shift;
    int cA, cB, partA, partB;
  };
  const Pairing pairings[] = {
      {-17, 1, 0, 0, 0, 0},     {-17, 1, 2, 2, 1, 1},  // neighbouring wave vectors
      {-17, 2, 1, 1, 0, 1},     {-17, high, 0, 0, 0, 0},  // index differing in its high word
      {-17, 0, 0, 1, 0, 0},     {-17, 0, 1, 2, 1, 1},   // components of one wave vector
      {-17, 0, 0, 0, 0, 1},     {-17, 0, 2, 2, 0, 1},   // real and imaginary parts
      {-18, 0, 0, 0, 0, 0},     {-18, 0, 1, 1, 1, 1},   // neighbouring seeds
      {17, 0, 2, 2, 0, 0},      {-16, 1, 0, 0, 0, 0},   // sign of the seed; seed and index
  };
  std::vector<double> z;
  for (const Pairing& p : pairings) {
    long double sum = 0;
    for (int m = 0; m < n; ++m) {
      const std::int64_t index = base + 3 * std::int64_t(m);
      const float a = counterGaussPair(-17, index, p.cA)[std::size_t(p.partA)];
      const float b = counterGaussPair(p.seedB, index + p.shift, p.cB)[std::size_t(p.partB)];
      sum += static_cast<long double>(a) * b;
    }
    z.push_back(double(sum / n) * std::sqrt(double(n)));
  }
  expectNormalScores(z, "correlations");
}

TEST(CounterRandom, SameDeviatesOnEveryThreadInAnyOrder) {
  // Wave vectors taken in reverse by a team of three threads against the
  // same wave vectors one by one in order.
  const int n = 20000, ncomp = 3;
  std::vector<float> serial(std::size_t(2 * ncomp * n)), threaded(serial.size());
  for (int m = 0; m < n; ++m)
    for (int c = 0; c < ncomp; ++c) {
      const std::array<float, 2> pair = counterGaussPair(-99, 5000000000 + m, c);
      serial[std::size_t(2 * ncomp * m + 2 * c)] = pair[0];
      serial[std::size_t(2 * ncomp * m + 2 * c + 1)] = pair[1];
    }
  const int saved = maxThreads();
  setThreads(3);
#pragma omp parallel for schedule(dynamic, 7)
  for (int m = n - 1; m >= 0; --m)
    counterDeviates(-99, 5000000000 + m, ncomp, threaded.data() + std::size_t(2 * ncomp * m));
  setThreads(saved);
  EXPECT_EQ(threaded, serial);
}
