#include "fit/similarity_integrals.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "numerics/constants.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"
#include "numerics/quadrature.hpp"
#include "tensor/spectral_tensor.hpp"

namespace wind {

namespace {

// The mapped plane of phiIntk2k3: s2 in [0, kPlaneLimit), s3 in
// (-kPlaneLimit, kPlaneLimit), k = ks s / (1 - |s|).
constexpr double kPlaneLimit = 0.99999999;
constexpr int kPieceBudget = 400000;

// The radial range of the variance in log |k| L, split where the lifetime is
// clamped; the radial rule (Gauss-Legendre, 8 points, on panels of half a
// unit of ln |k| L: a fixed rule, since the shells' adaptive integrals carry
// noise of their tolerance that an adaptive radial rule would chase), and the
// angular tolerance and budget (the integrand is float arithmetic: 1e-8
// chases its rounding).
constexpr double kShellInner = 1.0e-6;
constexpr double kShellOuter = 1.0e4;
constexpr double kRadialPanel = 0.5;
constexpr double kGaussNode8[4] = {0.1834346424956498, 0.5255324099163290, 0.7966664774136267,
                                   0.9602898564975363};
constexpr double kGaussWeight8[4] = {0.3626837833783620, 0.3137066458778873, 0.2223810344533745,
                                     0.1012285362903763};
constexpr double kAngularTol = 1.0e-6;
constexpr int kAngularBudget = 400000;

TensorModel unitModel(float Gamma) {
  TensorModel m;
  m.params = {1.0f, 1.0f, Gamma};
  return m;
}

[[noreturn]] void notConverged(const char* what, float Gamma, double x, SpectrumComponent c) {
  fatalError(std::string(what) + ": the integral did not converge (Gamma " + formatG6(Gamma) +
             ", k1 L " + formatG6(x) + ", component " + componentName(c) + ")");
}

}  // namespace

int tensorRow(SpectrumComponent c) { return c == SpectrumComponent::uw ? 0 : static_cast<int>(c); }
int tensorColumn(SpectrumComponent c) {
  return c == SpectrumComponent::uw ? 2 : static_cast<int>(c);
}

const char* componentName(SpectrumComponent c) {
  static constexpr const char* kNames[] = {"u", "v", "w", "uw"};
  return kNames[static_cast<int>(c)];
}

double similaritySpectrum(float Gamma, double x, SpectrumComponent c, int pieces) {
  const TensorModel model = unitModel(Gamma);
  const int i = tensorRow(c), j = tensorColumn(c);
  const float k1 = static_cast<float>(x);
  const float ks = std::max(k1, 1.0f);
  // The integrand of phiIntk2k3 with L = 1.
  const auto integrand = [&](double s2, double s3) {
    const float k2 = static_cast<float>(double(ks) * s2 / (1 - s2));
    const float k3 = static_cast<float>(double(ks) * s3 / (1 - std::fabs(s3)));
    const Mat3 phi = spectralTensor(model, Vector3(k1, k2, k3));
    const double j3 = std::fabs(double(k3)) + ks;
    const double j2 = double(k2) + ks;
    return j3 * j3 * at(phi, i, j) * (j2 * j2) / (double(ks) * ks);
  };
  quadrature_detail::CompensatedSum sum;
  for (int a = 0; a < pieces; ++a)
    for (int b = 0; b < pieces; ++b) {
      const double s2a = kPlaneLimit * a / pieces, s2b = kPlaneLimit * (a + 1) / pieces;
      const double s3a = -kPlaneLimit + 2 * kPlaneLimit * b / pieces;
      const double s3b = -kPlaneLimit + 2 * kPlaneLimit * (b + 1) / pieces;
      int nofun = 0, flag = 0;
      const double I =
          adapint2(integrand, s2a, s2b, s3a, s3b, kSimilarityTol, kPieceBudget, nofun, flag);
      if (flag == kQuadBudgetExceeded) notConverged("similaritySpectrum", Gamma, x, c);
      sum.add(I);
    }
  return 2 * sum.value();
}

double similarityVariance(float Gamma, SpectrumComponent c) {
  const TensorModel model = unitModel(Gamma);
  const int i = tensorRow(c), j = tensorColumn(c);
  const double halfPi = 0.5 * std::acos(-1.0), pi = std::acos(-1.0);
  // Shell of radius kappa = exp(t): kappa^3 times the quarter-sphere integral
  // of Phi_ij (dkappa = kappa dt).
  const auto shell = [&](double t) {
    const double kappa = std::exp(t);
    const auto angular = [&](double theta, double phi) {
      // Polar axis along k1: the sheared tensor at small |k| is concentrated
      // near the plane k1 = 0, an edge of the domain in theta.
      const double st = std::sin(theta);
      const Vector3 k(static_cast<float>(kappa * std::cos(theta)),
                      static_cast<float>(kappa * st * std::sin(phi)),
                      static_cast<float>(kappa * st * std::cos(phi)));
      return at(spectralTensor(model, k), i, j) * st;
    };
    int nofun = 0, flag = 0;
    const double I =
        adapint2(angular, 0.0, halfPi, 0.0, pi, kAngularTol, kAngularBudget, nofun, flag);
    if (flag == kQuadBudgetExceeded) notConverged("similarityVariance", Gamma, kappa, c);
    return kappa * kappa * kappa * I;
  };
  const double clamp = std::log(double(kMinShearedK1L));
  quadrature_detail::CompensatedSum total;
  for (const auto& [a, b] :
       {std::pair{std::log(kShellInner), clamp}, std::pair{clamp, std::log(kShellOuter)}}) {
    const int panels = static_cast<int>(std::ceil((b - a) / kRadialPanel));
    const double h = (b - a) / panels;
    for (int q = 0; q < panels; ++q) {
      const double mid = a + (q + 0.5) * h;
      for (int g = 0; g < 4; ++g)
        for (const double sign : {-1.0, 1.0})
          total.add(0.5 * h * kGaussWeight8[g] * shell(mid + sign * 0.5 * h * kGaussNode8[g]));
    }
  }
  double sum = 4 * total.value();
  // Beyond kShellOuter: (2/3) int E dk with E = k^4 (1 + k^2)^(-17/6) ~ k^(-5/3).
  if (c != SpectrumComponent::uw) sum += std::pow(kShellOuter, -2.0 / 3.0);
  return sum;
}

double isotropicSpectrum(double x, SpectrumComponent c) {
  const double q = 1 + x * x;
  switch (c) {
    case SpectrumComponent::u:
      return 9.0 / 55.0 * std::pow(q, -5.0 / 6.0);
    case SpectrumComponent::v:
    case SpectrumComponent::w:
      return 3.0 / 110.0 * (3 + 8 * x * x) * std::pow(q, -11.0 / 6.0);
    case SpectrumComponent::uw:
      break;
  }
  return 0.0;
}

double isotropicVariance() {
  // B(5/2, 1/3) / 3 = Gamma(5/2) Gamma(1/3) / (3 Gamma(17/6)).
  return std::exp(std::lgamma(2.5) + std::lgamma(1.0 / 3.0) - std::lgamma(17.0 / 6.0)) / 3.0;
}

}  // namespace wind
