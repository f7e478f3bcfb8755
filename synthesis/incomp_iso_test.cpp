#include "synthesis/incomp_iso.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "tests/support.hpp"

namespace wind {
namespace {

using ::testing::ExitedWithCode;
using wind::testing::fatalReport;
using wind::testing::planes;

constexpr long double kPiL = 3.141592653589793238462643383279502884L;

TEST(IsoSpectrum2d, IntegratesToTheVariance) {
  // int_0^inf E dk by the trapezoidal rule in ln k over 14 decades; the tails
  // beyond hold about 1e-6 of the total.
  for (const auto& [sig2, ls] : {std::pair{2.385f, 7.5f}, std::pair{0.61f, 140.0f}}) {
    const long double lo = std::log(1e-7L / ls), hi = std::log(1e7L / ls);
    const int n = 20000;
    const long double h = (hi - lo) / n;
    long double sum = 0;
    for (int i = 0; i <= n; ++i) {
      const long double k = std::exp(lo + i * h);
      sum += (i == 0 || i == n ? 0.5L : 1.0L) * k * isoSpectrum2d(sig2, ls, float(k));
    }
    EXPECT_NEAR(double(sum * h / sig2), 1.0, 1e-5) << "Ls = " << ls;
  }
  EXPECT_EQ(isoSpectrum2d(1.0f, 5.0f, 0.0f), 0.0f);
}

TEST(IsoTensor2d, TransverseWithTheTraceOfTheSpectrum) {
  const float sig2 = 1.7f, ls = 12.0f;
  for (const auto& [k1, k2] : {std::pair{0.05f, 0.0f}, std::pair{-0.031f, 0.27f},
                               std::pair{0.0f, -1.3f}, std::pair{2.9f, 0.8f}}) {
    const Mat2 phi = isoTensor2d(sig2, ls, k1, k2);
    const long double k = std::hypot((long double)k1, (long double)k2);
    const long double e = isoSpectrum2d(sig2, ls, float(k));
    const long double scale = e / (kPiL * k);  // the trace E/(pi |k|)
    EXPECT_NEAR(double((phi[0].first + phi[1].second) / scale), 1.0, 1e-5);
    EXPECT_EQ(phi[0].second, phi[1].first);
    // k . Phi = 0: no energy in the longitudinal direction.
    EXPECT_NEAR(k1 * phi[0].first + k2 * phi[1].first, 0.0, double(1e-6L * k * scale));
    EXPECT_NEAR(k1 * phi[0].second + k2 * phi[1].second, 0.0, double(1e-6L * k * scale));
  }
}

// Engine against a direct long-double sum over the documented coefficients.
TEST(IncompIso, MatchesDirectSumOfTheDocumentedCoefficients) {
  const int n1 = 8, n2 = 16;
  const float l1 = 90.0f, l2 = 130.0f, sig2 = 2.385f, ls = 14.0f;
  const int seed = -4242;
  auto root = [&](float k1, float k2) {
    const Mat2 phi = isoTensor2d(sig2, ls, k1, k2);
    return testing::sqrt2x2(phi[0].first, phi[0].second, phi[1].second);
  };
  {
    const std::array<int, 2> comps{0, 1};
    auto f = planes(2, n1, n2);
    IncompIso(f, comps, {n1, n2, Pair2(l1, l2)}, sig2, ls, seed);
    const auto ref = testing::referencePlane(n1, n2, l1, l2, 2, seed, root);
    for (int c = 0; c < 2; ++c) {
      const double tol = 3e-6 * double(testing::maxAbs(ref[c]));
      for (int i = 1; i <= n1; ++i)
        for (int j = 1; j <= n2; ++j)
          ASSERT_NEAR(f[c][i][j], double(ref[c][std::size_t(i - 1) * n2 + j - 1]), tol)
              << "c = " << c << ", (" << i << ", " << j << ")";
    }
  }
  {
    // One component, the second one: amplitude sqrt(Phi_22).
    const std::array<int, 1> comps{1};
    auto f = planes(1, n1, n2);
    IncompIso(f, comps, {n1, n2, Pair2(l1, l2)}, sig2, ls, seed);
    const auto ref = testing::referencePlane(n1, n2, l1, l2, 1, seed, [&](float k1, float k2) {
      testing::AmplitudeL m{};
      // On the line k1 = 0 the rounded |k|^2 - k2^2 can come out a hair
      // below zero: no energy there.
      m[0][0] = std::sqrt(std::max(0.0L, (long double)isoTensor2d(sig2, ls, k1, k2)[1].second));
      return m;
    });
    const double tol = 3e-6 * double(testing::maxAbs(ref[0]));
    for (int i = 1; i <= n1; ++i)
      for (int j = 1; j <= n2; ++j)
        ASSERT_NEAR(f[0][i][j], double(ref[0][std::size_t(i - 1) * n2 + j - 1]), tol)
            << "(" << i << ", " << j << ")";
  }
}

// |k.h| over |k| |h|, summed over the modes, of the plane fields (u1, u2).
// Every Fourier coefficient vector of the model is normal to its wave vector.
// The tensor is singular, so the square root turns the float rounding of
// |k|^2 (relative 6e-8) into a longitudinal part of relative size up to about
// sqrt(6e-8) per mode (a ratio of normal deviates sets the spread between
// modes, so the ratio of the sums is taken); a field with divergence gives a
// ratio of order 1.
double divergenceRatio(const Matrix& u1, const Matrix& u2, int n1, int n2, float l1, float l2) {
  const auto h0 = testing::planeCoefficients(u1, n1, n2);
  const auto h1 = testing::planeCoefficients(u2, n1, n2);
  double divSq = 0, sizeSq = 0;
  for (int i = 1; i <= n1; ++i) {
    const int m1 = i - 1 < n1 / 2 ? i - 1 : i - 1 - n1;
    const double k1 = m1 * 6.283185307179586 / l1;
    for (int l = 1; l <= n2 / 2 + 1; ++l) {
      // The highest k2 is its own alias: entries of that line past the
      // highest k1 are the mirrors of generated ones and belong to -k2.
      const double k2 = (l == n2 / 2 + 1 && i > n1 / 2 + 1 ? -1 : 1) * (l - 1) *
                        6.283185307179586 / l2;
      const double kk = std::hypot(k1, k2);
      if (kk == 0) continue;
      const std::complex<double> div = k1 * h0(i, l) + k2 * h1(i, l);
      const double size = kk * std::sqrt(std::norm(h0(i, l)) + std::norm(h1(i, l)));
      divSq += std::norm(div);
      sizeSq += size * size;
    }
  }
  return std::sqrt(divSq / sizeSq);
}

TEST(IncompIso, ListedOrderIsHonouredAndFieldIsDivergenceFree) {
  const int n1 = 32, n2 = 16;
  const float l1 = 200.0f, l2 = 100.0f;
  const std::array<int, 2> forward{0, 1}, backward{1, 0}, twice{1, 1};
  auto a = planes(2, n1, n2), b = planes(2, n1, n2), c = planes(2, n1, n2);
  IncompIso(a, forward, {n1, n2, Pair2(l1, l2)}, 1.3f, 9.0f, -77);
  IncompIso(b, backward, {n1, n2, Pair2(l1, l2)}, 1.3f, 9.0f, -77);
  IncompIso(c, twice, {n1, n2, Pair2(l1, l2)}, 1.3f, 9.0f, -77);
  // A component listed twice is the same field twice.
  for (int i = 1; i <= n1; ++i)
    for (int j = 1; j <= n2; ++j) ASSERT_EQ(c[0][i][j], c[1][i][j]) << "(" << i << ", " << j << ")";

  // Both orders give divergence-free fields once each file is read as the
  // component listed for it: (a[0], a[1]) and (b[1], b[0]) are (u1, u2).
  for (const auto& [u1, u2] : {std::pair{&a[0], &a[1]}, std::pair{&b[1], &b[0]}}) {
    const double ratio = divergenceRatio(*u1, *u2, n1, n2, l1, l2);
    EXPECT_LT(ratio, 4e-4);
    EXPECT_GT(ratio, 0.0) << "rounding should leave a trace";
  }
  // Read in the wrong order the fields are far from divergence-free.
  EXPECT_GT(divergenceRatio(b[0], b[1], n1, n2, l1, l2), 0.1);
}

TEST(IncompIso, OneComponentStaysFiniteWhereRoundingMakesItsSpectrumNegative) {
  // Along k1 = 0 the second component's spectrum is |k|^2 - k2^2 = 0 in exact
  // arithmetic but can round below zero; its amplitude must be 0, not NaN.
  const int n1 = 16, n2 = 64;
  const float l1 = 90.0f, l2 = 130.0f;
  bool negative = false;
  for (int l = 2; l <= n2 / 2 + 1; ++l)
    negative = negative ||
               isoTensor2d(2.385f, 14.0f, 0.0f, float((l - 1) * double(kTwoPiF) / l2))[1]
                       .second < 0.0f;
  ASSERT_TRUE(negative) << "the grid no longer exercises the rounding";
  const std::array<int, 1> comps{1};
  auto f = planes(1, n1, n2);
  IncompIso(f, comps, {n1, n2, Pair2(l1, l2)}, 2.385f, 14.0f, -4242);
  for (int i = 1; i <= n1; ++i)
    for (int j = 1; j <= n2; ++j) ASSERT_TRUE(std::isfinite(f[0][i][j])) << i << ", " << j;
}

TEST(IncompIso, ReproducibleWithZeroMean) {
  const int n1 = 16, n2 = 64;
  const std::array<int, 1> comps{0};
  auto a = planes(1, n1, n2), b = planes(1, n1, n2);
  IncompIso(a, comps, {n1, n2, Pair2(40.0f, 160.0f)}, 0.8f, 6.0f, -5);
  IncompIso(b, comps, {n1, n2, Pair2(40.0f, 160.0f)}, 0.8f, 6.0f, -5);
  double sum = 0, sumAbs = 0;
  for (int i = 1; i <= n1; ++i)
    for (int j = 1; j <= n2; ++j) {
      ASSERT_EQ(a[0][i][j], b[0][i][j]);
      sum += a[0][i][j];
      sumAbs += std::fabs(a[0][i][j]);
    }
  EXPECT_GT(sumAbs, 0.0);
  EXPECT_LT(std::fabs(sum), 1e-5 * sumAbs);
}

TEST(IncompIso, SmallestGridCarriesOnlyTransverseWaves) {
  // N1 = N2 = 2: three real modes at the highest frequencies, (k1, 0), (0, k2)
  // and (k1, k2). A transverse field has no component 0 in the wave along axis
  // 1 and no component 1 in the wave along axis 2, so component 0 changes sign
  // along axis 2 within each row and component 1 along axis 1 within each
  // column (up to the square root of the rounding of |k|^2, see above).
  const std::array<int, 2> comps{0, 1};
  auto f = planes(2, 2, 2);
  IncompIso(f, comps, {2, 2, Pair2(10.0f, 12.0f)}, 1.0f, 3.0f, -3);
  double scale = 0;
  for (int c = 0; c < 2; ++c)
    for (int i = 1; i <= 2; ++i)
      for (int j = 1; j <= 2; ++j) scale = std::max(scale, std::fabs(double(f[c][i][j])));
  for (int i = 1; i <= 2; ++i) {
    EXPECT_NE(f[0][i][1], 0.0f);
    EXPECT_NEAR(f[0][i][1] + f[0][i][2], 0.0, 1e-2 * scale) << "row " << i;
  }
  for (int j = 1; j <= 2; ++j) {
    EXPECT_NE(f[1][1][j], 0.0f);
    EXPECT_NEAR(f[1][1][j] + f[1][2][j], 0.0, 1e-2 * scale) << "column " << j;
  }
}

// The periodogram follows Phi_cc dk1 dk2, and the sample variance the sum of
// the spectrum over the grid.
TEST(IncompIso, PeriodogramAndVarianceFollowTheModel) {
  const int n1 = 128, n2 = 128;
  const float l1 = 300.0f, l2 = 500.0f, sig2 = 2.3f, ls = 20.0f;
  const double dk1 = double(kTwoPiF) / l1, dk2 = double(kTwoPiF) / l2;
  const std::array<int, 2> comps{0, 1};
  auto f = planes(2, n1, n2);
  IncompIso(f, comps, {n1, n2, Pair2(l1, l2)}, sig2, ls, -2718);
  for (int c = 0; c < 2; ++c) {
    const auto h = testing::planeCoefficients(f[c], n1, n2);
    testing::ExpSample power;
    long double expectedVar = 0, varOfVar = 0;
    for (int i = 1; i <= n1; ++i) {
      const int m1 = i - 1 < n1 / 2 ? i - 1 : i - 1 - n1;
      const float k1 = static_cast<float>(m1 * double(kTwoPiF) / l1);
      for (int l = 1; l <= n2 / 2 + 1; ++l) {
        const bool line = l == 1 || l == n2 / 2 + 1;
        if ((line && i > n1 / 2 + 1) || (i == 1 && l == 1)) continue;  // mirrors, mean
        const float k2 = static_cast<float>((l - 1) * double(kTwoPiF) / l2);
        const Mat2 phi = isoTensor2d(sig2, ls, k1, k2);
        const double phicc = c == 0 ? phi[0].first : phi[1].second;
        // Share of the spatial variance: 2 Phi dk1 dk2 for a wave vector and
        // its mirror, Phi dk1 dk2/2 for a real self-mirrored one.
        const bool self = line && (i == 1 || i == n1 / 2 + 1);
        const double share = (self ? 0.5 : 2.0) * dk1 * dk2 * phicc;
        expectedVar += share;
        varOfVar += (self ? 2.0 : 1.0) * share * share;
        if (!line && phicc > 0) power.add(std::norm(h(i, l)) / (2 * share));
      }
    }
    testing::expectExpOne(power, c == 0 ? "component 0" : "component 1");
    long double var = 0;
    for (int i = 1; i <= n1; ++i)
      for (int j = 1; j <= n2; ++j) var += (long double)f[c][i][j] * f[c][i][j];
    var /= n1 * n2;
    EXPECT_NEAR(double(var), double(expectedVar), double(4.5L * std::sqrt(varOfVar)))
        << "c = " << c;
    // The box is 15 to 25 length scales wide and resolves k Ls up to 26: the
    // discrete sum holds most of sig2.
    EXPECT_GT(double(expectedVar / sig2), 0.8) << "c = " << c;
    EXPECT_LT(double(expectedVar / sig2), 1.05) << "c = " << c;
  }
}

TEST(IncompIsoDeathTest, BadComponents) {
  const std::array<int, 3> comps{0, 1, 2};
  EXPECT_EXIT(
      {
        auto f = planes(3, 4, 4);
        IncompIso(f, comps, {4, 4, Pair2(10.0f, 10.0f)}, 1.0f, 2.0f, -1);
      },
      ExitedWithCode(1), fatalReport("Number of components not correct (pellam IncompIso)"));
  EXPECT_EXIT(
      {
        auto f = planes(1, 4, 4);
        IncompIso(f, std::span<const int>(), {4, 4, Pair2(10.0f, 10.0f)}, 1.0f, 2.0f, -1);
      },
      ExitedWithCode(1), fatalReport("Number of components not correct (pellam IncompIso)"));
  const std::array<int, 1> vertical{2};
  EXPECT_EXIT(
      {
        auto f = planes(1, 4, 4);
        IncompIso(f, vertical, {4, 4, Pair2(10.0f, 10.0f)}, 1.0f, 2.0f, -1);
      },
      ExitedWithCode(1),
      fatalReport("IncompIso: the component of a one-component field has to be 0 or 1"));
  const std::array<int, 2> acrossAndUp{1, 2};
  EXPECT_EQ(testing::fatalMessage([&] {
              auto f = planes(2, 4, 4);
              IncompIso(f, acrossAndUp, {4, 4, Pair2(10.0f, 10.0f)}, 1.0f, 2.0f, -1);
            }),
            "IncompIso: the components of a two-component field have to be 0 or 1");
  EXPECT_EXIT(
      {
        auto f = planes(2, 4, 8);
        IncompIso(f, std::span(comps).first(2), {4, 4, Pair2(10.0f, 10.0f)}, 1.0f, 2.0f, -1);
      },
      ExitedWithCode(1),
      fatalReport("IncompIso: field arrays do not match the number of components or the grid"));
}

}  // namespace
}  // namespace wind
