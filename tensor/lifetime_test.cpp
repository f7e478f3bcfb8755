#include "tensor/lifetime.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support.hpp"

using namespace wind;

namespace {

// Rapid-distortion eddy lifetime x^(-2/3) [2F1(1/3, 17/6; 4/3; -x^-2)]^(-1/2),
// recomputed in long double through the Pfaff transformation
//   2F1(a, b; c; z) = (1 - z)^(-a) 2F1(a, c - b; c; z / (z - 1)),
// whose series in w = 1 / (1 + x^2) converges on the whole of [0, 1].
long double exactLifeTime(long double x) {
  const long double a = 1.0L / 3, b = -1.5L, c = 4.0L / 3;
  const long double w = 1.0L / (1.0L + x * x);
  long double term = 1.0L, sum = 1.0L;
  for (int n = 0; n < 2000000; ++n) {
    term *= (a + n) * (b + n) / ((c + n) * (n + 1)) * w;
    sum += term;
    if (std::fabs(term) < 1e-16L * std::fabs(sum)) break;
  }
  const long double f = std::pow(1.0L + 1.0L / (x * x), -a) * sum;
  return std::pow(x, -2.0L / 3) / std::sqrt(f);
}

}  // namespace

TEST(LifeTime, RationalLawMatchesWorkedValues) {
  EXPECT_NEAR(lifeTime(1.0f), 1.23412, 1e-5);
  EXPECT_NEAR(lifeTime(10.0f), 0.216202, 1e-6);
  EXPECT_NEAR(lifeTime(1000.0f), 0.0099999, 1e-7);
  EXPECT_NEAR(lifeTime(0.005f), 241.03, 0.01);
}

TEST(LifeTime, DefaultIsRationalLaw) {
  for (float x : {0.0f, 0.003f, 0.2385f, 2.385f, 238.5f})
    EXPECT_EQ(lifeTime(x), lifeTimeRational(x)) << "x = " << x;
  EXPECT_EQ(lifeTime(2.385f, 2), lifeTimeRational(2.385f));
  EXPECT_EQ(lifeTime(2.385f, 1), lifeTimePowerLaw(2.385f));
}

TEST(LifeTime, RationalLawClampsSmallArguments) {
  const double atClamp = lifeTime(0.005f);
  EXPECT_EQ(lifeTime(0.0f), atClamp);
  EXPECT_EQ(lifeTime(1e-4f), atClamp);
  EXPECT_EQ(lifeTime(0.004999999888241291f), atClamp);
  // Just above the threshold the argument is used as it is.
  EXPECT_LT(lifeTime(0.00501f), atClamp);
}

TEST(LifeTime, RationalLawFollowsRapidDistortionLifetime) {
  // Relative error at most 5e-4 over the whole range of use.
  for (int i = 0; i <= 60; ++i) {
    const float x = static_cast<float>(0.005 * std::pow(10.0, i / 10.0));
    const long double ref = exactLifeTime(x);
    EXPECT_NEAR(double(lifeTime(x) / ref), 1.0, 5e-4) << "x = " << x;
  }
}

TEST(LifeTime, RationalLawAsymptotes) {
  // 1.205 / x for small x, the power law for large x.
  EXPECT_NEAR(lifeTime(0.01f) * 0.01, 1.2051, 1e-3);
  // The leading coefficients differ by 1e-5 relative (1.10508 / 1.10509).
  EXPECT_NEAR(lifeTime(1e4f) / lifeTimePowerLaw(1e4f), 1.0, 2e-5);
}

TEST(LifeTime, PowerLawUsesSinglePrecisionExponent) {
  const float e = -0.6666666865348816f;
  for (float x : {0.02385f, 2.385f, 1000.0f})
    EXPECT_EQ(lifeTime(x, 1), std::pow(double(x), double(e))) << "x = " << x;
  EXPECT_NEAR(lifeTime(1000.0f, 1), 0.01, 1e-8);
  EXPECT_TRUE(std::isinf(lifeTime(0.0f, 1)));
}

TEST(LifeTimeDeathTest, UnknownModelIsFatal) {
  EXPECT_EXIT(lifeTime(1.0f, 3), ::testing::ExitedWithCode(1),
              wind::testing::fatalReport("LifeTimeModel not implemented"));
  EXPECT_EXIT(lifeTime(1.0f, 0), ::testing::ExitedWithCode(1),
              wind::testing::fatalReport("LifeTimeModel not implemented"));
}

TEST(IsoSpectralDensity, Limits) {
  const float a = 0.09068f, L = 23.62f;
  // k = 0: a / (4 pi) L^(17/3).
  const long double atZero = a / (4 * 3.14159265358979323846L) * std::pow(23.62L, 17.0L / 3);
  EXPECT_NEAR(double(isoSpectralDensity(a, L, 0.0f) / atZero), 1.0, 2e-6);
  // L = 0: the spectrum vanishes.
  EXPECT_EQ(isoSpectralDensity(a, 0.0f, 2.385f), 0.0f);
  // Proportional to the level, zero at zero level.
  EXPECT_EQ(isoSpectralDensity(0.0f, L, 2.385f), 0.0f);
}

TEST(IsoSpectralDensity, FollowsVonKarmanSpectrum) {
  // E(k) / (4 pi k^4) with E(k) = a L^(5/3) (kL)^4 / (1 + (kL)^2)^(17/6).
  const long double pi = 3.14159265358979323846L;
  const float a = 1.7f, L = 33.6f;
  for (float k : {1e-3f, 0.0297619f, 0.2385f, 12.5f}) {
    const long double kL = (long double)k * L;
    const long double e = a * std::pow((long double)L, 5.0L / 3) * std::pow(kL, 4) /
                          std::pow(1 + kL * kL, 17.0L / 6);
    const long double ref = e / (4 * pi * std::pow((long double)k, 4));
    EXPECT_NEAR(double(isoSpectralDensity(a, L, k * k) / ref), 1.0, 3e-6) << "k = " << k;
  }
}
