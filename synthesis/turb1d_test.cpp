#include "synthesis/turb1d.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "tensor/tensor_integrals.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

using ::testing::ExitedWithCode;
using wind::testing::fatalReport;
using wind::testing::lines;
using wind::testing::vonKarmanF11;
using wind::testing::vonKarmanF22;

TEST(Turb1dSplineGrid, FivePointsPerDecadeAcrossTheFourierRange) {
  for (const auto& [n1, l1] : {std::pair{2, 100.0f}, std::pair{4, 4.0f}, std::pair{16, 350.0f},
                               std::pair{1024, 2000.0f}, std::pair{65536, 1.0e5f}}) {
    const Vector g = turb1dSplineGrid(n1, l1);
    // The grid runs from 0.99 of the fundamental to past 1.01 times the Nyquist
    // wave number pi N1/L1 in steps of 10^0.2, so it has
    // ceil(5 log10(1.01 N1/1.98)) + 1 points.
    const long double decades = std::log10(1.01L * n1 / 1.98L);
    const int nk = int(std::ceil(5 * decades)) + 1;
    ASSERT_EQ(g.lo(), 1);
    ASSERT_EQ(g.hi(), nk) << "N1 = " << n1;
    const long double pi = 3.14159265358979323846L;
    EXPECT_NEAR(g[1], double(0.99L * 2 * pi / l1), 1e-6 * g[1]) << "N1 = " << n1;
    EXPECT_GE(g[nk], double(1.01L * pi * n1 / l1) * (1 - 1e-6)) << "N1 = " << n1;
    for (int j = 2; j <= nk; ++j)
      EXPECT_NEAR(double(g[j] / g[j - 1]), std::pow(10.0, 0.2), 1e-5) << "N1 = " << n1;
  }
  EXPECT_EQ(turb1dSplineGrid(2, 100.0f).hi(), 2);
  EXPECT_EQ(turb1dSplineGrid(4, 4.0f).hi(), 3);
  EXPECT_EQ(turb1dSplineGrid(1024, 2000.0f).hi(), 15);
}

TEST(Turb1d, TwoPointsGiveZeroAndFourPointsOneWave) {
  auto two = lines(3, 2);
  for (auto& v : two) v[1] = v[2] = 7.0f;
  turb1d(two, kAllComponents, {0.05f, 30.0f, 2.5f}, {2, 100.0f}, -3);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(two[c][1], 0.0f) << "c = " << c;
    EXPECT_EQ(two[c][2], 0.0f) << "c = " << c;
  }
  auto four = lines(3, 4);
  turb1d(four, kAllComponents, {0.05f, 30.0f, 2.5f}, {4, 100.0f}, -3);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NE(four[c][1], 0.0f) << "c = " << c;
    EXPECT_FLOAT_EQ(four[c][3], -four[c][1]) << "c = " << c;
    EXPECT_FLOAT_EQ(four[c][4], -four[c][2]) << "c = " << c;
  }
}

// Engine against a direct long-double sum over the documented coefficients,
// with the spectra integrated at each Fourier wave number instead of
// interpolated: the spline in F k^(5/3) must follow the spectra to a few
// per mille (the spectra themselves carry the integration tolerance 1e-3), from
// the energy peak to the inertial range.
TEST(Turb1d, MatchesDirectSumWithExactSpectra) {
  const int n1 = 16;
  const float l1 = 400.0f, alphaeps = 0.08f, L = 30.0f, Gamma = 2.5f;
  const int seed = -555;
  auto spectrum = [&](float k, int a, int b) {
    std::array<int, 2> pair{a, b};
    return (long double)phiIntk2k3({alphaeps, L, Gamma}, k, pair, 0.001f);
  };
  // (0, 2) correlated by the shear; (0, 1) uncorrelated; one component alone.
  for (const std::vector<int>& comps : {std::vector<int>{0, 2}, std::vector<int>{0, 1},
                                       std::vector<int>{2}}) {
    const int ncomp = int(comps.size());
    auto f = lines(ncomp, n1);
    turb1d(f, comps, {alphaeps, L, Gamma}, {n1, l1}, seed);
    const auto ref = testing::referenceLine(n1, l1, ncomp, seed, [&](float k) {
      if (ncomp == 1) {
        testing::AmplitudeL m{};
        m[0][0] = std::sqrt(spectrum(k, comps[0], comps[0]));
        return m;
      }
      return testing::sqrt2x2(spectrum(k, comps[0], comps[0]), spectrum(k, comps[0], comps[1]),
                              spectrum(k, comps[1], comps[1]));
    });
    for (int c = 0; c < ncomp; ++c) {
      const double tol = 5e-3 * double(testing::maxAbs(ref[c]));
      double sum = 0, sumAbs = 0;
      for (int j = 1; j <= n1; ++j) {
        ASSERT_NEAR(f[c][j], double(ref[c][j - 1]), tol)
            << "comps[0] = " << comps[0] << ", c = " << c << ", j = " << j;
        sum += f[c][j];
        sumAbs += std::fabs(f[c][j]);
      }
      EXPECT_LT(std::fabs(sum), 1e-5 * sumAbs) << "mean, c = " << c;
    }
  }
}

TEST(Turb1d, Reproducible) {
  const std::array<int, 1> comps{1};
  auto a = lines(1, 64), b = lines(1, 64);
  turb1d(a, comps, {0.07f, 25.0f, 3.0f}, {64, 640.0f}, -8);
  turb1d(b, comps, {0.07f, 25.0f, 3.0f}, {64, 640.0f}, -8);
  for (int j = 1; j <= 64; ++j) ASSERT_EQ(a[0][j], b[0][j]) << "j = " << j;
}

// The periodogram of every component follows the closed-form isotropic
// spectra (Gamma = 0), which the engine reaches only through its integrals
// and splines.
TEST(Turb1d, PeriodogramFollowsTheVonKarmanSpectra) {
  const int n1 = 1024;
  const float l1 = 3000.0f, alphaeps = 0.1f, L = 40.0f;
  const double dk = double(kTwoPiF) / l1;
  testing::ExpSample power[3];
  for (int seed : {-21, -22}) {
    auto f = lines(3, n1);
    turb1d(f, kAllComponents, {alphaeps, L, 0.0f}, {n1, l1}, seed);
    for (int c = 0; c < 3; ++c) {
      const auto h = testing::lineCoefficients(f[c], n1);
      EXPECT_NEAR(std::abs(h[0]), 0.0, 1e-6) << "mean and Nyquist of c = " << c;
      for (int m = 1; m < n1 / 2; ++m) {
        const double k = m * dk;
        const double s = c == 0 ? vonKarmanF11(alphaeps, L, k) : vonKarmanF22(alphaeps, L, k);
        power[c].add(std::norm(h[m]) / (4 * dk * s));
      }
    }
  }
  testing::expectExpOne(power[0], "along-wind");
  testing::expectExpOne(power[1], "cross-wind");
  testing::expectExpOne(power[2], "vertical");
}

TEST(Turb1dDeathTest, BadComponentCountBeforeAnyIntegral) {
  const std::array<int, 4> comps{0, 1, 2, 0};
  EXPECT_EXIT(
      {
        auto f = lines(3, 8);
        turb1d(f, comps, {0.1f, 30.0f, 3.0f}, {8, 10.0f}, -1);
      },
      ExitedWithCode(1), fatalReport("Number of components passed to turb1d not correct"));
  EXPECT_EXIT(
      {
        auto f = lines(3, 8);
        turb1d(f, std::span<const int>(), {0.1f, 30.0f, 3.0f}, {8, 10.0f}, -1);
      },
      ExitedWithCode(1), fatalReport("Number of components passed to turb1d not correct"));
  EXPECT_EXIT(
      {
        auto f = lines(1, 8);
        turb1d(f, std::span(comps).first(2), {0.1f, 30.0f, 3.0f}, {8, 10.0f}, -1);
      },
      ExitedWithCode(1),
      fatalReport("turb1d: field arrays do not match the number of components or the grid"));
  EXPECT_EXIT(
      {
        auto f = lines(1, 6);
        turb1d(f, std::span(comps).first(1), {0.1f, 30.0f, 3.0f}, {6, 10.0f}, -1);
      },
      ExitedWithCode(1), fatalReport("turb1d: number of points has to be a power of 2 of at least 2"));
}

}  // namespace
}  // namespace wind
