// A three-dimensional transform of 2^31 floats (8 GiB): every flat index
// beyond the 32-bit signed range must still land on its element. Several
// minutes on one core. (One-dimensional fields are index-ranged vectors, whose
// int bounds keep them below 2^31 floats.)
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>

#include "numerics/fft.hpp"

using namespace wind;

namespace {

const long double kPiL = std::acos(-1.0L);

std::complex<double> unitPhase(long double turns) {
  const long double a = 2 * kPiL * (turns - std::floor(turns));
  return {double(std::cos(a)), double(std::sin(a))};
}

}  // namespace

TEST(FftBeyond32Bits, Rlft3OfAnImpulseInTheLastElement) {
  const int nn1 = 2, nn2 = 1024, nn3 = 1 << 20;  // 2^31 floats
  const std::int64_t n = std::int64_t(nn1) * nn2 * nn3;
  F3tensor t = f3tensor(1, nn1, 1, nn2, 1, nn3);
  Matrix nyq = matrix(1, nn1, 1, 2 * nn2);
  t(nn1, nn2, nn3) = 1.0f;

  // h = delta at x = (nn1 - 1, nn2 - 1, nn3 - 1): H(k) = exp(-2 pi i sum k_d / nn_d).
  rlft3(t, nyq, nn1, nn2, nn3, 1);
  const auto stored = [&](int k1, int k2, int k3) {
    if (k3 == nn3 / 2) return std::complex<double>(nyq(k1 + 1, 2 * k2 + 1), nyq(k1 + 1, 2 * k2 + 2));
    return std::complex<double>(t(k1 + 1, k2 + 1, 2 * k3 + 1), t(k1 + 1, k2 + 1, 2 * k3 + 2));
  };
  for (int k1 : {0, 1})
    for (int k2 : {0, 1, 511, 512, 1023})
      for (int k3 : {0, 1, 12345, nn3 / 2 - 1, nn3 / 2}) {
        const long double turns =
            -((long double)k1 / nn1 + (long double)k2 / nn2 + (long double)k3 / nn3);
        EXPECT_LT(std::abs(stored(k1, k2, k3) - unitPhase(turns)), 1e-5)
            << "k = " << k1 << "," << k2 << "," << k3;
      }
  // Every stored coefficient has unit modulus.
  double worst = 0;
  for (std::int64_t i = 0; i < n; i += 2)
    worst = std::max(worst, std::fabs(std::hypot(double(t.data()[i]), double(t.data()[i + 1])) - 1));
  EXPECT_LT(worst, 1e-5);

  rlft3(t, nyq, nn1, nn2, nn3, -1);
  const double half = double(n) / 2;
  worst = 0;
  for (std::int64_t i = 0; i < n - 1; ++i) worst = std::max(worst, double(std::fabs(t.data()[i])));
  EXPECT_LT(worst, 1e-5 * half);
  EXPECT_NEAR(t(nn1, nn2, nn3), half, 1e-5 * half);
}
