#include "synthesis/turb2d.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "tensor/tensor_integrals.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

using ::testing::ExitedWithCode;
using wind::testing::fatalReport;
using wind::testing::planes;

constexpr float kAlphaeps = 0.06f, kL = 30.0f, kGamma = 3.0f;

// The plane's spectral element (a, b) at (k1, k2) as documented: the cell
// average inside the LimNormK box, otherwise the line integral over the absent
// component, with the aliasing sum for a single component.
long double planeSpectrum(float k1, float k2, int a, int b, int absentDim, Pair2 lengths,
                          Pair2 limNormK, int ncomp) {
  const bool cell = std::fabs(k1 * kL) < limNormK.first && std::fabs(k2 * kL) < limNormK.second;
  if (cell)
    return phiIntkxSinc({kAlphaeps, kL, kGamma}, k1, k2, lengths.second, absentDim, 0.0025f, a, b);
  if (ncomp == 1)
    return phiIntCompAlias({kAlphaeps, kL, kGamma}, k1, k2, absentDim,
                           Pair2(lengths.first, lengths.second), 0.001f, a, b);
  return phiIntComp({kAlphaeps, kL, kGamma}, k1, k2, absentDim, 0.001f, a, b);
}

void expectMatches(const std::vector<Matrix>& f, const std::vector<std::vector<long double>>& ref,
                   int n1, int n2, const char* what) {
  for (std::size_t c = 0; c < ref.size(); ++c) {
    const double tol = 1e-5 * double(testing::maxAbs(ref[c]));
    for (int i = 1; i <= n1; ++i)
      for (int j = 1; j <= n2; ++j)
        ASSERT_NEAR(f[c][i][j], double(ref[c][std::size_t(i - 1) * n2 + j - 1]), tol)
            << what << ", c = " << c << ", (" << i << ", " << j << ")";
  }
}

// Engine against a direct long-double sum over the documented coefficients;
// the LimNormK box holds the wave vectors with |m1| <= 1 and m2 <= 2 (|k L|
// steps of 1.71 and 2.09), so both kinds of spectrum are used.
TEST(Turb2d, TwoComponentsMatchDirectSum) {
  const int n1 = 8, n2 = 8, absentDim = 1, seed = -1313;
  const Pair2 lengths(110.0f, 90.0f), limNormK(3.0f, 5.0f);
  {
    // Inside the box the cell average differs from the point value.
    const float k1 = float(6.2831855 / 110.0), k2 = float(2 * 6.2831855 / 90.0);
    const long double cell = planeSpectrum(k1, k2, 0, 0, absentDim, lengths, limNormK, 2);
    const long double line = planeSpectrum(k1, k2, 0, 0, absentDim, lengths, Pair2(), 2);
    ASSERT_GT(double(std::fabs(cell / line - 1)), 0.01);
  }
  const std::array<int, 2> comps{0, 2};
  auto f = planes(2, n1, n2);
  turb2d(f, comps, {kAlphaeps, kL, kGamma}, {n1, n2, lengths}, absentDim, seed, limNormK);
  const auto ref = testing::referencePlane(
      n1, n2, lengths.first, lengths.second, 2, seed, [&](float k1, float k2) {
        auto s = [&](int a, int b) {
          return planeSpectrum(k1, k2, a, b, absentDim, lengths, limNormK, 2);
        };
        return testing::sqrt2x2(s(0, 0), s(0, 2), s(2, 2));
      });
  expectMatches(f, ref, n1, n2, "components (0, 2)");
}

// A single component takes the spectrum with the aliasing sum; the test checks
// that this differs from the plain line integral, so that it tells them apart.
TEST(Turb2d, OneComponentUsesTheAliasedSpectrum) {
  const int n1 = 8, n2 = 4, absentDim = 2, seed = -404;
  const Pair2 lengths(64.0f, 48.0f), limNormK(0.0f, 0.0f);
  const std::array<int, 1> comps{1};
  auto f = planes(1, n1, n2);
  turb2d(f, comps, {kAlphaeps, kL, kGamma}, {n1, n2, lengths}, absentDim, seed, limNormK);
  const auto ref = testing::referencePlane(
      n1, n2, lengths.first, lengths.second, 1, seed, [&](float k1, float k2) {
        testing::AmplitudeL m{};
        m[0][0] = std::sqrt(planeSpectrum(k1, k2, 1, 1, absentDim, lengths, limNormK, 1));
        return m;
      });
  expectMatches(f, ref, n1, n2, "component 1 alone");

  const float k1 = float(3 * 6.2831855 / 64.0), k2 = float(6.2831855 / 48.0);
  const long double aliased = planeSpectrum(k1, k2, 1, 1, absentDim, lengths, limNormK, 1);
  const long double plain = planeSpectrum(k1, k2, 1, 1, absentDim, lengths, limNormK, 2);
  EXPECT_GT(double(std::fabs(aliased / plain - 1)), 0.01);
}

TEST(Turb2d, ThreeComponentsReproducibleWithZeroMean) {
  const int n1 = 4, n2 = 8;
  auto a = planes(3, n1, n2), b = planes(3, n1, n2);
  for (auto* f : {&a, &b})
    turb2d(*f, kAllComponents, {kAlphaeps, kL, kGamma}, {n1, n2, Pair2(80.0f, 80.0f)}, 1, -9,
           Pair2(0.0f, 0.0f));
  for (int c = 0; c < 3; ++c) {
    double sum = 0, sumAbs = 0;
    for (int i = 1; i <= n1; ++i)
      for (int j = 1; j <= n2; ++j) {
        ASSERT_EQ(a[c][i][j], b[c][i][j]) << "c = " << c << ", (" << i << ", " << j << ")";
        sum += a[c][i][j];
        sumAbs += std::fabs(a[c][i][j]);
      }
    EXPECT_GT(sumAbs, 0.0) << "c = " << c;
    EXPECT_LT(std::fabs(sum), 1e-5 * sumAbs) << "mean of c = " << c;
  }
}

// The periodogram of each component follows the integrated spectrum, and the
// co-spectrum of components 0 and 2 (correlated by the shear) its element.
TEST(Turb2d, PeriodogramFollowsTheIntegratedSpectra) {
  const int n1 = 16, n2 = 16, absentDim = 1;
  const Pair2 lengths(240.0f, 160.0f), limNormK(0.0f, 0.0f);
  const double dk1 = double(kTwoPiF) / lengths.first;
  const double dk2 = double(kTwoPiF) / lengths.second;
  // The model at the interior wave vectors l = 2 .. n2/2, computed once.
  struct Mode {
    int i, l;
    double s[3], s02;
  };
  std::vector<Mode> modes;
  for (int i = 1; i <= n1; ++i) {
    const int m1 = i - 1 < n1 / 2 ? i - 1 : i - 1 - n1;
    const float k1 = static_cast<float>(m1 * double(kTwoPiF) / lengths.first);
    for (int l = 2; l <= n2 / 2; ++l) {
      const float k2 = static_cast<float>((l - 1) * double(kTwoPiF) / lengths.second);
      Mode m{i, l, {}, 0};
      for (int c = 0; c < 3; ++c)
        m.s[c] = double(planeSpectrum(k1, k2, c, c, absentDim, lengths, limNormK, 3));
      m.s02 = double(planeSpectrum(k1, k2, 0, 2, absentDim, lengths, limNormK, 3));
      modes.push_back(m);
    }
  }
  testing::ExpSample power[3];
  double coSum = 0, coExpected = 0;
  long count = 0;
  for (int seed : {-31, -32, -33, -34}) {
    auto f = planes(3, n1, n2);
    turb2d(f, kAllComponents, {kAlphaeps, kL, kGamma}, {n1, n2, lengths}, absentDim, seed,
           limNormK);
    std::vector<testing::PlaneCoefficients> h;
    for (int c = 0; c < 3; ++c) h.push_back(testing::planeCoefficients(f[c], n1, n2));
    for (const Mode& m : modes) {
      for (int c = 0; c < 3; ++c)
        power[c].add(std::norm(h[c](m.i, m.l)) / (4 * dk1 * dk2 * m.s[c]));
      const double norm = 4 * dk1 * dk2 * std::sqrt(m.s[0] * m.s[2]);
      coSum += (h[0](m.i, m.l) * std::conj(h[2](m.i, m.l))).real() / norm;
      coExpected += m.s02 / std::sqrt(m.s[0] * m.s[2]);
      ++count;
    }
  }
  testing::expectExpOne(power[0], "along-wind");
  testing::expectExpOne(power[1], "cross-wind");
  testing::expectExpOne(power[2], "vertical");
  EXPECT_LT(coExpected / count, -0.1) << "the test needs a clearly non-zero coherence";
  EXPECT_NEAR(coSum / count, coExpected / count, 4.5 / std::sqrt(double(count)));
}

TEST(Turb2dDeathTest, AbsentAlongWindAxisAndBadComponentCount) {
  const std::array<int, 4> comps{0, 1, 2, 0};
  // `arrays` arrays of 4 x 4 points handed to a run on a 4 x n2 grid.
  auto run = [&](int arrays, int n2, std::size_t ncomp, int absentDim, Pair2 limNormK) {
    auto f = planes(arrays, 4, 4);
    turb2d(f, std::span(comps).first(ncomp), {kAlphaeps, kL, kGamma},
           {4, n2, Pair2(50.0f, 50.0f)}, absentDim, -1, limNormK);
  };
  const auto integrateComp =
      fatalReport("IntegrateComp has to be 1 or 2 (corresponding to k_2 or k_3)");
  EXPECT_EXIT(run(1, 4, 1, 0, Pair2(0.0f, 0.0f)), ExitedWithCode(1), integrateComp);
  EXPECT_EXIT(run(3, 4, 3, 3, Pair2(3.0f, 3.0f)), ExitedWithCode(1), integrateComp);
  EXPECT_EXIT(run(3, 4, 4, 1, Pair2(0.0f, 0.0f)), ExitedWithCode(1),
              fatalReport("Number of components not correct"));
  EXPECT_EXIT(run(2, 8, 2, 1, Pair2(0.0f, 0.0f)), ExitedWithCode(1),
              fatalReport("turb2d: field arrays do not match the number of components or the grid"));
}

}  // namespace
}  // namespace wind
