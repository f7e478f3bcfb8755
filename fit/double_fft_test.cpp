#include "fit/double_fft.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "tests/support.hpp"

namespace wind {
namespace {

TEST(DoubleFft, AgreesWithTheDirectSumForEveryPowerOfTwoUpTo1024) {
  for (std::size_t n = 2; n <= 1024; n *= 2) {
    std::vector<std::complex<double>> x(n);
    for (std::size_t j = 0; j < n; ++j)
      x[j] = {std::sin(2.385 * double(j * j % 97)), std::cos(0.731 * double(j))};
    std::vector<std::complex<long double>> ref(n);
    for (std::size_t m = 0; m < n; ++m)
      for (std::size_t j = 0; j < n; ++j) {
        const long double a =
            -testing::kTwoPiL * static_cast<long double>((j * m) % n) / static_cast<long double>(n);
        ref[m] += std::complex<long double>(x[j].real(), x[j].imag()) * std::polar(1.0L, a);
      }
    DoubleFft(n).forward(x);
    double worst = 0;
    for (std::size_t m = 0; m < n; ++m)
      worst = std::max(
          worst, double(std::abs(std::complex<long double>(x[m].real(), x[m].imag()) - ref[m])));
    EXPECT_LT(worst, 1e-13 * double(n)) << "n = " << n;
  }
}

TEST(DoubleFft, RefusesLengthsThatAreNotPowersOfTwo) {
  EXPECT_EQ(testing::fatalMessage([] { DoubleFft(12000); }),
            "DoubleFft: length 12000 is not a power of two of at least 2");
  std::vector<std::complex<double>> x(8);
  EXPECT_EQ(testing::fatalMessage([&] { DoubleFft(16).forward(x); }),
            "DoubleFft: 8 values for a transform of 16");
}

}  // namespace
}  // namespace wind
