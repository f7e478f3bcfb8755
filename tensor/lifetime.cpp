#include "tensor/lifetime.hpp"

#include <cmath>

#include "support/fatal_error.hpp"

namespace wind {

namespace {

// Exponents, stored in single precision as the laws were fitted with them.
constexpr float kMinusTwoThirdsF = -0.6666666865348816f;
constexpr float kOneSixthF = 0.1666666716337204f;

// Smallest argument of the rational law; smaller ones are raised to it.
constexpr float kMinArgF = 0.004999999888241291f;

// Coefficients of the rational law
//   tau = (1 + x^2)^(1/6) / x * (n0 + n1 x + n2 x^2) / (1 + d1 x + d2 x^2).
constexpr double kN0 = 1.2050983316598936;
constexpr double kN1 = -0.04079766636961979;
constexpr double kN2 = 1.1050803451576134;
constexpr double kD1 = -0.04103886513006046;
constexpr double kD2 = 1.1050902034670118;

}  // namespace

double lifeTimePowerLaw(float x) { return std::pow(double(x), double(kMinusTwoThirdsF)); }

double lifeTimeRational(float x) {
  if (x < kMinArgF) x = kMinArgF;
  const float c = static_cast<float>(double(x) * x);
  const double p = std::pow(1.0 + c, double(kOneSixthF));
  return p / x * (kN0 + kN1 * x + kN2 * c) / (1.0 + kD1 * x + kD2 * c);
}

double lifeTime(float x, int model) {
  switch (model) {
    case 1:
      return lifeTimePowerLaw(x);
    case 2:
      return lifeTimeRational(x);
    default:
      fatalError("LifeTimeModel not implemented");
  }
}

float isoSpectralDensity(float alphaeps, float L, float kSquared) {
  const double lSquared = double(L) * L;
  const double s = 1.0 / lSquared + kSquared;
  return static_cast<float>(std::pow(s, double(kMinusSeventeenSixthsF)) * kOneOverFourPi *
                            alphaeps);
}

}  // namespace wind
