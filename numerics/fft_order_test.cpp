// The multi-dimensional transform runs its butterflies block by block for
// cache locality. Its results must be bit for bit those of the plain loop
// order of Press et al. (fourn: all bit reversals of a dimension, then each
// stage over the whole array), which the field files of the simulator depend
// on. The plain order is written out here as the reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "numerics/fft.hpp"

namespace {

// fourn in its textbook loop order, with double butterflies rounded to float
// and the twiddle recurrence in double, as the library documents.
void plainFourn(float* data, const std::vector<std::int64_t>& nn, int isign) {
  const auto a = [data](std::int64_t i) -> float& { return data[i - 1]; };
  std::int64_t ntot = 1;
  for (std::int64_t n : nn) ntot *= n;
  std::int64_t nprev = 1;
  for (auto dim = nn.size(); dim-- > 0;) {
    const std::int64_t n = nn[dim];
    const std::int64_t nrem = ntot / (n * nprev);
    const std::int64_t ip1 = 2 * nprev, ip2 = ip1 * n, ip3 = ip2 * nrem;
    std::int64_t i2rev = 1;
    for (std::int64_t i2 = 1; i2 <= ip2; i2 += ip1) {
      if (i2 < i2rev)
        for (std::int64_t i1 = i2; i1 <= i2 + ip1 - 2; i1 += 2)
          for (std::int64_t i3 = i1; i3 <= ip3; i3 += ip2) {
            const std::int64_t i3rev = i2rev + i3 - i2;
            std::swap(a(i3), a(i3rev));
            std::swap(a(i3 + 1), a(i3rev + 1));
          }
      std::int64_t ibit = ip2 / 2;
      while (ibit >= ip1 && i2rev > ibit) {
        i2rev -= ibit;
        ibit /= 2;
      }
      i2rev += ibit;
    }
    for (std::int64_t ifp1 = ip1; ifp1 < ip2; ifp1 *= 2) {
      const std::int64_t ifp2 = 2 * ifp1;
      const double theta = isign * 6.28318530717959 / static_cast<double>(ifp2 / ip1);
      const double s = std::sin(0.5 * theta);
      const double wpr = -2.0 * s * s, wpi = std::sin(theta);
      double wr = 1.0, wi = 0.0;
      for (std::int64_t i3 = 1; i3 <= ifp1; i3 += ip1) {
        for (std::int64_t i1 = i3; i1 <= i3 + ip1 - 2; i1 += 2)
          for (std::int64_t i2 = i1; i2 <= ip3; i2 += ifp2) {
            const std::int64_t k1 = i2, k2 = k1 + ifp1;
            const double tempr = wr * a(k2) - wi * a(k2 + 1);
            const double tempi = wr * a(k2 + 1) + wi * a(k2);
            a(k2) = static_cast<float>(a(k1) - tempr);
            a(k2 + 1) = static_cast<float>(a(k1 + 1) - tempi);
            a(k1) = static_cast<float>(a(k1) + tempr);
            a(k1 + 1) = static_cast<float>(a(k1 + 1) + tempi);
          }
        const double wtemp = wr;
        wr = wtemp * wpr - wi * wpi + wr;
        wi = wi * wpr + wtemp * wpi + wi;
      }
    }
    nprev *= n;
  }
}

std::vector<float> pseudoRandom(std::size_t count, std::uint32_t seed) {
  std::vector<float> v(count);
  std::uint32_t x = seed;
  for (float& f : v) {
    x = x * 1664525u + 1013904223u;
    f = static_cast<float>(double(x >> 8) / double(1u << 24) - 0.5);
  }
  return v;
}

}  // namespace

TEST(ComplexFftNOrder, BitIdenticalToThePlainLoopOrder) {
  const std::vector<std::vector<std::int64_t>> shapes = {
      {1},       {2},        {64},       {8, 1},     {1, 16},      {4, 8},     {16, 2},
      {2, 2, 2}, {8, 4, 16}, {1, 32, 8}, {32, 1, 4}, {16, 16, 16}, {2, 64, 2}, {4, 2, 8, 2}};
  for (const auto& shape : shapes) {
    std::int64_t total = 1;
    for (std::int64_t n : shape) total *= n;
    for (int isign : {1, -1}) {
      std::vector<float> expected =
          pseudoRandom(std::size_t(2 * total), 97u + std::uint32_t(total));
      std::vector<float> actual = expected;
      plainFourn(expected.data(), shape, isign);
      wind::complexFftN(actual.data(), shape, isign);
      std::string name;
      for (std::int64_t n : shape) name += std::to_string(n) + " ";
      EXPECT_EQ(std::memcmp(actual.data(), expected.data(), actual.size() * sizeof(float)), 0)
          << "shape " << name << "isign " << isign;
    }
  }
}
