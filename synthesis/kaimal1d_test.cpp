#include "synthesis/kaimal1d.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "tests/support.hpp"

namespace wind {
namespace {

using ::testing::ExitedWithCode;
using wind::testing::fatalReport;
using wind::testing::lines;

// f = k z / 2pi in long double.
long double reducedFrequency(float k, float z) {
  return (long double)k * z / (long double)kTwoPiF;
}

TEST(KaimalSpectrum, ReducedFormsAreTheSurfaceLayerSpectra) {
  const float ustar = 0.47f, z = 12.5f, U0 = 9.0f;
  for (float k : {0.0123f, 0.3f, 1.5707964f, 7.3f}) {
    const long double f = reducedFrequency(k, z);
    const long double u2 = (long double)ustar * ustar;
    const long double expected[3] = {
        52.5L * f / std::pow(1 + 33 * f, 5.0L / 3), 8.5L * f / std::pow(1 + 9.5L * f, 5.0L / 3),
        1.05L * f / (1 + 5.3L * std::pow(f, 5.0L / 3))};
    for (int c = 0; c < 3; ++c) {
      const long double got = (long double)k * kaimalSpectrum(c, ustar, z, U0, k) / u2;
      EXPECT_NEAR(double(got / expected[c]), 1.0, 2e-6) << "c = " << c << ", k = " << k;
    }
    const long double cross = -6.0L * f / std::pow(1 + 9.6L * f, 7.0L / 3);
    EXPECT_NEAR(double(k * kaimalCrossSpectrum(ustar, z, U0, k) / u2 / cross), 1.0, 2e-6)
        << "k = " << k;
  }
  EXPECT_EQ(kaimalSpectrum(3, ustar, z, U0, 0.3f), 0.0f);
  EXPECT_EQ(kaimalSpectrum(-1, ustar, z, U0, 0.3f), 0.0f);
}

TEST(TurbKaimal1d, WorkedCaseOfFourPoints) {
  auto f = lines(1, 4);
  const std::array<int, 1> comps{0};
  turbKaimal1d(f, comps, {4, 4.0f}, 1.0f, 10.0f, 8.0f, -1);
  const float expected[4] = {-0.339476f, -0.069887f, 0.339476f, 0.069887f};
  for (int j = 1; j <= 4; ++j) EXPECT_NEAR(f[0][j], expected[j - 1], 1e-6) << "j = " << j;
}

TEST(TurbKaimal1d, TwoPointsGiveZeroAndFourPointsOneWave) {
  auto two = lines(3, 2);
  for (auto& v : two) v[1] = v[2] = 7.0f;  // must be overwritten
  turbKaimal1d(two, kAllComponents, {2, 50.0f}, 0.6f, 10.0f, 8.0f, -5);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(two[c][1], 0.0f) << "c = " << c;
    EXPECT_EQ(two[c][2], 0.0f) << "c = " << c;
  }
  // Four points hold only the wave number 2pi/L1: u(x + L1/2) = -u(x).
  auto four = lines(3, 4);
  turbKaimal1d(four, kAllComponents, {4, 50.0f}, 0.6f, 10.0f, 8.0f, -5);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NE(four[c][1], 0.0f);
    EXPECT_FLOAT_EQ(four[c][3], -four[c][1]) << "c = " << c;
    EXPECT_FLOAT_EQ(four[c][4], -four[c][2]) << "c = " << c;
  }
}

// Engine against a direct long-double sum over the documented coefficients.
// With the pair (0, 2) the amplitude is the root of the matrix with the
// cross-spectrum; with (2, 0) it is diagonal: the order decides. A component
// listed twice gives two independent lines of the same spectrum.
TEST(TurbKaimal1d, CrossSpectrumForEitherOrderOfTheAlongWindVerticalPair) {
  const int n1 = 64;
  const float l1 = 317.0f, ustar = 0.52f, z = 8.0f, U0 = 7.0f;
  const int seed = -7341;
  for (const std::array<int, 2> comps : {std::array<int, 2>{0, 2}, std::array<int, 2>{2, 0},
                                         std::array<int, 2>{0, 0}}) {
    auto f = lines(2, n1);
    turbKaimal1d(f, comps, {n1, l1}, ustar, z, U0, seed);
    const auto ref = testing::referenceLine(n1, l1, 2, seed, [&](float k) {
      const long double a = kaimalSpectrum(comps[0], ustar, z, U0, k);
      const long double d = kaimalSpectrum(comps[1], ustar, z, U0, k);
      const long double b =
          comps[0] != comps[1] ? kaimalCrossSpectrum(ustar, z, U0, k) : 0.0L;
      return testing::sqrt2x2(a, b, d);
    });
    for (int c = 0; c < 2; ++c) {
      const double tol = 2e-6 * double(testing::maxAbs(ref[c]));
      for (int j = 1; j <= n1; ++j)
        ASSERT_NEAR(f[c][j], double(ref[c][j - 1]), tol)
            << "pair (" << comps[0] << ", " << comps[1] << "), c = " << c << ", j = " << j;
    }
  }
}

TEST(TurbKaimal1d, LinearInFrictionVelocity) {
  const int n1 = 256;
  auto a = lines(3, n1), b = lines(3, n1), zero = lines(3, n1);
  turbKaimal1d(a, kAllComponents, {n1, 900.0f}, 0.385f, 15.0f, 10.0f, -31);
  turbKaimal1d(b, kAllComponents, {n1, 900.0f}, 0.77f, 15.0f, 10.0f, -31);
  turbKaimal1d(zero, kAllComponents, {n1, 900.0f}, 0.0f, 15.0f, 10.0f, -31);
  for (int c = 0; c < 3; ++c) {
    double scale = 0;
    for (int j = 1; j <= n1; ++j) scale = std::max(scale, std::fabs(double(a[c][j])));
    ASSERT_GT(scale, 0.0);
    for (int j = 1; j <= n1; ++j) {
      ASSERT_NEAR(b[c][j], 2.0 * a[c][j], 1e-5 * scale) << "c = " << c << ", j = " << j;
      ASSERT_EQ(zero[c][j], 0.0f) << "c = " << c << ", j = " << j;
    }
  }
}

TEST(TurbKaimal1d, ReproducibleWithZeroMean) {
  const int n1 = 512;
  const std::array<int, 2> comps{1, 2};
  auto a = lines(2, n1), b = lines(2, n1), other = lines(2, n1);
  turbKaimal1d(a, comps, {n1, 2000.0f}, 0.5f, 30.0f, 12.0f, -2024);
  turbKaimal1d(b, comps, {n1, 2000.0f}, 0.5f, 30.0f, 12.0f, -2024);
  turbKaimal1d(other, comps, {n1, 2000.0f}, 0.5f, 30.0f, 12.0f, -2025);
  bool differs = false;
  for (int c = 0; c < 2; ++c) {
    double sum = 0, sumAbs = 0;
    for (int j = 1; j <= n1; ++j) {
      ASSERT_EQ(a[c][j], b[c][j]) << "c = " << c << ", j = " << j;
      differs = differs || a[c][j] != other[c][j];
      sum += a[c][j];
      sumAbs += std::fabs(a[c][j]);
    }
    EXPECT_LT(std::fabs(sum), 1e-5 * sumAbs) << "mean of c = " << c;
  }
  EXPECT_TRUE(differs) << "another seed gives another line";
}

// The periodogram of every component follows its spectrum, and the
// along-wind/vertical co-spectrum follows the cross-spectrum.
TEST(TurbKaimal1d, PeriodogramFollowsTheKaimalSpectra) {
  const int n1 = 4096;
  const float l1 = 6000.0f, ustar = 0.45f, z = 2.5f, U0 = 10.0f;
  const double dk = double(kTwoPiF) / l1;
  testing::ExpSample power[3];
  double coSum = 0, coExpected = 0;
  for (int seed : {-11, -12}) {
    auto f = lines(3, n1);
    turbKaimal1d(f, kAllComponents, {n1, l1}, ustar, z, U0, seed);
    std::vector<std::vector<std::complex<double>>> h;
    for (int c = 0; c < 3; ++c) h.push_back(testing::lineCoefficients(f[c], n1));
    for (int m = 1; m < n1 / 2; ++m) {
      const float k = static_cast<float>(m * double(kTwoPiF) / l1);
      double s[3];
      for (int c = 0; c < 3; ++c) {
        s[c] = kaimalSpectrum(c, ustar, z, U0, k);
        power[c].add(std::norm(h[c][m]) / (4 * dk * s[c]));
      }
      // Re(h0 conj h2) / (4 dk sqrt(S00 S22)) has mean rho and variance <= 1.
      const double norm = 4 * dk * std::sqrt(s[0] * s[2]);
      coSum += (h[0][m] * std::conj(h[2][m])).real() / norm;
      coExpected += kaimalCrossSpectrum(ustar, z, U0, k) / std::sqrt(s[0] * s[2]);
    }
  }
  testing::expectExpOne(power[0], "along-wind");
  testing::expectExpOne(power[1], "cross-wind");
  testing::expectExpOne(power[2], "vertical");
  const double n = 2.0 * (n1 / 2 - 1);
  EXPECT_LT(coExpected / n, -0.2) << "the test needs a clearly non-zero coherence";
  EXPECT_NEAR(coSum / n, coExpected / n, 4.5 / std::sqrt(n));
}

TEST(TurbKaimal1dDeathTest, BadComponentCountOrArrays) {
  const std::array<int, 4> comps{0, 1, 2, 0};
  for (std::size_t ncomp : {0, 4})
    EXPECT_EXIT(
        {
          auto f = lines(3, 8);
          turbKaimal1d(f, std::span(comps).first(ncomp), {8, 10.0f}, 0.4f, 10.0f, 8.0f, -1);
        },
        ExitedWithCode(1), fatalReport("Number of components passed to turbKaimal1d not correct"))
        << "ncomp = " << ncomp;
  EXPECT_EXIT(
      {
        auto f = lines(1, 8);
        turbKaimal1d(f, std::span(comps).first(1), {16, 10.0f}, 0.4f, 10.0f, 8.0f, -1);
      },
      ExitedWithCode(1),
      fatalReport("turbKaimal1d: field arrays do not match the number of components or the grid"));
  EXPECT_EXIT(
      {
        auto f = lines(1, 1);
        turbKaimal1d(f, std::span(comps).first(1), {1, 10.0f}, 0.4f, 10.0f, 8.0f, -1);
      },
      ExitedWithCode(1),
      fatalReport("turbKaimal1d: number of points has to be a power of 2 of at least 2"));
}

}  // namespace
}  // namespace wind
