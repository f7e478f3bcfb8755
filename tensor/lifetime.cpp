#include "tensor/lifetime.hpp"

#include <cmath>

#include "support/fatal_error.hpp"

namespace wind {

namespace {

// The exponent of the power law, stored in single precision as the law was
// fitted with it.
constexpr float kMinusTwoThirdsF = -0.6666666865348816f;

}  // namespace

double lifeTimePowerLaw(float x) { return std::pow(double(x), double(kMinusTwoThirdsF)); }

double lifeTimeRational(float x) {
  using namespace lifetime_law;
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
