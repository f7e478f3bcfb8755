#include "tensor/spectra.hpp"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "numerics/constants.hpp"
#include "numerics/interpolation.hpp"
#include "numerics/quadrature.hpp"
#include "support/fatal_error.hpp"
#include "tensor/spectral_tensor.hpp"

namespace wind {

namespace {

// pi/2 in single precision: with kPiF, the angular ranges of the quarter sphere.
constexpr float kHalfPiF = 1.5707963705062866f;

// Ends of the mapped radius x of sigma2 (kappa = x / (1 - x)).
constexpr double kRadialLower = 0.002;
constexpr double kRadialUpper = 0.99999999;

constexpr int kBudgetLine = 1000;     // crossLineIntegral
constexpr int kBudgetRadial = 1000;   // sigma2, outer
constexpr int kBudgetAngular = 10000; // sigma2Radial, inner

// A natural spline end is asked for by an end slope above this.
constexpr float kNaturalSlopeLimit = 9.9e29f;

// 1/24, 1/3 and 1/6 in single precision: the weights of the spline integral and
// of the end slopes of a cubic spline.
constexpr float kOneTwentyFourthF = 0.041666668f;
constexpr float kOneThirdF = 0.33333334f;
constexpr float kOneSixthF = 0.16666667f;

void checkComponents(int i, int j) {
  if (i < 0 || i > 2 || j < 0 || j > 2)
    fatalError("Tensor component index out of range (must be 0, 1 or 2)");
}

// Diagnostics of a failed integration, then the end of the run.
[[noreturn]] void reportFailure(const char* integrator, int flag, int nofun, const char* message) {
  std::cerr << integrator << " error" << flag << '\n' << "nofun" << nofun << std::endl;
  fatalError(message);
}

// Scale of the map of the infinite line: max(|k1|, 1/L), both in float.
float lineScale(float k1, float L) {
  const float invL = static_cast<float>(1.0 / double(L));
  return std::max(std::fabs(k1), invL);
}

// Integral of the cubic spline through (x, y) with second derivatives y2,
// summed from the far end towards x[0].
double plainSplineIntegral(std::span<const float> x, std::span<const float> y,
                           std::span<const float> y2, int n) {
  double sum = 0.0;
  for (int j = n - 2; j >= 0; --j) {
    const double h = double(x[j + 1]) - x[j];
    sum += h * (12 * (double(y[j]) + y[j + 1]) - h * h * (double(y2[j]) + y2[j + 1]));
  }
  return sum * kOneTwentyFourthF;
}

}  // namespace

double crossLineIntegral(const TensorModel& model, float k1, float q, float sep1, float sep2,
                         std::span<const int, 2> pair, float tol) {
  const int i = pair[0];
  const int j = pair[1];
  checkComponents(i, j);
  // A zero separation has no direction: take it along y.
  const bool zeroSeparation = sep1 == 0.0f && sep2 == 0.0f;
  const float a = zeroSeparation ? 1.0f : sep1;
  const float b = zeroSeparation ? 0.0f : sep2;
  const float d = static_cast<float>(std::sqrt(double(a) * a + double(b) * b));
  const float s = lineScale(k1, model.params.L);

  const auto integrand = [=, &model](double x) {
    if (std::fabs(x) == 1.0) return 0.0;
    const float omx = static_cast<float>(1 - std::fabs(x));
    const float p = static_cast<float>(double(s) * x / (1 - std::fabs(x)));
    // (k2, k3) = q e + p e_perp.
    const float k2 = static_cast<float>((double(q) * a - double(b) * p) / d);
    const float k3 = static_cast<float>((double(a) * p + double(q) * b) / d);
    const Mat3 phi = spectralTensor(model, Vector3(k1, k2, k3));
    return at(phi, i, j) * double(s) / (double(omx) * omx);
  };
  int nofun = 0;
  int flag = 0;
  const double I = adapint(integrand, -1.0, 1.0, double(tol), kBudgetLine, nofun, flag);
  if (flag != 0) reportFailure("adapint", flag, nofun, "Error in adapint");
  return I;
}

namespace {

// splineFourierIntegral for a spline already set up: y2 holds its second
// derivatives from splineSetup with the same end slopes yp1 and ypn.
float splineFourier(std::span<const float> x, std::span<const float> y,
                    std::span<const float> y2, int n, float yp1, float ypn, float omega,
                    bool useCos) {
  double result = 0.0;
  if (omega == 0.0f) {
    if (useCos) result = plainSplineIntegral(x, y, y2, n);
  } else {
    const float w = static_cast<float>(1.0 / double(omega));
    // The boundary terms need the end slopes of the spline itself.
    if (yp1 > kNaturalSlopeLimit) {
      const double h = double(x[1]) - x[0];
      yp1 = static_cast<float>((double(y[1]) - y[0]) / h - h * y2[0] * kOneThirdF -
                               h * y2[1] * kOneSixthF);
    }
    if (ypn > kNaturalSlopeLimit) {
      const double h = double(x[n - 1]) - x[n - 2];
      ypn = static_cast<float>((double(y[n - 1]) - y[n - 2]) / h +
                               (double(y2[n - 2]) * kOneSixthF + double(y2[n - 1]) * kOneThirdF) *
                                   h);
    }
    const double g0 = double(omega) * x[0];
    const double gN = double(omega) * x[n - 1];
    const double c0 = std::cos(g0), s0 = std::sin(g0);
    const double cN = std::cos(gN), sN = std::sin(gN);

    // Third derivative (constant per interval) times the jump of g over it.
    double D = 0.0;
    for (int j = n - 2; j >= 0; --j) {
      const double a1 = double(omega) * x[j + 1];
      const double a0 = double(omega) * x[j];
      const double jump = useCos ? std::cos(a1) - std::cos(a0) : std::sin(a1) - std::sin(a0);
      D += (double(y2[j + 1]) - y2[j]) * jump / (double(x[j + 1]) - x[j]);
    }
    const double w1 = w;
    const double w2 = w1 * w1;
    const double w3 = w2 * w1;
    const double w4 = w3 * w1;
    const double yN = y[n - 1], y0 = y[0], y2N = y2[n - 1], y20 = y2[0];
    if (useCos)
      result = -D * w4 + (sN * yN - s0 * y0) * w1 + (cN * ypn - c0 * yp1) * w2 -
               (sN * y2N - s0 * y20) * w3;
    else
      result = -D * w4 - (cN * yN - c0 * y0) * w1 + (sN * ypn - s0 * yp1) * w2 +
               (cN * y2N - c0 * y20) * w3;
  }
  return static_cast<float>(result);
}

}  // namespace

float splineFourierIntegral(std::span<const float> x, std::span<const float> y, int n, float yp1,
                            float ypn, float omega, bool useCos) {
  Vector y2v = vector(0, n - 1);
  const std::span<float> y2(y2v.data(), static_cast<std::size_t>(std::max(n, 0)));
  splineSetup(x.first(y2.size()), y, yp1, ypn, y2);
  return splineFourier(x, y, y2, n, yp1, ypn, omega, useCos);
}

void crossSpectrum(const TensorModel& model, float k1, float sep1, float sep2,
                   std::span<const int, 2> pair, int n, float tol, Matrix& r) {
  const int i = pair[0];
  const int j = pair[1];
  checkComponents(i, j);
  if (n < 2) fatalError("crossSpectrum needs at least two grid points");

  // The q grid: symmetric about 0, dense near it, reaching about (n/2) s.
  const float s = std::max(static_cast<float>(1.0 / double(model.params.L)), k1);
  Vector q = vector(0, n - 1);
  Vector F = vector(0, n - 1);
  Vector F2 = vector(0, n - 1);
  for (int m = 1; m <= n; ++m) {
    const float h = static_cast<float>(2.0 * m / (n + 1) - 1.0);
    q[m - 1] = static_cast<float>(double(s) * h / (1 - std::fabs(double(h))));
  }
  const std::span<const float> qs(q.data(), static_cast<std::size_t>(n));
  const std::span<const float> Fs(F.data(), static_cast<std::size_t>(n));
  const std::span<float> F2s(F2.data(), static_cast<std::size_t>(n));
  // F(q) of the pair p and its natural spline, set up once for all its
  // integrals.
  const auto sweep = [&](std::span<const int, 2> p) {
    for (int m = 0; m < n; ++m)
      F[m] = static_cast<float>(crossLineIntegral(model, k1, q[m], sep1, sep2, p, tol));
    splineSetup(qs, Fs, kNaturalSpline, kNaturalSpline, F2s);
  };
  const auto integral = [&](float omega, bool useCos) {
    return splineFourier(qs, Fs, F2s, n, kNaturalSpline, kNaturalSpline, omega, useCos);
  };

  sweep(pair);
  const float d = static_cast<float>(std::sqrt(double(sep1) * sep1 + double(sep2) * sep2));
  r[1][0] = integral(d, true);
  r[1][1] = integral(d, false);

  if (i == j) {
    r[0][0] = integral(0.0f, true);
    r[0][1] = r[0][0];
  } else {
    const int own[2][2] = {{i, i}, {j, j}};
    for (int c = 0; c < 2; ++c) {
      sweep(own[c]);
      r[0][c] = integral(0.0f, true);
    }
  }
}

double sigma2Angular(const Sigma2Params& p, float kappa, double theta, double phi) {
  const double st = std::sin(theta);
  const Vector3 e(static_cast<float>(st * std::cos(phi)), static_cast<float>(st * std::sin(phi)),
                  static_cast<float>(std::cos(theta)));
  const Vector3 k = (Vector3(kappa) * e) / Vector3(p.model.params.L);
  const Mat3 Phi = spectralTensor(p.model, k);
  return at(Phi, p.i, p.j) * st;
}

double sigma2Radial(const Sigma2Params& p, double x) {
  if (p.failed != nullptr && *p.failed) return 0.0;
  const float kappa = static_cast<float>(x / (1 - x));
  const auto angular = [&p, kappa](double theta, double phi) {
    return sigma2Angular(p, kappa, theta, phi);
  };
  int nofun = 0;
  int flag = 0;
  const double J = adapint2(angular, 0.0, double(kHalfPiF), 0.0, double(kPiF), double(p.tol),
                            kBudgetAngular, nofun, flag);
  if (flag != 0) {
    if (p.failed == nullptr) reportFailure("adapint2", flag, nofun, "Error in adapint2 (sigma2)");
    *p.failed = true;
    return 0.0;
  }
  const float omx = static_cast<float>(1 - x);
  return double(kappa) * kappa / (double(omx) * omx) * J;
}

namespace {

// sigma2, failures reported (failed null) or recorded in *failed.
double sigma2Integral(const TensorModel& model, std::span<const int, 2> pair, float tol,
                      bool* failed) {
  const int i = pair[0];
  const int j = pair[1];
  // The quarter-sphere integral holds only for the components that are even in
  // k2 and under k -> -k, and only (0, 2) of that couple is accepted.
  const bool diagonal = i == j && i >= 0 && i <= 2;
  if (!diagonal && !(i == 0 && j == 2))
    fatalError("sigma2 only implemented for components 00 11 22 and 02");

  // Without shear the model is mirror symmetric in k1 and Phi_02 is odd in it:
  // the covariance is exactly 0. Integrated, each radial value would be
  // rounding noise, on which the relative control of the outer quadrature
  // never converges.
  if (i != j && model.params.Gamma == 0.0f) return 0.0;

  const Sigma2Params p{model, i, j, tol, failed};
  int nofun = 0;
  int flag = 0;
  const double I = adapint([&p](double x) { return sigma2Radial(p, x); }, kRadialLower,
                           kRadialUpper, double(tol), kBudgetRadial, nofun, flag);
  if (flag != 0) {
    if (failed == nullptr) reportFailure("adapint", flag, nofun, "Error in adapint (sigma2)");
    *failed = true;
  }
  return 4 * std::pow(double(model.params.L), -3.0) * I;
}

}  // namespace

double sigma2(const TensorModel& model, std::span<const int, 2> pair, float tol) {
  return sigma2Integral(model, pair, tol, nullptr);
}

double sigma2Status(const TensorModel& model, std::span<const int, 2> pair, float tol,
                    bool& converged) {
  bool failed = false;
  const double v = sigma2Integral(model, pair, tol, &failed);
  converged = !failed;
  return v;
}

}  // namespace wind
