#include "synthesis/turb3d.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "numerics/fft.hpp"
#include "numerics/random.hpp"
#include "support/threads.hpp"
#include "tensor/spectral_tensor.hpp"
#include "tensor/tensor_integrals.hpp"
#include "tests/support.hpp"

using namespace wind;
using ::testing::ExitedWithCode;
using wind::testing::fatalReport;

namespace {

using Complex = std::complex<double>;

// Model and grid of the small boxes below.
constexpr float kAlphaeps = 0.1f;
constexpr float kL = 30.0f;
constexpr float kGamma = 3.9f;
constexpr std::int32_t kSeed = -7;

using Box = BoxGrid;

const Box kCube{4, 4, 4, Vector3(64.0f, 64.0f, 64.0f)};

struct Fields {
  std::array<F3tensor, 3> fields;
};

Fields synthesise(const Box& b, int ncomp, std::vector<int> comps, Vector3 lim,
                  std::int32_t seed = kSeed, float alphaeps = kAlphaeps, bool terrain = false,
                  const UpstreamTables* tables = nullptr) {
  Fields r;
  for (int c = 0; c < ncomp; ++c) r.fields[c] = f3tensor(1, b.N1, 1, b.N2, 1, b.N3);
  if (ncomp == 3) comps = {0, 1, 2};
  const TensorModel model{alphaeps, kL, kGamma, terrain, tables};
  turb3d(std::span<F3tensor>(r.fields.data(), std::size_t(ncomp)),
         {comps, model, b, lim, Turb3dSlabStart::atSeed(seed)});
  return r;
}

// The Fourier coefficients H(k) that the engine stored, recovered from the
// field by a forward transform (forward after inverse returns N/2 times the
// input): k3 index l = 1 .. n3/2 + 1, the last one from the Nyquist plane.
class Spectrum {
 public:
  Spectrum(const F3tensor& field, const Box& b)
      : b_(b), data_(f3tensor(1, b.N1, 1, b.N2, 1, b.N3)), nyq_(matrix(1, b.N1, 1, 2 * b.N2)) {
    std::memcpy(data_.data(), field.data(), sizeof(float) * std::size_t(field.size()));
    rlft3(data_, nyq_, b.N1, b.N2, b.N3, 1);
    scale_ = 2.0 / (double(b.N1) * b.N2 * b.N3);
  }
  Complex operator()(int i, int j, int l) const {
    if (l == b_.N3 / 2 + 1) return scale_ * Complex(nyq_(i, 2 * j - 1), nyq_(i, 2 * j));
    return scale_ * Complex(data_(i, j, 2 * l - 1), data_(i, j, 2 * l));
  }

 private:
  Box b_;
  F3tensor data_;
  Matrix nyq_;
  double scale_;
};

std::vector<float> deviates(int count, std::int32_t seed = kSeed) {
  RandomGenerator gen;
  std::int32_t state = seed;
  std::vector<float> d(std::size_t(count), 0.0f);
  for (float& x : d) x = gaussDeviate(gen, state);
  return d;
}

// sqrt(2 (2pi)^3 / (L1 L2 L3)) with the single-precision 2 pi, in long double.
double normalisation(Vector3 len) {
  const long double twoPi = 6.2831854820251465L;
  return double(std::sqrt(2.0L * twoPi * twoPi * twoPi / ((long double)len.x * len.y * len.z)));
}

Vector3 waveVector(const Box& b, int i, int j, int l) {
  const double dk = 6.2831854820251465;
  const int m1 = i <= b.N1 / 2 ? i - 1 : i - 1 - b.N1;
  const int m2 = j <= b.N2 / 2 ? j - 1 : j - 1 - b.N2;
  return Vector3(float(m1 * dk / b.Lbox.x), float(m2 * dk / b.Lbox.y),
                 float((l - 1) * dk / b.Lbox.z));
}

// D M (xi_r + i xi_i) for the generated mode of ordinal n (ncomp deviates
// pairs per mode), with a real coefficient for a self-conjugate mode.
std::array<Complex, 3> expected3(const Mat3& m, const std::vector<float>& dev, int n, const Box& b,
                                 bool selfConjugate = false) {
  std::array<Complex, 3> h;
  const double d = normalisation(b.Lbox);
  for (int c = 0; c < 3; ++c) {
    double re = 0.0, im = 0.0;
    for (int q = 0; q < 3; ++q) {
      re += double(at(m, c, q)) * dev[std::size_t(6 * n + 2 * q)];
      im += double(at(m, c, q)) * dev[std::size_t(6 * n + 2 * q + 1)];
    }
    h[std::size_t(c)] = d * Complex(re, selfConjugate ? 0.0 : im);
  }
  return h;
}

double rms(const F3tensor& u) {
  double s = 0.0;
  for (float x : std::span<const float>(u.data(), std::size_t(u.size()))) s += double(x) * x;
  return std::sqrt(s / double(u.size()));
}

void expectComplexNear(Complex actual, Complex expected, double tol) {
  EXPECT_NEAR(actual.real(), expected.real(), tol) << "real part";
  EXPECT_NEAR(actual.imag(), expected.imag(), tol) << "imaginary part";
}

}  // namespace

// Coefficients of the first modes of a 4 x 4 x 4 cube in visiting order, with
// the ordinal each has in the random sequence (6 deviates per mode):
//   #0 (1,1,2)  #1 (1,1,3) Nyquist, self-conjugate  #2 (1,2,1) with mirror (1,4,1)
//   #3 (1,2,2)  #4 (1,2,3) Nyquist, mirror (1,4,3)  #5 (1,3,1) self-conjugate
//   #6 (1,3,2)  #7 (1,3,3) self-conjugate  #8 (1,4,2)  [(1,4,1), (1,4,3) skipped]
//   #9 (2,1,1) with mirror (4,1,1) ...  (3,3,1) self-conjugate, (4,*,1) skipped.
TEST(Turb3d, ThreeComponentCoefficientsFollowTheVisitingOrderAndDrawOrder) {
  const Fields run = synthesise(kCube, 3, {}, Vector3(0.0f));
  const std::vector<float> dev = deviates(6 * 80);
  const Spectrum s0(run.fields[0], kCube), s1(run.fields[1], kCube), s2(run.fields[2], kCube);
  const Spectrum* s[3] = {&s0, &s1, &s2};

  struct Mode {
    int i, j, l, ordinal;
    bool selfConjugate;
  };
  const Mode modes[] = {{1, 1, 2, 0, false}, {1, 1, 3, 1, true},  {1, 2, 1, 2, false},
                        {1, 2, 2, 3, false}, {1, 2, 3, 4, false}, {1, 3, 1, 5, true},
                        {1, 3, 2, 6, false}, {1, 3, 3, 7, true},  {1, 4, 2, 8, false},
                        {2, 1, 1, 9, false}};
  double scale = 0.0;
  for (const Mode& md : modes) {
    const Mat3 m = tensorAmplitude({kAlphaeps, kL, kGamma}, waveVector(kCube, md.i, md.j, md.l));
    const auto h = expected3(m, dev, md.ordinal, kCube, md.selfConjugate);
    if (scale == 0.0) scale = std::abs(h[0]) + std::abs(h[1]) + std::abs(h[2]);
    for (int c = 0; c < 3; ++c) {
      SCOPED_TRACE(::testing::Message()
                   << "mode (" << md.i << "," << md.j << "," << md.l << ") component " << c);
      expectComplexNear((*s[c])(md.i, md.j, md.l), h[std::size_t(c)], 2e-5 * scale);
    }
  }
  // The mean is exactly removed and the field is fully written (no stray zeros
  // at skipped indices: the mirrors fill them).
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(std::abs((*s[c])(1, 1, 1)), 0.0, 1e-6 * scale) << c;
    EXPECT_GT(std::abs((*s[c])(1, 4, 1)), 0.0) << c;
    EXPECT_GT(std::abs((*s[c])(4, 2, 3)), 0.0) << c;
  }
}

TEST(Turb3d, EveryComponentHasZeroMean) {
  const Box b{8, 4, 16, Vector3(300.0f, 60.0f, 40.0f)};
  const Fields run = synthesise(b, 3, {}, Vector3(0.0f));
  for (int c = 0; c < 3; ++c) {
    double sum = 0.0;
    for (float x : std::span<const float>(run.fields[c].data(), std::size_t(run.fields[c].size())))
      sum += x;
    const double mean = sum / double(run.fields[c].size());
    EXPECT_LT(std::fabs(mean), 1e-6 * rms(run.fields[c])) << "component " << c;
    EXPECT_GT(rms(run.fields[c]), 0.0) << "component " << c;
  }
}

TEST(Turb3d, SameSeedGivesIdenticalBitsOtherSeedOrComponentCountDoesNot) {
  const Box b{8, 8, 8, Vector3(200.0f, 100.0f, 50.0f)};
  const Fields a = synthesise(b, 3, {}, Vector3(0.0f));
  const Fields again = synthesise(b, 3, {}, Vector3(0.0f));
  const Fields other = synthesise(b, 3, {}, Vector3(0.0f), -8);
  const Fields single = synthesise(b, 1, {2}, Vector3(0.0f));
  const auto bytes = [&](const F3tensor& t) { return sizeof(float) * std::size_t(t.size()); };
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(std::memcmp(a.fields[c].data(), again.fields[c].data(), bytes(a.fields[c])), 0) << c;
    EXPECT_NE(std::memcmp(a.fields[c].data(), other.fields[c].data(), bytes(a.fields[c])), 0) << c;
  }
  // One component draws two deviates per mode instead of six: a different field.
  EXPECT_NE(std::memcmp(a.fields[2].data(), single.fields[0].data(), bytes(a.fields[2])), 0);
}

// One component c0 = 2: amplitude sqrt(Phi33), two deviates per mode, so the
// ordinals of the mode list above now index pairs.
TEST(Turb3d, OneVerticalComponentUsesPhi33AndTwoDeviatesPerMode) {
  const Fields run = synthesise(kCube, 1, {2}, Vector3(0.0f));
  const std::vector<float> dev = deviates(2 * 20);
  const Spectrum s(run.fields[0], kCube);
  const double d = normalisation(kCube.Lbox);
  struct Mode {
    int i, j, l, ordinal;
    bool selfConjugate;
  };
  const Mode modes[] = {{1, 1, 2, 0, false}, {1, 1, 3, 1, true},  {1, 2, 1, 2, false},
                        {1, 3, 1, 5, true},  {1, 3, 2, 6, false}, {1, 4, 2, 8, false},
                        {2, 1, 1, 9, false}};
  // Phi33 vanishes on the k3 axis (modes #0, #1), so the tolerance follows the
  // largest coefficient.
  std::vector<Complex> h;
  double scale = 0.0;
  for (const Mode& md : modes) {
    const Mat3 phi = spectralTensor({kAlphaeps, kL, kGamma}, waveVector(kCube, md.i, md.j, md.l));
    const double amp = std::sqrt(double(at(phi, 2, 2)));
    h.push_back(d * amp *
                Complex(dev[std::size_t(2 * md.ordinal)],
                        md.selfConjugate ? 0.0 : dev[std::size_t(2 * md.ordinal + 1)]));
    scale = std::max(scale, std::abs(h.back()));
  }
  for (std::size_t n = 0; n < h.size(); ++n) {
    const Mode& md = modes[n];
    SCOPED_TRACE(::testing::Message() << "mode (" << md.i << "," << md.j << "," << md.l << ")");
    expectComplexNear(s(md.i, md.j, md.l), h[n], 2e-5 * scale);
  }
}

TEST(Turb3d, TwoComponentsFactorTheirBlockOfThePointTensor) {
  const Fields run = synthesise(kCube, 2, {0, 2}, Vector3(0.0f));
  const std::vector<float> dev = deviates(4 * 4);
  const Spectrum su(run.fields[0], kCube), sw(run.fields[1], kCube);
  const double d = normalisation(kCube.Lbox);
  // #0 (1,1,2) and #2 (1,2,1), four deviates each: r0 i0 r1 i1.
  const int pos[][4] = {{1, 1, 2, 0}, {1, 2, 1, 2}};
  for (const auto& p : pos) {
    const Mat3 phi = spectralTensor({kAlphaeps, kL, kGamma}, waveVector(kCube, p[0], p[1], p[2]));
    const Mat2 m =
        sqrtSym2(Mat2(Pair2(at(phi, 0, 0), at(phi, 0, 2)), Pair2(at(phi, 2, 0), at(phi, 2, 2))));
    const float* x = &dev[std::size_t(4 * p[3])];
    const Complex hu = d * Complex(double(m[0].first) * x[0] + double(m[0].second) * x[2],
                                   double(m[0].first) * x[1] + double(m[0].second) * x[3]);
    const Complex hw = d * Complex(double(m[1].first) * x[0] + double(m[1].second) * x[2],
                                   double(m[1].first) * x[1] + double(m[1].second) * x[3]);
    const double tol = 2e-5 * (std::abs(hu) + std::abs(hw));
    expectComplexNear(su(p[0], p[1], p[2]), hu, tol);
    expectComplexNear(sw(p[0], p[1], p[2]), hw, tol);
  }
}

// Inside the LimNormK box the amplitude is the root of the cell-mean tensor,
// outside it the point amplitude; the comparison is strict.
TEST(Turb3d, CellIntegralsInsideTheLimNormKBoxOnly) {
  // k3 L of mode #0 (1,1,2) is 2pi 30/64 = 2.945; of #1 (1,1,3) 5.89; k2 L of
  // #2 (1,2,1) 2.945.
  const Vector3 lim(0.5f, 0.5f, 3.0f);
  const Fields run = synthesise(kCube, 3, {}, lim);
  const std::vector<float> dev = deviates(6 * 4);
  const Spectrum s(run.fields[0], kCube), sw(run.fields[2], kCube);

  const Vector3 k0 = waveVector(kCube, 1, 1, 2);
  const Mat3 cell = sqrtSym3(phiIntMatrix({kAlphaeps, kL, kGamma}, k0, kCube.Lbox, 0.0025f));
  const Mat3 point = tensorAmplitude({kAlphaeps, kL, kGamma}, k0);
  const auto hCell = expected3(cell, dev, 0, kCube);
  const auto hPoint = expected3(point, dev, 0, kCube);
  // The two differ clearly at this wave vector, so the check below decides.
  ASSERT_GT(std::abs(hCell[0] - hPoint[0]), 0.05 * std::abs(hPoint[0]));
  expectComplexNear(s(1, 1, 2), hCell[0], 2e-5 * std::abs(hCell[0]));
  expectComplexNear(sw(1, 1, 2), hCell[2], 2e-5 * std::abs(hCell[0]));

  const Mat3 p2 = tensorAmplitude({kAlphaeps, kL, kGamma}, waveVector(kCube, 1, 2, 1));
  const auto h2 = expected3(p2, dev, 2, kCube);
  expectComplexNear(s(1, 2, 1), h2[0], 2e-5 * std::abs(h2[0]));

  // A limit equal to |k3 L| itself does not count as inside.
  const float k3L = float(double(k0.z) * kL);
  const Fields edge = synthesise(kCube, 3, {}, Vector3(0.5f, 0.5f, k3L));
  expectComplexNear(Spectrum(edge.fields[0], kCube)(1, 1, 2), hPoint[0],
                    2e-5 * std::abs(hPoint[0]));
}

// A box 4000 times longer along the wind than across it (6840 x 1.71 x 1.71 m,
// L = 33.6 m) has cells across the wind too wide for its first waves along
// it: the check finds the cell the engine stops at, (2 pi / 6840, 0, 0), and
// passes a box that the engine synthesises.
TEST(Turb3dDeathTest, TheCellCheckFindsWhereTheEngineStops) {
  const TensorModel model{{0.1f, 33.6f, 3.9f}};
  const int comps[] = {0, 1, 2};
  const Box thin{64, 16, 16, Vector3(6840.0f, 1.71f, 1.71f)};
  // LimNormK of a non-cubic box: (3, 4 pi L / LMax_2, 4 pi L / LMax_3).
  const auto limOf = [](const Box& b) {
    return Vector3(3.0f, float(4.0 * 3.14159265358979 * 33.6 / b.Lbox.y),
                   float(4.0 * 3.14159265358979 * 33.6 / b.Lbox.z));
  };
  const std::optional<Vector3> k = turb3dCellFailure(comps, model, thin, limOf(thin));
  ASSERT_TRUE(k.has_value());
  EXPECT_EQ(k->x, float(double(6.2831854820251465) / 6840.0));
  const auto engine = [&] {
    Fields f;
    for (F3tensor& a : f.fields) a = f3tensor(1, 64, 1, 16, 1, 16);
    turb3d(f.fields, {comps, model, thin, limOf(thin), Turb3dSlabStart::atSeed(kSeed)});
  };
  EXPECT_EXIT(engine(), ExitedWithCode(1), "Error in adapint2 \\(called from phiInt\\)");
  const Box wide{64, 16, 16, Vector3(6840.0f, 124.0f, 124.0f)};
  EXPECT_FALSE(turb3dCellFailure(comps, model, wide, limOf(wide)).has_value());
  // A cube takes no cells at all.
  EXPECT_FALSE(turb3dCellFailure(comps, model, kCube, Vector3(0.0f, 0.0f, 0.0f)).has_value());
}

TEST(Turb3d, TerrainFlagAndTablesReachTheTensor) {
  UpstreamTables tables;
  tables.hasStretch = true;
  for (int i = 0; i < kKLGridSize; ++i) {
    tables.kL[std::size_t(i)] = kLGrid(i);
    tables.strain[0][std::size_t(i)] = std::log(1.3f);
    tables.strain[1][std::size_t(i)] = std::log(0.8f);
  }
  const Fields run = synthesise(kCube, 3, {}, Vector3(0.0f), kSeed, kAlphaeps, true, &tables);
  const std::vector<float> dev = deviates(6);
  const Vector3 k = waveVector(kCube, 1, 1, 2);
  const auto h =
      expected3(tensorAmplitude({kAlphaeps, kL, kGamma, true, &tables}, k), dev, 0, kCube);
  const auto plain = expected3(tensorAmplitude({kAlphaeps, kL, kGamma}, k), dev, 0, kCube);
  ASSERT_GT(std::abs(h[0] - plain[0]), 0.05 * std::abs(plain[0]));
  expectComplexNear(Spectrum(run.fields[0], kCube)(1, 1, 2), h[0], 2e-5 * std::abs(h[0]));

  // Terrain on without tables ends the run before any work.
  EXPECT_EXIT(
      synthesise(kCube, 3, {}, Vector3(0.0f), kSeed, kAlphaeps, true, nullptr), ExitedWithCode(1),
      fatalReport("stretch tables not built: the Terrain stretch needs the Terrain option"));
}

TEST(Turb3d, BadComponentCountsAndShapesAreFatal) {
  EXPECT_EXIT(synthesise(kCube, 0, {}, Vector3(0.0f)), ExitedWithCode(1),
              fatalReport("Number of components not correct"));
  EXPECT_EXIT(synthesise(kCube, 1, {3}, Vector3(0.0f)), ExitedWithCode(1),
              fatalReport("Component number not correct"));
  EXPECT_EXIT(synthesise(Box{4, 4, 1, kCube.Lbox}, 3, {}, Vector3(0.0f)), ExitedWithCode(1),
              fatalReport("The third dimension of a three-dimensional field needs at least 2 "
                          "points"));
  std::array<F3tensor, 1> wrong{f3tensor(1, 4, 1, 4, 1, 8)};
  const std::vector<int> u{0};
  const TensorModel model{kAlphaeps, kL, kGamma};
  const Turb3dRequest request{u, model, {4, 4, 4, kCube.Lbox}, Vector3(0.0f),
                              Turb3dSlabStart::atSeed(kSeed)};
  EXPECT_EXIT(turb3d(wrong, request),
              ExitedWithCode(1), fatalReport("turb3d: field array does not match the grid"));
}

// |H_c(k)/2|^2 / (Phi_cc(k) dk1 dk2 dk3) is exponentially distributed with mean
// and variance 1 for every mode that is not its own mirror. Over n modes the
// sample mean has standard deviation 1/sqrt(n) and the sample variance about
// sqrt(8/n) (fourth central moment 9). Both are checked within 4.5 standard
// deviations on either side, per component: a wrong factor sqrt(2) in the
// normalisation, a swapped component, or coefficients of fixed modulus fail.
TEST(Turb3d, ModePowerMatchesTheTensorOutsideTheCellBox) {
  const Box b{16, 16, 16, Vector3(400.0f, 150.0f, 120.0f)};
  const Vector3 lim(1.0f, 1.0f, 2.0f);  // holds 5 modes with l = 2
  const Fields run = synthesise(b, 3, {}, lim, -12345);
  const double dk = 6.2831854820251465 * 6.2831854820251465 * 6.2831854820251465 /
                    (double(b.Lbox.x) * b.Lbox.y * b.Lbox.z);
  for (int c = 0; c < 3; ++c) {
    const Spectrum s(run.fields[c], b);
    double sum = 0.0, sumSq = 0.0;
    int n = 0;
    for (int i = 1; i <= b.N1; ++i)
      for (int j = 1; j <= b.N2; ++j)
        for (int l = 2; l <= b.N3 / 2; ++l) {
          const Vector3 k = waveVector(b, i, j, l);
          // On the k3 axis the vertical component carries no energy.
          if (k.x == 0.0f && k.y == 0.0f) continue;
          if (std::fabs(k.x * kL) < lim.x && std::fabs(k.y * kL) < lim.y &&
              std::fabs(k.z * kL) < lim.z)
            continue;
          const double phi = at(spectralTensor({kAlphaeps, kL, kGamma}, k), c, c);
          const double ratio = std::norm(0.5 * s(i, j, l)) / (phi * dk);
          sum += ratio;
          sumSq += ratio * ratio;
          ++n;
        }
    const double mean = sum / n;
    const double var = sumSq / n - mean * mean;
    const double sdMean = 1.0 / std::sqrt(double(n)), sdVar = std::sqrt(8.0 / n);
    EXPECT_NEAR(mean, 1.0, 4.5 * sdMean) << "component " << c << ", " << n << " modes";
    EXPECT_NEAR(var, 1.0, 4.5 * sdVar) << "component " << c << ", " << n << " modes";
  }
}

// The whole field of a two-component run on a box that is not a cube, against
// a direct long-double sum: wave vectors visited i, j, l with l innermost; in
// the planes k3 = 0 and k3 = N3/2 only the first of each pair k, -k is
// generated, its conjugate stands at -k, and a wave vector that is its own
// mirror is real; deviates drawn xr0, xi0, xr1, xi1 per wave vector; the
// amplitude is the root of the (c0, c1) block of the cell mean inside the
// LimNormK box and of the point tensor outside it; u_c(x) = 1/2 sum over the
// whole grid of H_c(k) exp(-i k.x).
TEST(Turb3d, TwoComponentFieldMatchesADirectSumOnABoxThatIsNotACube) {
  const Box box{8, 4, 4, Vector3(96.0f, 70.0f, 50.0f)};
  const Vector3 lim(3.0f, 4.0f, 4.0f);  // the cells with |m1| <= 1, |m2| <= 1, m3 <= 1
  const int c0 = 2, c1 = 0;
  const Fields run = synthesise(box, 2, {c0, c1}, lim);

  using ComplexL = std::complex<long double>;
  const long double d = normalisation(box.Lbox);
  RandomGenerator gen;
  std::int32_t state = kSeed;
  std::map<std::array<int, 3>, std::array<ComplexL, 2>> full;  // by (m1, m2, m3) mod N
  auto wrap = [](int m, int n) { return ((m % n) + n) % n; };
  int cells = 0;
  for (int i = 1; i <= box.N1; ++i)
    for (int j = 1; j <= box.N2; ++j)
      for (int l = 1; l <= box.N3 / 2 + 1; ++l) {
        const int m1 = i <= box.N1 / 2 ? i - 1 : i - 1 - box.N1;
        const int m2 = j <= box.N2 / 2 ? j - 1 : j - 1 - box.N2;
        const int m3 = l - 1;
        if (m1 == 0 && m2 == 0 && m3 == 0) continue;
        const std::array<int, 3> here{wrap(m1, box.N1), wrap(m2, box.N2), wrap(m3, box.N3)};
        const std::array<int, 3> mirror{wrap(-m1, box.N1), wrap(-m2, box.N2), wrap(-m3, box.N3)};
        if (full.count(here) != 0) continue;  // conjugate of one generated before
        const Vector3 k = waveVector(box, i, j, l);
        const bool cell = std::fabs(k.x * kL) < lim.x && std::fabs(k.y * kL) < lim.y &&
                          std::fabs(k.z * kL) < lim.z;
        cells += cell;
        const Mat3 phi = spectralTensor({kAlphaeps, kL, kGamma}, k);
        auto element = [&](int a, int b) -> long double {
          if (cell) return phiInt({kAlphaeps, kL, kGamma}, k, box.Lbox, 0.0025f, a, b);
          return at(phi, a, b);
        };
        const auto m = wind::testing::sqrt2x2(element(c0, c0), element(c0, c1), element(c1, c1));
        long double xr[2], xi[2];
        for (int c = 0; c < 2; ++c) {
          xr[c] = gaussDeviate(gen, state);
          xi[c] = gaussDeviate(gen, state);
        }
        const bool self = here == mirror;
        std::array<ComplexL, 2> h;
        for (int r = 0; r < 2; ++r)
          h[r] = ComplexL(d * (m[r][0] * xr[0] + m[r][1] * xr[1]),
                          self ? 0.0L : d * (m[r][0] * xi[0] + m[r][1] * xi[1]));
        full[here] = h;
        if (!self) full[mirror] = {std::conj(h[0]), std::conj(h[1])};
      }
  ASSERT_EQ(full.size(), std::size_t(box.N1 * box.N2 * box.N3 - 1)) << "every k but 0 once";
  ASSERT_GT(cells, 4) << "the test needs cell means";

  const long double twoPi = 6.283185307179586476925286766559L;
  for (int c = 0; c < 2; ++c) {
    std::vector<long double> u;
    long double largest = 0;
    for (int i = 0; i < box.N1; ++i)
      for (int j = 0; j < box.N2; ++j)
        for (int l = 0; l < box.N3; ++l) {
          long double sum = 0;
          for (const auto& [key, h] : full) {
            const long double phase = -twoPi * ((long double)(key[0] * i % box.N1) / box.N1 +
                                                (long double)(key[1] * j % box.N2) / box.N2 +
                                                (long double)(key[2] * l % box.N3) / box.N3);
            sum += 0.5L * (h[std::size_t(c)] * std::polar(1.0L, phase)).real();
          }
          u.push_back(sum);
          largest = std::max(largest, std::fabs(sum));
        }
    std::size_t n = 0;
    for (int i = 1; i <= box.N1; ++i)
      for (int j = 1; j <= box.N2; ++j)
        for (int l = 1; l <= box.N3; ++l, ++n)
          ASSERT_NEAR(run.fields[std::size_t(c)](i, j, l), double(u[n]), 1e-5 * double(largest))
              << "component " << c << " at (" << i << ", " << j << ", " << l << ")";
  }
}

TEST(Turb3dDeathTest, AnAmplitudeStoreTheHeapRefusesLeavesTheFieldsAsWithout) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator aborts where the heap would refuse";
#else
  // 64 x 32 x 32, three components: a store of about 1.2 MiB, more than the
  // room left beside the working arrays.
  const Box box{64, 32, 32, Vector3(640.0f, 100.0f, 100.0f)};
  const Fields plain = synthesise(box, 3, {}, Vector3(0.0f));
  const TensorModel model{kAlphaeps, kL, kGamma};
  Turb3dRequest request{kAllComponents, model, box, Vector3(0.0f), Turb3dSlabStart::atSeed(kSeed)};
  EXPECT_EXIT(
      {
        setThreads(1);  // no team: its threads' stacks would not fit either
        Fields kept;
        for (F3tensor& f : kept.fields) f = f3tensor(1, box.N1, 1, box.N2, 1, box.N3);
        Turb3dAmplitudes store;
        wind::testing::limitAddressSpace(turb3dWorkBytes(box, 3) + 256.0 * 1024);
        request.work.amplitudes = &store;
        turb3d(kept.fields, request);
        bool same = !store.filled && store.values.empty();
        for (int c = 0; c < 3; ++c)
          same = same && std::equal(plain.fields[c].span().begin(), plain.fields[c].span().end(),
                                    kept.fields[c].span().begin());
        std::exit(same ? 0 : 2);
      },
      ExitedWithCode(0), "");
#endif
}
