#include "numerics/random.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "tests/support.hpp"

using namespace wind;

namespace {

constexpr std::int64_t kM = 2147483647;
constexpr float kClamp = 0.99999988079071044921875f;

// 16807^e mod (2^31 - 1) by square-and-multiply in 64-bit arithmetic: an
// independent route to the state the Schrage steps must reach.
std::int64_t powMod16807(int e) {
  std::int64_t result = 1, base = 16807;
  for (; e > 0; e >>= 1) {
    if (e & 1) result = result * base % kM;
    base = base * base % kM;
  }
  return result;
}

std::vector<float> gaussSequence(std::int32_t seed, int count) {
  RandomGenerator gen;
  std::vector<float> out;
  for (int i = 0; i < count; ++i) out.push_back(gaussDeviate(gen, seed));
  return out;
}

}  // namespace

TEST(UniformDeviate, FirstDrawsFromSeedMinusOne) {
  // The quoted values are the double quotients lastOutput / m to 8 digits; the
  // float returned lies within half a float spacing of the quotient.
  RandomGenerator gen;
  std::int32_t state = -1;
  for (double quoted : {0.41599936, 0.09196489, 0.75641049}) {
    const float u = uniformDeviate(gen, state);
    const double quotient = gen.lastOutput * 4.656612875245797e-10;
    EXPECT_NEAR(quotient, quoted, 5e-9);
    const double halfSpacing = 0.5 * (std::nextafter(u, 1.0f) - u);
    EXPECT_NEAR(u, quoted, halfSpacing + 5e-9);
    if (quoted == 0.41599936) {
      EXPECT_EQ(state, 530511967);
    }
  }
}

TEST(UniformDeviate, StateFollowsPowersOfTheMultiplier) {
  // 40 steps fill the table, then one step per draw: after n draws from seed
  // -1 the state is 16807^(40 + n) mod m.
  RandomGenerator gen;
  std::int32_t state = -1;
  EXPECT_EQ(powMod16807(41), 530511967);
  for (int n = 1; n <= 2000; ++n) {
    uniformDeviate(gen, state);
    ASSERT_EQ(state, powMod16807(40 + n)) << "after draw " << n;
  }
}

TEST(UniformDeviate, SeedsThatStartAtOneGiveOneSequence) {
  const std::vector<float> ref = gaussSequence(-1, 50);
  EXPECT_EQ(gaussSequence(0, 50), ref);
  EXPECT_EQ(gaussSequence(std::numeric_limits<std::int32_t>::min(), 50), ref);
  // A positive state on a fresh generator also starts at 1.
  EXPECT_EQ(gaussSequence(12345, 50), ref);
  EXPECT_NE(gaussSequence(-2, 50), ref);
}

TEST(UniformDeviate, StaysWithinItsRangeAndClampsTheTop) {
  RandomGenerator gen;
  std::int32_t state = -20231;
  const float lowest = static_cast<float>(1.0 / kM);
  for (int i = 0; i < 200000; ++i) {
    const float u = uniformDeviate(gen, state);
    ASSERT_GE(u, lowest);
    ASSERT_LE(u, kClamp);
  }
  // The shuffle table hands out its entries: the largest state maps to the
  // clamp value, the smallest to 1/m.
  gen.shuffleTable.fill(2147483646);
  EXPECT_EQ(uniformDeviate(gen, state), kClamp);
  gen.shuffleTable.fill(1);
  EXPECT_EQ(uniformDeviate(gen, state), static_cast<float>(4.656612875245797e-10));
}

TEST(UniformDeviate, NegativeStateReinitialises) {
  RandomGenerator fresh;
  std::int32_t s1 = -777;
  const float first = uniformDeviate(fresh, s1);

  RandomGenerator used;
  std::int32_t s2 = -3;
  for (int i = 0; i < 10; ++i) uniformDeviate(used, s2);
  s2 = -777;
  EXPECT_EQ(uniformDeviate(used, s2), first);
  EXPECT_EQ(s2, s1);
}

TEST(GaussDeviate, FirstDrawsFromSeedMinusOne) {
  // Quoted to six decimals.
  const std::vector<float> g = gaussSequence(-1, 4);
  EXPECT_NEAR(g[0], -0.836854, 1e-6);
  EXPECT_NEAR(g[1], -0.172280, 1e-6);
  EXPECT_NEAR(g[2], 0.187117, 1e-6);
  EXPECT_NEAR(g[3], 1.615440, 1e-6);
}

TEST(GaussDeviate, PairIsBuiltFromTwoUniformsInOrder) {
  // Recompute the first pair from the uniform draws in long double.
  RandomGenerator ugen;
  std::int32_t us = -4711;
  const long double a = 2.0L * uniformDeviate(ugen, us) - 1.0L;
  const long double b = 2.0L * uniformDeviate(ugen, us) - 1.0L;
  const long double rsq = a * a + b * b;
  ASSERT_LT(rsq, 1.0L);  // this seed's first pair is accepted
  const long double fac = std::sqrt(-2.0L * std::log(rsq) / rsq);

  const std::vector<float> g = gaussSequence(-4711, 2);
  EXPECT_NEAR(g[0], static_cast<double>(b * fac), 4e-7 * std::fabs(double(b * fac)));
  EXPECT_NEAR(g[1], static_cast<double>(a * fac), 4e-7 * std::fabs(double(a * fac)));
}

TEST(GaussDeviate, PendingSpareSurvivesReseeding) {
  const std::vector<float> ref = gaussSequence(-99, 2);
  RandomGenerator gen;
  std::int32_t state = -99;
  EXPECT_EQ(gaussDeviate(gen, state), ref[0]);
  EXPECT_TRUE(gen.hasSpare);
  state = -5;
  EXPECT_EQ(gaussDeviate(gen, state), ref[1]);
  EXPECT_FALSE(gen.hasSpare);
  EXPECT_EQ(state, -5);  // the spare came without touching the state
  // The next pair comes from the new seed.
  EXPECT_EQ(gaussDeviate(gen, state), gaussSequence(-5, 1)[0]);
}

TEST(GaussDeviate, SameSeedSameSequence) {
  EXPECT_EQ(gaussSequence(-31415, 1000), gaussSequence(-31415, 1000));
}

// Two-sided checks with a fixed seed: a z-score that is too large means a
// biased generator, one that is vanishingly small one that is too regular.
TEST(GaussDeviate, MomentsAndHistogramAreThoseOfAStandardNormal) {
  const int n = 400000;
  const std::vector<float> g = gaussSequence(-271828, n);
  long double s1 = 0, s2 = 0, s4 = 0, lag = 0;
  for (int i = 0; i < n; ++i) {
    const long double x = g[static_cast<std::size_t>(i)];
    s1 += x;
    s2 += x * x;
    s4 += x * x * x * x;
    if (i > 0) lag += x * g[static_cast<std::size_t>(i - 1)];
  }
  const double sn = std::sqrt(double(n));
  const double zMean = double(s1 / n) * sn;                       // sd of mean: 1/sqrt(n)
  const double zVar = double(s2 / n - 1) * sn / std::sqrt(2.0);   // sd of m2: sqrt(2/n)
  const double zKurt = double(s4 / n - 3) * sn / std::sqrt(96.0); // sd of m4: sqrt(96/n)
  const double zLag = double(lag / (n - 1)) * sn;                 // sd of lag-1 product mean
  for (double z : {zMean, zVar, zKurt, zLag}) {
    EXPECT_LT(std::fabs(z), 4.0) << "mean " << zMean << " var " << zVar << " kurt " << zKurt
                                 << " lag " << zLag;
    EXPECT_GT(std::fabs(z), 1e-3) << "mean " << zMean << " var " << zVar << " kurt " << zKurt
                                  << " lag " << zLag;
  }

  // Chi-square over 40 equiprobable bins of the normal distribution.
  const int bins = 40;
  std::vector<double> edges;  // interior edges: Phi(x) = i / bins
  for (int i = 1; i < bins; ++i) {
    const double p = double(i) / bins;
    double lo = -10, hi = 10;  // bisection on the normal CDF
    for (int it = 0; it < 200; ++it) {
      const double mid = 0.5 * (lo + hi);
      (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
    }
    edges.push_back(0.5 * (lo + hi));
  }
  std::vector<int> count(bins, 0);
  for (float x : g) {
    int k = 0;
    while (k < bins - 1 && x >= edges[static_cast<std::size_t>(k)]) ++k;
    ++count[static_cast<std::size_t>(k)];
  }
  const double expected = double(n) / bins;
  double chi2 = 0;
  for (int c : count) chi2 += (c - expected) * (c - expected) / expected;
  const double dof = bins - 1, sd = std::sqrt(2 * dof);
  EXPECT_LT(chi2, dof + 4 * sd);
  EXPECT_GT(chi2, dof - 3.5 * sd);  // not suspiciously close to the expected counts
}

TEST(UniformDeviate, HistogramIsFlat) {
  RandomGenerator gen;
  std::int32_t state = -161803;
  const int n = 400000, bins = 64;
  std::vector<int> count(bins, 0);
  long double s1 = 0;
  for (int i = 0; i < n; ++i) {
    const float u = uniformDeviate(gen, state);
    s1 += u;
    ++count[static_cast<std::size_t>(u * bins)];
  }
  const double expected = double(n) / bins;
  double chi2 = 0;
  for (int c : count) chi2 += (c - expected) * (c - expected) / expected;
  const double dof = bins - 1, sd = std::sqrt(2 * dof);
  EXPECT_LT(chi2, dof + 4 * sd);
  EXPECT_GT(chi2, dof - 3.5 * sd);
  const double zMean = double(s1 / n - 0.5L) * std::sqrt(12.0 * n);
  EXPECT_LT(std::fabs(zMean), 4.0);
  EXPECT_GT(std::fabs(zMean), 1e-3);
}

// The stream after skipping n deviates is the stream after drawing them,
// member by member (shuffle table, last output, spare and its flag, state),
// from a fresh generator (the skip seeds it) and from one with a pending
// spare; and it draws on alike.
TEST(GaussStream, SkippingEqualsDrawing) {
  for (std::int32_t seed : {-1, -4711, -271828})
    for (int before : {0, 1, 6})
      for (std::int64_t n : {0, 1, 2, 3, 8, 99, 1000, 4097}) {
        RandomStream drawn{.gen = {}, .state = seed};
        for (int k = 0; k < before; ++k) gaussDeviate(drawn.gen, drawn.state);
        RandomStream skipped = drawn;
        for (std::int64_t k = 0; k < n; ++k) gaussDeviate(drawn.gen, drawn.state);
        skipGaussDeviates(skipped.gen, skipped.state, n);
        ASSERT_EQ(skipped, drawn) << "seed " << seed << " drawn first " << before << " skipped " << n;
        for (int k = 0; k < 3; ++k)
          EXPECT_EQ(gaussDeviate(skipped.gen, skipped.state), gaussDeviate(drawn.gen, drawn.state));
      }
}

// Filling a buffer in blocks gives the deviates of the one-by-one draw and
// leaves the stream as they leave it, from a fresh generator, one with a
// pending spare and one asked to re-seed (a negative state), for even and odd
// lengths; buffers drawn one after the other continue the sequence.
TEST(GaussStream, BlocksEqualTheDrawOneByOne) {
  for (std::int32_t seed : {-1, -4711, 0})
    for (int before : {0, 1, 6, -1})
      for (std::size_t n : {std::size_t(0), std::size_t(1), std::size_t(2), std::size_t(7),
                            std::size_t(64), std::size_t(1001)}) {
        RandomStream drawn{.gen = {}, .state = seed};
        for (int k = 0; k < std::abs(before); ++k) gaussDeviate(drawn.gen, drawn.state);
        if (before < 0) drawn.state = -17;  // re-seed with the spare pending
        RandomStream blocks = drawn;
        std::vector<float> one(2 * n), filled(2 * n);
        for (float& v : one) v = gaussDeviate(drawn.gen, drawn.state);
        gaussDeviates(blocks, std::span<float>(filled).first(n));
        gaussDeviates(blocks, std::span<float>(filled).subspan(n));
        EXPECT_EQ(filled, one) << "seed " << seed << " before " << before << " n " << n;
        EXPECT_EQ(blocks, drawn) << "seed " << seed << " before " << before << " n " << n;
      }
}

// States recorded in one pass at slab boundaries equal the replayed ones, and
// a state sent as bytes (as between processes) draws what the sequence holds
// at its offset.
TEST(GaussStream, RecordedStatesTravelAsBytes) {
  const std::vector<float> sequence = gaussSequence(-2385, 2000);
  const std::vector<std::int64_t> offsets = {0, 3, 3, 640, 1001, 1998};
  std::vector<RandomStream> states(offsets.size());
  gaussStreamStates(-2385, offsets, states);
  for (std::size_t k = 0; k < offsets.size(); ++k) {
    EXPECT_EQ(states[k], gaussStreamAt(-2385, offsets[k])) << "offset " << offsets[k];
    unsigned char bytes[sizeof(RandomStream)];
    std::memcpy(bytes, &states[k], sizeof bytes);
    RandomStream received;
    std::memcpy(&received, bytes, sizeof bytes);
    EXPECT_EQ(gaussDeviate(received.gen, received.state), sequence[std::size_t(offsets[k])]);
    EXPECT_EQ(gaussDeviate(received.gen, received.state), sequence[std::size_t(offsets[k]) + 1]);
  }
}

TEST(GaussStreamDeathTest, OffsetsOutOfOrderOrTooFewStatesAreFatal) {
  std::vector<RandomStream> states(2);
  const std::int64_t decreasing[] = {5, 4};
  EXPECT_EXIT(gaussStreamStates(-1, decreasing, states), ::testing::ExitedWithCode(1),
              wind::testing::fatalReport("gaussStreamStates: offsets must not decrease"));
  const std::int64_t three[] = {1, 2, 3};
  EXPECT_EXIT(gaussStreamStates(-1, three, states), ::testing::ExitedWithCode(1),
              wind::testing::fatalReport("gaussStreamStates: fewer states than offsets"));
}
