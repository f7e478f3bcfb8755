#include "tensor/spectra.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "numerics/interpolation.hpp"
#include "tensor/tensor_integrals.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

using ::testing::ExitedWithCode;
using wind::testing::fatalReport;
using wind::testing::vonKarmanF11;

// Model parameters of a typical neutral surface layer (alphaeps in m^(4/3)/s^2).
constexpr float kAlphaeps = 0.1f;
constexpr float kL = 33.6f;
constexpr float kGamma = 3.9f;
constexpr float kTol = 0.0001f;

// Knots 0 .. n-1 spread evenly over [a, b].
std::vector<float> evenKnots(int n, double a, double b) {
  std::vector<float> x(n);
  for (int m = 0; m < n; ++m) x[m] = static_cast<float>(a + (b - a) * m / (n - 1));
  return x;
}

// ---------------------------------------------------------------- splineFourierIntegral

TEST(SplineFourierIntegral, ConstantOverHalfPeriod) {
  // int_0^pi cos = 0 and int_0^pi sin = 2; a spline through a constant is that
  // constant, so only the end slopes of the natural ends and float rounding err.
  const int n = 21;
  const std::vector<float> x = evenKnots(n, 0.0, M_PI);
  const std::vector<float> y(n, 1.0f);
  EXPECT_NEAR(splineFourierIntegral(x, y, n, kNaturalSpline, kNaturalSpline, 1.0f, true), 0.0,
              1e-6);
  EXPECT_NEAR(splineFourierIntegral(x, y, n, kNaturalSpline, kNaturalSpline, 1.0f, false), 2.0,
              1e-6);
  // omega = 0: the plain integral (pi) and 0.
  EXPECT_NEAR(splineFourierIntegral(x, y, n, kNaturalSpline, kNaturalSpline, 0.0f, true), M_PI,
              1e-6);
  EXPECT_EQ(splineFourierIntegral(x, y, n, kNaturalSpline, kNaturalSpline, 0.0f, false), 0.0f);
}

// int_a^b x^3 g(omega x) dx in long double, from the antiderivatives of x^3 cos
// and x^3 sin.
long double cubicFourier(long double a, long double b, long double w, bool useCos) {
  const auto F = [w, useCos](long double x) {
    const long double c = std::cos(w * x), s = std::sin(w * x);
    const long double w2 = w * w, w3 = w2 * w, w4 = w3 * w;
    if (useCos)
      return x * x * x * s / w + 3 * x * x * c / w2 - 6 * x * s / w3 - 6 * c / w4;
    return -x * x * x * c / w + 3 * x * x * s / w2 + 6 * x * c / w3 - 6 * s / w4;
  };
  return F(b) - F(a);
}

TEST(SplineFourierIntegral, ClampedCubicIsExactForEveryOmega) {
  // A spline clamped with the true end slopes reproduces a cubic exactly, so
  // the result must match the closed form up to float rounding of the data.
  const double a = 0.3, b = 2.385;
  for (int n : {2, 5, 17}) {
    std::vector<float> x = evenKnots(n, a, b);
    std::vector<float> y(n);
    for (int m = 0; m < n; ++m) y[m] = static_cast<float>(double(x[m]) * x[m] * x[m]);
    const float yp1 = static_cast<float>(3 * double(x[0]) * x[0]);
    const float ypn = static_cast<float>(3 * double(x[n - 1]) * x[n - 1]);
    for (float omega : {0.37f, 1.7f, -2.9f, 11.0f})
      for (bool useCos : {true, false}) {
        const long double expected = cubicFourier(x[0], x[n - 1], omega, useCos);
        const float got = splineFourierIntegral(x, y, n, yp1, ypn, omega, useCos);
        EXPECT_NEAR(got, double(expected), 2e-5 * (1 + std::fabs(double(expected))))
            << "n " << n << " omega " << omega << " cos " << useCos;
      }
  }
}

TEST(SplineFourierIntegral, NaturalEndsReproduceAStraightLine) {
  // y = 2.385 x - 1 has zero curvature, so natural ends are exact; the end
  // slopes must come from the spline itself.
  const int n = 9;
  const std::vector<float> x = evenKnots(n, -1.25, 3.5);
  std::vector<float> y(n);
  for (int m = 0; m < n; ++m) y[m] = static_cast<float>(2.385 * x[m] - 1);
  const long double w = 1.3L, a = x[0], b = x[n - 1];
  // int (2.385 x - 1) cos(w x) and sin(w x) dx.
  const auto line = [](long double t) { return 2.385L * t - 1; };
  const long double cosExact = (line(b) * std::sin(w * b) - line(a) * std::sin(w * a)) / w +
                               2.385L * (std::cos(w * b) - std::cos(w * a)) / (w * w);
  const long double sinExact = -(line(b) * std::cos(w * b) - line(a) * std::cos(w * a)) / w +
                               2.385L * (std::sin(w * b) - std::sin(w * a)) / (w * w);
  EXPECT_NEAR(splineFourierIntegral(x, y, n, kNaturalSpline, kNaturalSpline, 1.3f, true),
              double(cosExact), 1e-5);
  EXPECT_NEAR(splineFourierIntegral(x, y, n, kNaturalSpline, kNaturalSpline, 1.3f, false),
              double(sinExact), 1e-5);
}

// ---------------------------------------------------------------- crossSpectrum

// Co-spectrum of u at a separation of length d across the wind, isotropic von
// Karman tensor: 2 pi int_0^inf Phi11(k1, kappa) J0(kappa d) kappa dkappa with
// Phi11 = alphaeps/(4 pi) (a^2 + kappa^2)^(-17/6) kappa^2, a^2 = 1/L^2 + k1^2, by
// the Hankel transform int_0^inf x J0(b x) (x^2 + a^2)^-(nu+1) dx
// = (b/a)^nu K_nu(a b) / (2^nu Gamma(nu + 1)) with nu = 5/6 and 11/6.
double vonKarmanCoSpectrum11(double alphaeps, double L, double k1, double d) {
  const double a = std::sqrt(1 / (L * L) + k1 * k1);
  const auto hankel = [a, d](double nu) {
    return std::pow(d / a, nu) * std::cyl_bessel_k(nu, a * d) /
           (std::pow(2.0, nu) * std::tgamma(nu + 1));
  };
  return alphaeps / 2 * (hankel(5.0 / 6.0) - a * a * hankel(11.0 / 6.0));
}

TEST(CrossSpectrum, IsotropicCoSpectrumMatchesTheHankelTransform) {
  const float k1 = 0.05f;
  const int pair[2] = {0, 0};
  Matrix r = matrix(0, 1, 0, 1);
  // Separation of length 5 m in a direction off both axes.
  crossSpectrum({kAlphaeps, kL, 0.0f}, k1, 3.0f, 4.0f, pair, kCrossSpectrumPoints, kTol, r);
  const double F11 = vonKarmanF11(kAlphaeps, kL, k1);
  const double co = vonKarmanCoSpectrum11(kAlphaeps, kL, k1, 5.0);
  EXPECT_NEAR(r[0][0], F11, 2e-3 * F11);
  EXPECT_EQ(r[0][1], r[0][0]);  // i == j: one sweep serves both
  EXPECT_NEAR(r[1][0], co, 3e-3 * F11) << "closed form " << co;
  // Phi11 of isotropic turbulence is even on every line, so there is no quad-spectrum.
  EXPECT_NEAR(r[1][1], 0.0, 1e-3 * F11);
  EXPECT_LT(r[1][0], r[0][0]);
}

TEST(CrossSpectrum, OnePointSpectraMatchThePlaneIntegral) {
  // The sheared model has no closed form; the plane integral of phiIntk2k3 is
  // the same quantity by a different quadrature. A pair of two components
  // sweeps the grid once for each of them.
  const float k1 = 0.2f;
  const int pair[2] = {0, 2};
  Matrix r = matrix(0, 1, 0, 1);
  crossSpectrum({kAlphaeps, kL, kGamma}, k1, 0.0f, 2.5f, pair, kCrossSpectrumPoints, kTol, r);
  std::array<int, 2> uu{0, 0}, ww{2, 2}, uw{0, 2};
  const double Fuu = phiIntk2k3({kAlphaeps, kL, kGamma}, k1, uu, kTol);
  const double Fww = phiIntk2k3({kAlphaeps, kL, kGamma}, k1, ww, kTol);
  const double Fuw = phiIntk2k3({kAlphaeps, kL, kGamma}, k1, uw, kTol);
  EXPECT_NEAR(r[0][0], Fuu, 3e-3 * Fuu);
  EXPECT_NEAR(r[0][1], Fww, 3e-3 * Fww);
  // Shear correlates u with -w, at one point and, weaker, across 2.5 m.
  EXPECT_LT(Fuw, 0.0);
  EXPECT_LT(r[1][0], 0.0f);
  EXPECT_GT(r[1][0], Fuw);
}

TEST(CrossSpectrum, ZeroSeparationGivesTheAutoSpectrumAndNoQuadSpectrum) {
  const int pair[2] = {1, 1};
  Matrix r = matrix(0, 1, 0, 1);
  crossSpectrum({kAlphaeps, kL, kGamma}, 0.08f, 0.0f, 0.0f, pair, 60, kTol, r);
  EXPECT_TRUE(std::isfinite(r[0][0]));
  EXPECT_GT(r[0][0], 0.0f);
  EXPECT_EQ(r[1][0], r[0][0]);
  EXPECT_EQ(r[1][1], 0.0f);
}

TEST(CrossSpectrum, LinesOnAMirrorOfTheTensorCarryNoCrossSpectrum) {
  // Phi_12 (u, v) is odd in k2: with a vertical separation every line runs
  // along k2 and integrates to zero. Without shear Phi_13 (u, w) is odd in k3,
  // and a horizontal separation gives lines along k3. The integrand is then odd
  // bit for bit, so the symmetric rule of the line quadrature must give exactly
  // 0 at once (not rounding noise, nor a quadrature failure), with the
  // auto-spectra still computed.
  struct Case {
    int pair[2];
    float Gamma, sep1, sep2;
  };
  for (const Case& c : {Case{{0, 1}, kGamma, 0.0f, 5.0f}, Case{{0, 2}, 0.0f, 5.0f, 0.0f},
                        Case{{1, 2}, 0.0f, 0.0f, 0.0f}}) {
    Matrix r = matrix(0, 1, 0, 1);
    crossSpectrum({kAlphaeps, kL, c.Gamma}, 0.1f, c.sep1, c.sep2, c.pair, 40, kTol, r);
    EXPECT_EQ(r[1][0], 0.0f) << c.pair[0] << c.pair[1];
    EXPECT_EQ(r[1][1], 0.0f) << c.pair[0] << c.pair[1];
    EXPECT_GT(r[0][0], 0.0f);
    EXPECT_GT(r[0][1], 0.0f);
  }
}

// ---------------------------------------------------------------- sigma2

// Variance of one component of isotropic von Karman turbulence:
// (2/3) int_0^inf E(k) dk = (1/3) alphaeps L^(2/3) B(5/2, 1/3).
double vonKarmanVariance(double alphaeps, double L) {
  return alphaeps * std::pow(L, 2.0 / 3.0) * std::beta(2.5, 1.0 / 3.0) / 3;
}

TEST(Sigma2, IsotropicVarianceMatchesTheEnergySpectrumIntegral) {
  const double expected = vonKarmanVariance(kAlphaeps, kL);
  for (int c : {0, 2}) {
    const int pair[2] = {c, c};
    EXPECT_NEAR(sigma2({kAlphaeps, kL, 0.0f}, pair, kTol), expected, 1e-3 * expected)
        << "component " << c;
  }
  // No shear, no uw covariance: exactly zero by symmetry, where the quadrature
  // would only chase rounding noise.
  const int uw[2] = {0, 2};
  EXPECT_EQ(sigma2({kAlphaeps, kL, 0.0f}, uw, kTol), 0.0);
}

TEST(Sigma2, ShearMakesTheUWCovarianceNegative) {
  const int uw[2] = {0, 2};
  EXPECT_LT(sigma2({kAlphaeps, kL, kGamma}, uw, kTol), 0.0);
}

TEST(Sigma2DeathTest, OnlyTheEvenPairsAreAccepted) {
  const char* message = "sigma2 only implemented for components 00 11 22 and 02";
  for (const auto& p : {std::array<int, 2>{0, 1}, {1, 2}, {2, 0}, {3, 3}}) {
    EXPECT_EXIT(sigma2({kAlphaeps, kL, kGamma}, p, kTol), ExitedWithCode(1), fatalReport(message))
        << p[0] << " " << p[1];
  }
}

}  // namespace
}  // namespace wind
