#include "numerics/fft.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <climits>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "numerics/fft_detail.hpp"
#include "numerics/vector_math.hpp"
#include "support/threads.hpp"
#include "tests/support.hpp"

using namespace wind;

namespace {

using cld = std::complex<long double>;
using Dims = std::vector<std::int64_t>;
const long double kPiL = std::acos(-1.0L);

std::int64_t product(const Dims& dims) {
  std::int64_t n = 1;
  for (auto d : dims) n *= d;
  return n;
}

// Discrete Fourier transform with sign `sign`, summed directly in long double
// along each dimension of a row-major array (last index fastest).
std::vector<cld> dft(std::vector<cld> x, const Dims& dims, int sign) {
  const std::int64_t total = product(dims);
  std::int64_t stride = 1;
  for (auto d = dims.size(); d-- > 0;) {
    const std::int64_t n = dims[d];
    std::vector<cld> tw(static_cast<std::size_t>(n)), line(tw.size()), out(tw.size());
    for (std::int64_t m = 0; m < n; ++m)
      tw[std::size_t(m)] = std::polar(1.0L, sign * 2 * kPiL * m / n);
    for (std::int64_t outer = 0; outer < total / (n * stride); ++outer) {
      for (std::int64_t s = 0; s < stride; ++s) {
        const std::int64_t base = outer * n * stride + s;
        for (std::int64_t j = 0; j < n; ++j) line[std::size_t(j)] = x[std::size_t(base + j * stride)];
        for (std::int64_t k = 0; k < n; ++k) {
          cld sum = 0;
          for (std::int64_t j = 0; j < n; ++j) sum += line[std::size_t(j)] * tw[std::size_t(j * k % n)];
          out[std::size_t(k)] = sum;
        }
        for (std::int64_t k = 0; k < n; ++k) x[std::size_t(base + k * stride)] = out[std::size_t(k)];
      }
    }
    stride *= n;
  }
  return x;
}

class Noise {
 public:
  explicit Noise(std::uint64_t seed) : g_(seed) {}
  float operator()() { return static_cast<float>(double(g_() >> 11) * 0x1p-52 - 1.0); }

 private:
  std::mt19937_64 g_;
};

std::vector<float> noise(std::int64_t n, std::uint64_t seed) {
  Noise r(seed);
  std::vector<float> v(static_cast<std::size_t>(n));
  for (auto& x : v) x = r();
  return v;
}

std::vector<cld> toComplex(const std::vector<float>& interleaved) {
  std::vector<cld> z(interleaved.size() / 2);
  for (std::size_t m = 0; m < z.size(); ++m) z[m] = cld(interleaved[2 * m], interleaved[2 * m + 1]);
  return z;
}

// ||a - b|| / ||b|| in the 2-norm.
double relError(const std::vector<cld>& a, const std::vector<cld>& b) {
  long double num = 0, den = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    num += std::norm(a[i] - b[i]);
    den += std::norm(b[i]);
  }
  return double(std::sqrt(num / den));
}

// Round-off bound of a radix-2 transform in float: a few units of 2^-24 per stage.
double tolerance(std::int64_t n) { return 4e-8 * (std::log2(double(n)) + 2); }

Vector toVector(const std::vector<float>& v, int extra = 0) {
  Vector out = vector(1, int(v.size()) + extra);
  for (std::size_t i = 0; i < v.size(); ++i) out[int(i) + 1] = v[i];
  return out;
}

std::vector<float> fromVector(const Vector& v, std::int64_t n) {
  return std::vector<float>(v.data(), v.data() + n);
}

// The butterfly stages in their textbook order: for each twiddle factor in
// turn, every block of the stage. The transforms buffer their twiddle factors
// and sweep the blocks chunk by chunk; both orders must give the same bits.
void textbookStages(float* d, const Dims& nn, int isign) {
  const auto a = [d](std::int64_t i) -> float& { return d[i - 1]; };
  std::int64_t ntot = product(nn), nprev = 1;
  for (auto dim = nn.size(); dim-- > 0;) {
    const std::int64_t n = nn[dim], ip1 = 2 * nprev, ip2 = ip1 * n, ip3 = ip2 * (ntot / (n * nprev));
    std::int64_t i2rev = 1;
    for (std::int64_t i2 = 1; i2 <= ip2; i2 += ip1) {
      if (i2 < i2rev)
        for (std::int64_t i1 = i2; i1 <= i2 + ip1 - 2; i1 += 2)
          for (std::int64_t i3 = i1; i3 <= ip3; i3 += ip2) {
            std::swap(a(i3), a(i2rev + i3 - i2));
            std::swap(a(i3 + 1), a(i2rev + i3 - i2 + 1));
          }
      std::int64_t ibit = ip2 / 2;
      for (; ibit >= ip1 && i2rev > ibit; ibit /= 2) i2rev -= ibit;
      i2rev += ibit;
    }
    for (std::int64_t ifp1 = ip1; ifp1 < ip2; ifp1 *= 2) {
      const std::int64_t ifp2 = 2 * ifp1;
      const double theta = isign * 6.28318530717959 / double(ifp2 / ip1);
      const double wpr = -2.0 * std::sin(0.5 * theta) * std::sin(0.5 * theta);
      const double wpi = std::sin(theta);
      double wr = 1.0, wi = 0.0;
      for (std::int64_t i3 = 1; i3 <= ifp1; i3 += ip1) {
        for (std::int64_t i1 = i3; i1 <= i3 + ip1 - 2; i1 += 2)
          for (std::int64_t k1 = i1; k1 <= ip3; k1 += ifp2) {
            const std::int64_t k2 = k1 + ifp1;
            const double tr = wr * a(k2) - wi * a(k2 + 1), ti = wr * a(k2 + 1) + wi * a(k2);
            a(k2) = float(a(k1) - tr);
            a(k2 + 1) = float(a(k1 + 1) - ti);
            a(k1) = float(a(k1) + tr);
            a(k1 + 1) = float(a(k1 + 1) + ti);
          }
        const double wt = wr;
        wr = wt * wpr - wi * wpi + wr;
        wi = wi * wpr + wt * wpi + wi;
      }
    }
    nprev *= n;
  }
}

}  // namespace

// ---------------------------------------------------------------- complexFft

TEST(IsPowerOfTwo, AgreesWithRepeatedHalvingForEveryIntSize) {
  // Reference: halve a copy of n while it exceeds 1, counting; n is a power of
  // two when 2 to that count gives n back. So 1 passes and n <= 0 fails.
  const auto byHalving = [](std::int64_t n) {
    int halvings = 0;
    for (std::int64_t m = n; m > 1; m /= 2) ++halvings;
    return n > 0 && (std::int64_t{1} << halvings) == n;
  };
  std::vector<std::int64_t> sizes = {INT_MIN, INT_MIN + 1, -4, -2, -1, 0, 12, 2385, INT_MAX};
  for (int k = 0; k <= 30; ++k)
    for (const std::int64_t d : {-1, 0, 1}) sizes.push_back((std::int64_t{1} << k) + d);
  for (const std::int64_t n : sizes) EXPECT_EQ(isPowerOfTwo(n), byHalving(n)) << "n = " << n;
  EXPECT_TRUE(isPowerOfTwo(1));
  EXPECT_TRUE(isPowerOfTwo(1 << 30));
  EXPECT_FALSE(isPowerOfTwo(0));
}

TEST(ComplexFft, MatchesLongDoubleDft) {
  for (std::int64_t nn = 1; nn <= 1024; nn *= 2) {
    for (int isign : {1, -1}) {
      const std::vector<float> x = noise(2 * nn, std::uint64_t(nn) * 7 + 3);
      std::vector<float> y = x;
      complexFft(y.data(), nn, isign);
      const double err = relError(toComplex(y), dft(toComplex(x), {nn}, isign));
      EXPECT_LT(err, tolerance(nn)) << "nn " << nn << " isign " << isign;
    }
  }
}

TEST(ComplexFft, ForwardThenInverseReturnsNnTimesTheInput) {
  for (std::int64_t nn = 1; nn <= (1 << 14); nn *= 2) {
    const std::vector<float> x = noise(2 * nn, std::uint64_t(nn));
    std::vector<float> y = x;
    complexFft(y.data(), nn, 1);
    complexFft(y.data(), nn, -1);
    double worst = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
      worst = std::max(worst, std::fabs(double(y[i]) / double(nn) - x[i]));
    EXPECT_LT(worst, 4 * tolerance(nn)) << "nn " << nn;
  }
}

TEST(ComplexFft, IsLinearAndKeepsParsevalsIdentity) {
  const std::int64_t nn = 512;
  const std::vector<float> x = noise(2 * nn, 11), y = noise(2 * nn, 12);
  const float alpha = 2.385f, beta = -0.731f;
  std::vector<float> mix(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) mix[i] = alpha * x[i] + beta * y[i];
  std::vector<float> fx = x, fy = y;
  complexFft(fx.data(), nn, 1);
  complexFft(fy.data(), nn, 1);
  complexFft(mix.data(), nn, 1);
  std::vector<cld> expected(static_cast<std::size_t>(nn));
  const auto zx = toComplex(fx), zy = toComplex(fy);
  for (std::size_t m = 0; m < expected.size(); ++m)
    expected[m] = (long double)alpha * zx[m] + (long double)beta * zy[m];
  EXPECT_LT(relError(toComplex(mix), expected), 2 * tolerance(nn));

  long double time = 0, freq = 0;
  for (float v : x) time += (long double)v * v;
  for (float v : fx) freq += (long double)v * v;
  EXPECT_NEAR(double(freq / nn / time), 1.0, 2 * tolerance(nn));
}

TEST(ComplexFft, VectorFormTouchesOnlyTheTransformRange) {
  const std::int64_t nn = 16;
  const std::vector<float> x = noise(2 * nn, 5);
  Vector v = toVector(x, 3);
  for (int i = 2 * nn + 1; i <= v.hi(); ++i) v[i] = 2.385f;
  std::vector<float> y = x;
  complexFft(y.data(), nn, -1);
  complexFft(v, nn, -1);
  EXPECT_EQ(fromVector(v, 2 * nn), y);
  for (int i = 2 * nn + 1; i <= v.hi(); ++i) EXPECT_EQ(v[i], 2.385f) << "sentinel " << i;
}

TEST(ComplexFft, ChunkedStagesGiveTheBitsOfTheTextbookOrder) {
  for (const Dims& dims : std::vector<Dims>{{1 << 13}, {2, 4096}, {1024, 2, 4}, {8, 8, 512}}) {
    for (int isign : {1, -1}) {
      const std::int64_t n = product(dims);
      const std::vector<float> x = noise(2 * n, std::uint64_t(n) + 900);
      std::vector<float> want = x, got = x;
      textbookStages(want.data(), dims, isign);
      if (dims.size() == 1)
        complexFft(got.data(), n, isign);
      else
        complexFftN(got.data(), dims, isign);
      EXPECT_EQ(got, want) << dims.size() << " dims, " << n << " points, isign " << isign;
    }
  }
}

// The butterflies of a run, on every instruction set this processor has,
// against the formula one value at a time: the same floats, for runs of
// every length around the vector widths.
TEST(ComplexFft, RunsOfButterfliesHaveTheBitsOfTheFormulaOnEveryInstructionSet) {
  for (std::int64_t count : {1, 2, 3, 4, 5, 7, 8, 9, 31, 64}) {
    const std::vector<float> x = noise(4 * count, std::uint64_t(count) + 77);
    const double wr = 0.8090169943749474, wi = -0.5877852522924731;
    std::vector<float> want = x;
    for (std::int64_t k = 0; k < count; ++k) {
      float* z1 = &want[std::size_t(2 * k)];
      float* z2 = &want[std::size_t(2 * (count + k))];
      const double tr = wr * z2[0] - wi * z2[1], ti = wr * z2[1] + wi * z2[0];
      z2[0] = static_cast<float>(z1[0] - tr);
      z2[1] = static_cast<float>(z1[1] - ti);
      z1[0] = static_cast<float>(z1[0] + tr);
      z1[1] = static_cast<float>(z1[1] + ti);
    }
    for (lanes::InstructionSet isa : {lanes::InstructionSet::baseline,
                                      lanes::InstructionSet::avx2,
                                      lanes::InstructionSet::avx512}) {
      if (!lanes::supported(isa)) continue;
      std::vector<float> got = x;
      detail::butterflyRunOn(isa, got.data(), got.data() + 2 * count, count, wr, wi);
      EXPECT_EQ(got, want) << count << " values, instruction set " << int(isa);
    }
  }
}

// ---------------------------------------------------------------- realFft

TEST(RealFft, WorkedCases) {
  // Impulse: F_k = 1 for every k.
  Vector v = vector(1, 16);
  v[1] = 1;
  realFft(v, 16, 1);
  for (int k = 1; k <= 16; ++k) EXPECT_EQ(v[k], k <= 2 || k % 2 == 1 ? 1.0f : 0.0f) << k;

  // F_0 = 2 alone: the factor 1/2 of the inverse gives 1 everywhere.
  Vector c = vector(1, 16);
  c[1] = 2;
  realFft(c, 16, -1);
  for (int j = 1; j <= 16; ++j) EXPECT_FLOAT_EQ(c[j], 1.0f) << j;

  // n = 8: Re F_1 = 1 gives cos(2 pi j / 8), Im F_1 = 1 gives sin(2 pi j / 8).
  // The sign of the sine fixes the convention that the synthesis relies on.
  Vector re = vector(1, 8), im = vector(1, 8);
  re[3] = 1;
  im[4] = 1;
  realFft(re, 8, -1);
  realFft(im, 8, -1);
  const double sine[8] = {0, 0.707107, 1, 0.707107, 0, -0.707107, -1, -0.707107};
  for (int j = 0; j < 8; ++j) {
    EXPECT_NEAR(re[j + 1], std::cos(2 * M_PI * j / 8), 1e-7) << "cos, j " << j;
    EXPECT_NEAR(im[j + 1], sine[j], 1e-6) << "sin, j " << j;
  }

  // n = 2: only the final step, (d1 + d2, d1 - d2) forward and half that inverse.
  Vector two = vector(1, 2);
  two[1] = 2.385f;
  two[2] = -0.731f;
  realFft(two, 2, 1);
  EXPECT_EQ(two[1], static_cast<float>(2.385f + double(-0.731f)));
  EXPECT_EQ(two[2], static_cast<float>(2.385f - double(-0.731f)));
}

TEST(RealFft, ForwardMatchesLongDoubleDft) {
  for (std::int64_t n = 2; n <= 2048; n *= 2) {
    const std::vector<float> x = noise(n, std::uint64_t(n) + 100);
    std::vector<float> y = x;
    realFft(y.data(), n, 1);
    std::vector<cld> in(x.begin(), x.end());
    const std::vector<cld> full = dft(in, {n}, 1);
    // Unpack: F_0 and F_{n/2} share the first pair.
    std::vector<cld> got(std::size_t(n / 2 + 1)), want(got.size());
    got[0] = y[0];
    got[std::size_t(n / 2)] = y[1];
    for (std::int64_t k = 1; k < n / 2; ++k)
      got[std::size_t(k)] = cld(y[std::size_t(2 * k)], y[std::size_t(2 * k + 1)]);
    for (std::size_t k = 0; k < want.size(); ++k) want[k] = full[k];
    EXPECT_LT(relError(got, want), tolerance(n)) << "n " << n;
  }
}

TEST(RealFft, InverseMatchesLongDoubleSynthesis) {
  for (std::int64_t n = 2; n <= 2048; n *= 2) {
    const std::vector<float> packed = noise(n, std::uint64_t(n) + 200);
    std::vector<cld> full(static_cast<std::size_t>(n));
    full[0] = packed[0];
    full[std::size_t(n / 2)] = packed[1];
    for (std::int64_t k = 1; k < n / 2; ++k) {
      full[std::size_t(k)] = cld(packed[std::size_t(2 * k)], packed[std::size_t(2 * k + 1)]);
      full[std::size_t(n - k)] = std::conj(full[std::size_t(k)]);
    }
    const std::vector<cld> g = dft(full, {n}, -1);
    std::vector<cld> want(g.size()), got(g.size());
    std::vector<float> y = packed;
    realFft(y.data(), n, -1);
    for (std::size_t j = 0; j < g.size(); ++j) {
      want[j] = 0.5L * g[j].real();
      got[j] = y[j];
    }
    EXPECT_LT(relError(got, want), tolerance(n)) << "n " << n;
  }
}

TEST(RealFft, RoundTripAndParseval) {
  for (std::int64_t n = 2; n <= (1 << 15); n *= 2) {
    const std::vector<float> x = noise(n, std::uint64_t(n) + 300);
    std::vector<float> y = x;
    realFft(y.data(), n, 1);
    // sum f^2 = (F_0^2 + F_{n/2}^2 + 2 sum_{0<k<n/2} |F_k|^2) / n
    long double time = 0, freq = (long double)y[0] * y[0] + (long double)y[1] * y[1];
    for (float v : x) time += (long double)v * v;
    for (std::size_t i = 2; i < y.size(); ++i) freq += 2.0L * y[i] * y[i];
    EXPECT_NEAR(double(freq / n / time), 1.0, 2 * tolerance(n)) << "n " << n;

    realFft(y.data(), n, -1);
    double worst = 0;
    for (std::size_t i = 0; i < x.size(); ++i)
      worst = std::max(worst, std::fabs(double(y[i]) / double(n / 2) - x[i]));
    EXPECT_LT(worst, 4 * tolerance(n)) << "n " << n;
  }
}

// ---------------------------------------------------------------- complexFftN

TEST(ComplexFftN, MatchesLongDoubleDft) {
  const std::vector<Dims> shapes = {{8}, {4, 8}, {16, 2}, {2, 4, 8}, {8, 1, 4}, {1, 1, 16},
                                    {4, 4, 4}, {2, 2, 4, 2}, {32, 32}};
  for (const Dims& dims : shapes) {
    for (int isign : {1, -1}) {
      const std::int64_t n = product(dims);
      const std::vector<float> x = noise(2 * n, std::uint64_t(n + isign + 50));
      std::vector<float> y = x;
      complexFftN(y.data(), dims, isign);
      const double err = relError(toComplex(y), dft(toComplex(x), dims, isign));
      EXPECT_LT(err, tolerance(n)) << "shape of " << dims.size() << " dims, " << n
                                   << " points, isign " << isign;
    }
  }
}

TEST(ComplexFftN, OneDimensionIsComplexFft) {
  for (std::int64_t nn = 1; nn <= 512; nn *= 4) {
    std::vector<float> a = noise(2 * nn, 9), b = a;
    complexFft(a.data(), nn, -1);
    complexFftN(b.data(), Dims{nn}, -1);
    EXPECT_EQ(a, b) << "nn " << nn;
  }
}

// ---------------------------------------------------------------- rlft3

namespace {

struct Grid {
  int nn1, nn2, nn3;
  std::int64_t size() const { return std::int64_t(nn1) * nn2 * nn3; }
};

F3tensor tensorFrom(const Grid& g, const std::vector<float>& values) {
  F3tensor t = f3tensor(1, g.nn1, 1, g.nn2, 1, g.nn3);
  std::copy(values.begin(), values.end(), t.data());
  return t;
}

// The half spectrum held by data and nyquistPlane, as H(k1, k2, k3) for
// 0 <= k3 <= nn3/2, indexed ((k1 nn2 + k2)(nn3/2 + 1) + k3).
std::vector<cld> halfSpectrum(const Grid& g, const F3tensor& t, const Matrix& nyq) {
  const int h = g.nn3 / 2;
  std::vector<cld> out(std::size_t(g.nn1 * g.nn2 * (h + 1)));
  for (int k1 = 0; k1 < g.nn1; ++k1)
    for (int k2 = 0; k2 < g.nn2; ++k2) {
      for (int k3 = 0; k3 < h; ++k3)
        out[std::size_t((k1 * g.nn2 + k2) * (h + 1) + k3)] =
            cld(t(k1 + 1, k2 + 1, 2 * k3 + 1), t(k1 + 1, k2 + 1, 2 * k3 + 2));
      out[std::size_t((k1 * g.nn2 + k2) * (h + 1) + h)] =
          cld(nyq(k1 + 1, 2 * k2 + 1), nyq(k1 + 1, 2 * k2 + 2));
    }
  return out;
}

// The same wave numbers taken from a full long-double spectrum.
std::vector<cld> halfOf(const Grid& g, const std::vector<cld>& full) {
  const int h = g.nn3 / 2;
  std::vector<cld> out(std::size_t(g.nn1 * g.nn2 * (h + 1)));
  for (int k1 = 0; k1 < g.nn1; ++k1)
    for (int k2 = 0; k2 < g.nn2; ++k2)
      for (int k3 = 0; k3 <= h; ++k3)
        out[std::size_t((k1 * g.nn2 + k2) * (h + 1) + k3)] =
            full[std::size_t((k1 * g.nn2 + k2) * g.nn3 + k3)];
  return out;
}

std::vector<cld> realToComplex(const std::vector<float>& x) { return {x.begin(), x.end()}; }

const std::vector<Grid> kGrids = {{1, 1, 2}, {1, 4, 8}, {2, 4, 4}, {4, 8, 16},
                                  {8, 2, 2}, {4, 4, 2}, {2, 1, 32}, {16, 16, 8}};

}  // namespace

TEST(Rlft3, ForwardMatchesLongDoubleDft) {
  for (const Grid& g : kGrids) {
    const std::vector<float> x = noise(g.size(), std::uint64_t(g.size()) + 400);
    F3tensor t = tensorFrom(g, x);
    Matrix nyq = matrix(1, g.nn1, 1, 2 * g.nn2);
    rlft3(t, nyq, g.nn1, g.nn2, g.nn3, 1);
    const auto want = halfOf(g, dft(realToComplex(x), {g.nn1, g.nn2, g.nn3}, 1));
    EXPECT_LT(relError(halfSpectrum(g, t, nyq), want), tolerance(g.size()))
        << g.nn1 << "x" << g.nn2 << "x" << g.nn3;
  }
}

TEST(Rlft3, InverseMatchesLongDoubleSynthesis) {
  for (const Grid& g : kGrids) {
    // A random half spectrum, made Hermitian on the planes k3 = 0 and nn3/2
    // (the engines write both members of each mirror pair there).
    const std::int64_t n = g.size();
    Noise r(std::uint64_t(n) + 500);
    std::vector<cld> full(static_cast<std::size_t>(n));
    const auto at = [&](int k1, int k2, int k3) -> cld& {
      return full[std::size_t((std::int64_t(k1) * g.nn2 + k2) * g.nn3 + k3)];
    };
    for (int k1 = 0; k1 < g.nn1; ++k1)
      for (int k2 = 0; k2 < g.nn2; ++k2)
        for (int k3 = 0; k3 <= g.nn3 / 2; ++k3) at(k1, k2, k3) = cld(r(), r());
    for (int k3 : {0, g.nn3 / 2})
      for (int k1 = 0; k1 < g.nn1; ++k1)
        for (int k2 = 0; k2 < g.nn2; ++k2) {
          const int m1 = (g.nn1 - k1) % g.nn1, m2 = (g.nn2 - k2) % g.nn2;
          if (m1 == k1 && m2 == k2) at(k1, k2, k3) = at(k1, k2, k3).real();
          else if (std::make_pair(m1, m2) < std::make_pair(k1, k2))
            at(k1, k2, k3) = std::conj(at(m1, m2, k3));
        }
    for (int k1 = 0; k1 < g.nn1; ++k1)
      for (int k2 = 0; k2 < g.nn2; ++k2)
        for (int k3 = g.nn3 / 2 + 1; k3 < g.nn3; ++k3)
          at(k1, k2, k3) = std::conj(at((g.nn1 - k1) % g.nn1, (g.nn2 - k2) % g.nn2, g.nn3 - k3));

    // The float input is rounded from these values; the reference uses them rounded too.
    for (auto& z : full) z = cld(float(z.real()), float(z.imag()));
    F3tensor t = f3tensor(1, g.nn1, 1, g.nn2, 1, g.nn3);
    Matrix nyq = matrix(1, g.nn1, 1, 2 * g.nn2);
    for (int k1 = 0; k1 < g.nn1; ++k1)
      for (int k2 = 0; k2 < g.nn2; ++k2) {
        for (int k3 = 0; k3 < g.nn3 / 2; ++k3) {
          t(k1 + 1, k2 + 1, 2 * k3 + 1) = float(at(k1, k2, k3).real());
          t(k1 + 1, k2 + 1, 2 * k3 + 2) = float(at(k1, k2, k3).imag());
        }
        nyq(k1 + 1, 2 * k2 + 1) = float(at(k1, k2, g.nn3 / 2).real());
        nyq(k1 + 1, 2 * k2 + 2) = float(at(k1, k2, g.nn3 / 2).imag());
      }
    rlft3(t, nyq, g.nn1, g.nn2, g.nn3, -1);

    const std::vector<cld> synth = dft(full, {g.nn1, g.nn2, g.nn3}, -1);
    std::vector<cld> got(synth.size()), want(synth.size());
    for (std::size_t i = 0; i < synth.size(); ++i) {
      want[i] = 0.5L * synth[i].real();
      got[i] = t.data()[i];
    }
    EXPECT_LT(relError(got, want), tolerance(n)) << g.nn1 << "x" << g.nn2 << "x" << g.nn3;
  }
}

TEST(Rlft3, RoundTripOverASweepOfShapes) {
  for (int nn1 = 1; nn1 <= 16; nn1 *= 2)
    for (int nn2 = 1; nn2 <= 16; nn2 *= 2)
      for (int nn3 = 2; nn3 <= 64; nn3 *= 2) {
        const Grid g{nn1, nn2, nn3};
        const std::vector<float> x = noise(g.size(), std::uint64_t(nn1 * 1000 + nn2 * 100 + nn3));
        F3tensor t = tensorFrom(g, x);
        Matrix nyq = matrix(1, nn1, 1, 2 * nn2);
        rlft3(t, nyq, nn1, nn2, nn3, 1);
        rlft3(t, nyq, nn1, nn2, nn3, -1);
        double worst = 0;
        for (std::int64_t i = 0; i < g.size(); ++i)
          worst = std::max(worst, std::fabs(double(t.data()[i]) / double(g.size() / 2) -
                                            x[std::size_t(i)]));
        ASSERT_LT(worst, 4 * tolerance(g.size())) << nn1 << "x" << nn2 << "x" << nn3;
      }
}

// The parallel transform cuts the lines of each dimension into tasks; every
// float must still see the same operations, so any thread count gives the
// same bits. Shapes large enough to run in parallel, some with a first
// dimension of one or with few blocks to cut.
TEST(Rlft3, SameBitsForEveryThreadCount) {
  const Grid shapes[] = {{32, 32, 64}, {1, 256, 512}, {128, 2, 512}, {8, 64, 256}};
  const int before = wind::maxThreads();
  for (const Grid& g : shapes) {
    for (int isign : {1, -1}) {
      const std::vector<float> x = noise(g.size(), std::uint64_t(g.nn1 + g.nn2 + g.nn3));
      std::vector<float> reference;
      for (int threads : {1, 2, 3, 5}) {
        wind::setThreads(threads);
        F3tensor t = tensorFrom(g, x);
        Matrix nyq = matrix(1, g.nn1, 1, 2 * g.nn2);
        if (isign == -1)  // a spectrum in, with a Nyquist plane of its own
          for (std::int64_t i = 0; i < nyq.size(); ++i) nyq.data()[i] = x[std::size_t(i)];
        rlft3(t, nyq, g.nn1, g.nn2, g.nn3, isign);
        std::vector<float> got(t.data(), t.data() + g.size());
        got.insert(got.end(), nyq.data(), nyq.data() + nyq.size());
        if (reference.empty()) reference = got;
        EXPECT_EQ(std::memcmp(got.data(), reference.data(), got.size() * sizeof(float)), 0)
            << g.nn1 << "x" << g.nn2 << "x" << g.nn3 << " isign " << isign << " threads "
            << threads;
      }
    }
  }
  wind::setThreads(before);
}

TEST(Rlft3, ConstantArray) {
  const Grid g{4, 8, 16};
  const float c = 2.385f;
  F3tensor t = tensorFrom(g, std::vector<float>(std::size_t(g.size()), c));
  Matrix nyq = matrix(1, g.nn1, 1, 2 * g.nn2);
  rlft3(t, nyq, g.nn1, g.nn2, g.nn3, 1);
  const double total = double(c) * double(g.size());
  EXPECT_NEAR(t(1, 1, 1), total, total * 1e-6);
  double worst = 0;
  for (std::int64_t i = 1; i < g.size(); ++i) worst = std::max(worst, double(std::fabs(t.data()[i])));
  for (std::int64_t i = 0; i < nyq.size(); ++i) worst = std::max(worst, double(std::fabs(nyq.data()[i])));
  EXPECT_LT(worst, total * 1e-6);

  rlft3(t, nyq, g.nn1, g.nn2, g.nn3, -1);
  for (std::int64_t i = 0; i < g.size(); ++i)
    ASSERT_NEAR(t.data()[i], total / 2, total * 1e-6) << "element " << i;
}

TEST(Rlft3, PlaneWavesLandOnTheirWaveNumbers) {
  // h = cos(phi) and sin(phi), phi = 2 pi (a x1/nn1 + b x2/nn2 + c x3/nn3):
  // the forward transform is N/2 at k = (a, b, c) for the cosine and +i N/2
  // for the sine, zero elsewhere in the stored half (c < nn3/2).
  const Grid g{4, 8, 16};
  const int a = 1, b = 6, c = 3;  // b = 6 is the wave number -2
  const double half = double(g.size()) / 2;
  for (bool sine : {false, true}) {
    F3tensor t = f3tensor(1, g.nn1, 1, g.nn2, 1, g.nn3);
    for (int x1 = 0; x1 < g.nn1; ++x1)
      for (int x2 = 0; x2 < g.nn2; ++x2)
        for (int x3 = 0; x3 < g.nn3; ++x3) {
          const long double phi =
              2 * kPiL * ((long double)a * x1 / g.nn1 + (long double)b * x2 / g.nn2 +
                          (long double)c * x3 / g.nn3);
          t(x1 + 1, x2 + 1, x3 + 1) = float(sine ? std::sin(phi) : std::cos(phi));
        }
    Matrix nyq = matrix(1, g.nn1, 1, 2 * g.nn2);
    rlft3(t, nyq, g.nn1, g.nn2, g.nn3, 1);
    const auto h = halfSpectrum(g, t, nyq);
    const cld peak = sine ? cld(0, half) : cld(half, 0);
    for (int k1 = 0; k1 < g.nn1; ++k1)
      for (int k2 = 0; k2 < g.nn2; ++k2)
        for (int k3 = 0; k3 <= g.nn3 / 2; ++k3) {
          const cld want = (k1 == a && k2 == b && k3 == c) ? peak : cld(0);
          EXPECT_LT(std::abs(h[std::size_t((k1 * g.nn2 + k2) * (g.nn3 / 2 + 1) + k3)] - want),
                    1e-5 * half)
              << (sine ? "sine" : "cosine") << " at " << k1 << "," << k2 << "," << k3;
        }
  }

  // (-1)^x3 cos(2 pi (a x1/nn1 + b x2/nn2)) lives on the Nyquist plane, at
  // (a, b) and (-a, -b), each N/2.
  F3tensor t = f3tensor(1, g.nn1, 1, g.nn2, 1, g.nn3);
  for (int x1 = 0; x1 < g.nn1; ++x1)
    for (int x2 = 0; x2 < g.nn2; ++x2)
      for (int x3 = 0; x3 < g.nn3; ++x3)
        t(x1 + 1, x2 + 1, x3 + 1) = float(
            (x3 % 2 ? -1 : 1) *
            std::cos(2 * kPiL * ((long double)a * x1 / g.nn1 + (long double)b * x2 / g.nn2)));
  Matrix nyq = matrix(1, g.nn1, 1, 2 * g.nn2);
  rlft3(t, nyq, g.nn1, g.nn2, g.nn3, 1);
  for (int i1 = 1; i1 <= g.nn1; ++i1)
    for (int i2 = 1; i2 <= g.nn2; ++i2) {
      const bool onPeak = (i1 == a + 1 && i2 == b + 1) ||
                          (i1 == g.nn1 - a + 1 && i2 == g.nn2 - b + 1);
      EXPECT_NEAR(nyq(i1, 2 * i2 - 1), onPeak ? half : 0.0, 1e-5 * half) << i1 << "," << i2;
      EXPECT_NEAR(nyq(i1, 2 * i2), 0.0, 1e-5 * half) << i1 << "," << i2;
    }
  float worst = 0;
  for (std::int64_t i = 0; i < g.size(); ++i) worst = std::max(worst, std::fabs(t.data()[i]));
  EXPECT_LT(worst, 1e-5 * half);
}

TEST(Rlft3, MatrixFormIsTheTwoDimensionalTransform) {
  const int nn2 = 8, nn3 = 16;
  const std::vector<float> x = noise(nn2 * nn3, 700);
  for (int isign : {1, -1}) {
    Matrix m = matrix(1, nn2, 1, nn3);
    std::copy(x.begin(), x.end(), m.data());
    Matrix nyqM = matrix(1, 1, 1, 2 * nn2);
    std::copy(x.begin(), x.begin() + 2 * nn2, nyqM.data());  // used by the inverse
    F3tensor t = tensorFrom({1, nn2, nn3}, x);
    Matrix nyqT = matrix(1, 1, 1, 2 * nn2);
    std::copy(x.begin(), x.begin() + 2 * nn2, nyqT.data());
    rlft3(m, nyqM, 1, nn2, nn3, isign);
    rlft3(t, nyqT, 1, nn2, nn3, isign);
    EXPECT_EQ(std::vector<float>(m.data(), m.data() + m.size()),
              std::vector<float>(t.data(), t.data() + t.size()))
        << "isign " << isign;
    EXPECT_EQ(std::vector<float>(nyqM.data(), nyqM.data() + nyqM.size()),
              std::vector<float>(nyqT.data(), nyqT.data() + nyqT.size()));
    if (isign == 1) {
      const Grid g{1, nn2, nn3};
      const auto want = halfOf(g, dft(realToComplex(x), {nn2, nn3}, 1));
      EXPECT_LT(relError(halfSpectrum(g, t, nyqT), want), tolerance(g.size()));
    }
  }
}

// ---------------------------------------------------------------- failures

using wind::testing::fatalReport;

TEST(FftDeathTest, Rlft3RejectsArraysThatDoNotMatchTheDimensions) {
  const std::string msg = "rlft3: problem with dimensions or contiguity of data array\n";
  EXPECT_EXIT(
      {
        F3tensor t = f3tensor(1, 4, 1, 4, 1, 8);
        Matrix nyq = matrix(1, 4, 1, 8);
        rlft3(t, nyq, 4, 4, 4, -1);  // rows of 8 where 4 are expected
      },
      ::testing::ExitedWithCode(1), fatalReport(msg));
  EXPECT_EXIT(
      {
        F3tensor t = f3tensor(0, 3, 0, 3, 0, 7);  // zero-based
        Matrix nyq = matrix(1, 4, 1, 8);
        rlft3(t, nyq, 4, 4, 8, -1);
      },
      ::testing::ExitedWithCode(1), fatalReport(msg));
  EXPECT_EXIT(
      {
        F3tensor t = f3tensor(1, 3, 1, 4, 1, 8);
        Matrix nyq = matrix(1, 3, 1, 8);
        rlft3(t, nyq, 3, 4, 8, 1);  // 3 is not a power of 2
      },
      ::testing::ExitedWithCode(1), fatalReport(msg));
  EXPECT_EXIT(
      {
        Matrix m = matrix(1, 4, 1, 8);
        Matrix nyq = matrix(1, 1, 1, 8);
        rlft3(m, nyq, 2, 4, 8, 1);  // a matrix has a single first index
      },
      ::testing::ExitedWithCode(1), fatalReport(msg));
  EXPECT_EXIT(
      {
        F3tensor t = f3tensor(1, 2, 1, 2, 1, 1);
        Matrix nyq = matrix(1, 2, 1, 4);
        rlft3(t, nyq, 2, 2, 1, 1);  // no complex values along the last index
      },
      ::testing::ExitedWithCode(1), fatalReport(msg));
  EXPECT_EXIT(
      {
        F3tensor t = f3tensor(1, 4, 1, 4, 1, 8);
        Matrix nyq = matrix(1, 4, 1, 4);
        rlft3(t, nyq, 4, 4, 8, -1);
      },
      ::testing::ExitedWithCode(1),
      fatalReport("rlft3: nyquistPlane does not match the dimensions of the data array"));
}

TEST(FftDeathTest, LengthsThatAreNotPowersOfTwoAreRejected) {
  // Such lengths would walk the butterflies past the end of the array.
  EXPECT_EXIT(
      {
        Vector v = vector(1, 6);
        complexFft(v, 3, 1);
      },
      ::testing::ExitedWithCode(1),
      fatalReport("complexFft: number of complex values is not a power of 2"));
  EXPECT_EXIT(
      {
        Vector v = vector(1, 12);
        realFft(v, 12, -1);
      },
      ::testing::ExitedWithCode(1), fatalReport("realFft: length is not a power of 2 of at least 2"));
  EXPECT_EXIT(
      {
        Vector v = vector(1, 1);
        realFft(v, 1, 1);
      },
      ::testing::ExitedWithCode(1), fatalReport("realFft: length is not a power of 2 of at least 2"));
  EXPECT_EXIT(
      {
        std::vector<float> d(2 * 24);
        complexFftN(d.data(), Dims{4, 6}, 1);
      },
      ::testing::ExitedWithCode(1), fatalReport("complexFftN: dimension is not a power of 2"));
}

TEST(FftDeathTest, ArraysTooShortOrSignsOtherThanOneAreRejected) {
  EXPECT_EXIT(
      {
        Vector v = vector(1, 8);
        complexFft(v, 8, 1);
      },
      ::testing::ExitedWithCode(1), fatalReport("complexFft: problem with dimensions of data array"));
  EXPECT_EXIT(
      {
        Vector v = vector(0, 7);
        realFft(v, 8, 1);
      },
      ::testing::ExitedWithCode(1), fatalReport("realFft: problem with dimensions of data array"));
  EXPECT_EXIT(
      {
        Vector v = vector(1, 8);
        realFft(v, 8, 0);
      },
      ::testing::ExitedWithCode(1), fatalReport("realFft: isign has to be 1 or -1"));
  EXPECT_EXIT(
      {
        F3tensor t = f3tensor(1, 2, 1, 2, 1, 4);
        Matrix nyq = matrix(1, 2, 1, 4);
        rlft3(t, nyq, 2, 2, 4, 2);
      },
      ::testing::ExitedWithCode(1), fatalReport("rlft3: isign has to be 1 or -1"));
}
