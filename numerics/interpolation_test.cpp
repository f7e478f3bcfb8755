#include "numerics/interpolation.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "numerics/arrays.hpp"
#include "tests/support.hpp"

using namespace wind;
using ::testing::ExitedWithCode;
using wind::testing::fatalMessage;
using wind::testing::fatalReport;

namespace {

const std::array<float, 10> kRising = {10, 15, 20, 25, 30, 40, 50, 60, 70, 80};

}  // namespace

TEST(TableLocate, RisingTableBracketsAndEnds) {
  struct Case {
    float x;
    int j;
  };
  for (const Case c : {Case{9, 0}, Case{10, 1}, Case{12, 1}, Case{15, 2}, Case{39.9f, 5},
                       Case{40, 6}, Case{79.9f, 9}, Case{80, 9}, Case{81, 10}})
    EXPECT_EQ(tableLocate(kRising, c.x), c.j) << "x = " << c.x;
}

TEST(TableLocate, FallingTable) {
  const std::array<float, 6> xx = {80, 60, 45, 30, 20, 5};
  // Between nodes: xx[j] > x > xx[j+1].
  for (int j = 1; j <= 5; ++j) {
    const float x = 0.5f * (xx[j - 1] + xx[j]);
    EXPECT_EQ(tableLocate(xx, x), j) << "x = " << x;
  }
  EXPECT_EQ(tableLocate(xx, 81), 0);
  EXPECT_EQ(tableLocate(xx, 4), 6);
  EXPECT_EQ(tableLocate(xx, 80), 1);
  EXPECT_EQ(tableLocate(xx, 5), 5);
  // An interior node of a falling table belongs to the interval above it.
  EXPECT_EQ(tableLocate(xx, 45), 2);
}

TEST(TableLocate, TheSpanSetsBaseAndLength) {
  Vector zeroBased = vector(0, 9);
  for (int i = 0; i < 10; ++i) zeroBased[i] = kRising[static_cast<std::size_t>(i)];
  EXPECT_EQ(tableLocate(zeroBased, 42), 6);
  // Only the entries of the span count: 42 lies above a five-entry table.
  EXPECT_EQ(tableLocate(std::span(kRising).first(5), 42), 5);
  EXPECT_EQ(tableLocate(std::span(kRising).first(5), 30), 4);
}

namespace {

// Abscissas with exact binary fractions, strictly increasing, unevenly spaced.
std::vector<float> knots(int n) {
  std::vector<float> x(static_cast<std::size_t>(n));
  float v = -1.5f;
  for (int i = 0; i < n; ++i) {
    x[static_cast<std::size_t>(i)] = v;
    v += 0.25f * static_cast<float>(1 + (i * 5) % 7);
  }
  return x;
}

}  // namespace

TEST(Spline, NaturalAndClampedSplinesReproduceStraightLines) {
  const float slope = 2.375f, offset = -1.25f;  // exact binary fractions
  for (int n = 2; n <= 12; ++n) {
    const std::vector<float> x = knots(n);
    std::vector<float> y(x.size()), y2(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) y[i] = slope * x[i] + offset;
    for (const float end : {kNaturalSpline, slope}) {
      splineSetup(x, y, end, end, y2);
      for (std::size_t i = 0; i < x.size(); ++i) {
        EXPECT_EQ(y2[i], 0.0f) << "n = " << n << ", knot " << i;
        EXPECT_EQ(splint(x, y, y2, x[i]), y[i]) << "n = " << n << ", knot " << i;
      }
      for (float t = x.front() - 0.5f; t <= x.back() + 0.5f; t += 0.1875f) {
        const double exact = static_cast<double>(slope) * t + offset;
        EXPECT_NEAR(splint(x, y, y2, t), exact, 2e-6 * (1 + std::fabs(exact)))
            << "n = " << n << ", x = " << t;
      }
    }
  }
}

TEST(Spline, ClampedSplineReproducesACubic) {
  // A cubic with its exact end slopes is its own clamped cubic spline.
  auto f = [](long double x) { return ((0.75L * x - 2.0L) * x + 0.5L) * x + 1.125L; };
  auto df = [](long double x) { return (2.25L * x - 4.0L) * x + 0.5L; };
  const int n = 9;
  const std::vector<float> x = knots(n);
  std::vector<float> y(x.size()), y2(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) y[i] = static_cast<float>(f(x[i]));
  splineSetup(x, y, static_cast<float>(df(x.front())), static_cast<float>(df(x.back())), y2);
  for (std::size_t i = 0; i < x.size(); ++i)
    EXPECT_NEAR(y2[i], static_cast<double>(4.5L * x[i] - 4.0L), 2e-4) << "x = " << x[i];
  for (float t = x.front(); t <= x.back(); t += 0.0625f) {
    const double exact = static_cast<double>(f(t));
    EXPECT_NEAR(splint(x, y, y2, t), exact, 2e-5 * (1 + std::fabs(exact))) << "x = " << t;
  }
}

TEST(Spline, NaturalEndsHaveZeroCurvatureAndKnotsAreExact) {
  const int n = 7;
  Vector x = vector(1, n), y = vector(1, n), y2 = vector(1, n);
  for (int i = 1; i <= n; ++i) {
    x[i] = 0.3f * static_cast<float>(i * i);
    y[i] = std::sin(x[i]);
  }
  splineSetup(x, y, kNaturalSpline, 2.0e30f, y2);
  EXPECT_EQ(y2[1], 0.0f);
  EXPECT_EQ(y2[n], 0.0f);
  for (int i = 1; i <= n; ++i) EXPECT_EQ(splint(x, y, y2, x[i]), y[i]) << "knot " << i;
  // The spline follows sin between the knots (coarse knots, loose bound).
  EXPECT_NEAR(splint(x, y, y2, 4.0f), std::sin(4.0), 0.05);
}

TEST(Spline, WeightsAreRoundedToFloatBeforeTheyAreUsed) {
  // Reference in long double with the rounding points of the routine: h, a and
  // b are stored as float, the value is rounded once at the end.
  const std::array<float, 4> xa = {0.0f, 0.3f, 1.7f, 2.9f}, ya = {1.25f, -0.6f, 2.385f, 0.7f},
                             y2a = {0.0f, 3.1f, -1.9f, 0.0f};
  int rounded = 0;
  for (float x = -0.25f; x <= 3.1f; x += 0.01f) {
    int k = 0;
    while (k < 2 && xa[std::size_t(k + 1)] <= x) ++k;
    const auto lo = std::size_t(k), hi = std::size_t(k + 1);
    using LD = long double;
    const float h = xa[hi] - xa[lo];
    const auto weighted = [&](LD a, LD b) {
      return static_cast<float>(a * ya[lo] + b * ya[hi] +
                                ((a * a * a - a) * y2a[lo] + (b * b * b - b) * y2a[hi]) *
                                    (LD(h) * h) / 6.0L);
    };
    const LD aExact = (LD(xa[hi]) - x) / h, bExact = (LD(x) - xa[lo]) / h;
    const float expected = weighted(static_cast<float>(aExact), static_cast<float>(bExact));
    EXPECT_EQ(splint(xa, ya, y2a, x), expected) << "x = " << x;
    rounded += expected != weighted(aExact, bExact);
  }
  EXPECT_GT(rounded, 0) << "the sweep must meet points where the rounding shows";
}

TEST(Spline, EqualAbscissasAndTooFewPointsAreRefused) {
  const std::array<float, 3> xa = {1, 1, 3}, ya = {0, 1, 2}, y2a = {0, 0, 0};
  const std::string badXa = "Bad xa input to routine splint";
  EXPECT_EQ(fatalMessage([&] { splint(xa, ya, y2a, 0.5f); }), badXa);
  EXPECT_EQ(fatalMessage([&] { splint(std::span(xa).first(2), ya, y2a, 1.5f); }), badXa);
  EXPECT_EQ(fatalMessage([&] { splint(std::span(xa).first(1), ya, y2a, 1.0f); }), badXa);
  std::array<float, 3> y2{};
  EXPECT_EQ(fatalMessage([&] {
              splineSetup(std::span(xa).first(1), ya, kNaturalSpline, kNaturalSpline, y2);
            }),
            "splineSetup needs at least two points");
}

namespace {

// A bicubic polynomial with all 16 coefficients non-zero, in long double.
struct Bicubic {
  long double a[4][4];
  long double value(long double s, long double v) const {
    long double r = 0;
    for (int i = 3; i >= 0; --i) r = r * s + ((a[i][3] * v + a[i][2]) * v + a[i][1]) * v + a[i][0];
    return r;
  }
  long double ds(long double s, long double v) const {
    long double r = 0;
    for (int i = 1; i < 4; ++i)
      for (int j = 0; j < 4; ++j) r += i * a[i][j] * std::pow(s, i - 1) * std::pow(v, j);
    return r;
  }
  long double dv(long double s, long double v) const {
    long double r = 0;
    for (int i = 0; i < 4; ++i)
      for (int j = 1; j < 4; ++j) r += j * a[i][j] * std::pow(s, i) * std::pow(v, j - 1);
    return r;
  }
  long double dsv(long double s, long double v) const {
    long double r = 0;
    for (int i = 1; i < 4; ++i)
      for (int j = 1; j < 4; ++j) r += i * j * a[i][j] * std::pow(s, i - 1) * std::pow(v, j - 1);
    return r;
  }
};

using Cell = BicubicCell;

template <class F>
Cell cornerData(const F& f, float x1l, float x1u, float x2l, float x2u) {
  Cell c{x1l, x1u, x2l, x2u, {}, {}, {}, {}};
  const float s[4] = {x1l, x1u, x1u, x1l}, v[4] = {x2l, x2l, x2u, x2u};
  for (std::size_t k = 0; k < 4; ++k) {
    c.y[k] = static_cast<float>(f.value(s[k], v[k]));
    c.y1[k] = static_cast<float>(f.ds(s[k], v[k]));
    c.y2[k] = static_cast<float>(f.dv(s[k], v[k]));
    c.y12[k] = static_cast<float>(f.dsv(s[k], v[k]));
  }
  return c;
}

BicubicValue at(const Cell& c, float x1, float x2) { return bcuint(c, x1, x2); }

}  // namespace

TEST(Bicubic, CornersAreReproduced) {
  const Cell c{1.5f, 2.25f, 10.0f, 15.0f, {2.385f, -1.25f, 7.5f, 0.125f},
               {0.3f, -2.0f, 1.1f, 4.0f}, {-0.7f, 0.2f, 0.9f, -3.0f}, {0.05f, 0.4f, -0.6f, 1.3f}};
  EXPECT_EQ(at(c, 1.5f, 10.0f).ansy, 2.385f);  // t = u = 0 gives c11 = y[1] exactly
  EXPECT_FLOAT_EQ(at(c, 2.25f, 10.0f).ansy, -1.25f);
  EXPECT_FLOAT_EQ(at(c, 2.25f, 15.0f).ansy, 7.5f);
  EXPECT_NEAR(at(c, 1.5f, 15.0f).ansy, 0.125f, 1e-6);
  // Corner derivatives come back too, up to cancellation in the coefficients.
  EXPECT_NEAR(at(c, 2.25f, 15.0f).ansy1, 1.1f, 2e-5);
  EXPECT_NEAR(at(c, 2.25f, 15.0f).ansy2, 0.9f, 2e-6);
  EXPECT_NEAR(at(c, 1.5f, 10.0f).ansy1, 0.3f, 1e-6);
  EXPECT_NEAR(at(c, 1.5f, 10.0f).ansy2, -0.7f, 1e-6);
}

TEST(Bicubic, BilinearDataIsReproducedWithDerivatives) {
  Bicubic f{};
  f.a[0][0] = 2.385L, f.a[1][0] = -0.75L, f.a[0][1] = 1.5L, f.a[1][1] = 0.125L;
  const Cell c = cornerData(f, -1.0f, 3.0f, 5.0f, 5.5f);
  for (float x1 = -1.0f; x1 <= 3.0f; x1 += 0.5f)
    for (float x2 = 5.0f; x2 <= 5.5f; x2 += 0.125f) {
      const BicubicValue r = at(c, x1, x2);
      EXPECT_NEAR(r.ansy, static_cast<double>(f.value(x1, x2)), 2e-5) << x1 << ", " << x2;
      EXPECT_NEAR(r.ansy1, static_cast<double>(f.ds(x1, x2)), 2e-5) << x1 << ", " << x2;
      EXPECT_NEAR(r.ansy2, static_cast<double>(f.dv(x1, x2)), 1e-4) << x1 << ", " << x2;
    }
}

TEST(Bicubic, GeneralBicubicIsReproducedInsideAndOutsideTheCell) {
  // Exact corner data of a bicubic determine it; this exercises every weight.
  Bicubic f{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) f.a[i][j] = 0.1L * ((3 * i + 5 * j) % 7 - 3) + 0.05L * (i == j);
  const Cell c = cornerData(f, 0.5f, 1.5f, -1.0f, 0.25f);
  for (float x1 : {0.5f, 0.8f, 1.1f, 1.5f, 1.75f})
    for (float x2 : {-1.0f, -0.6f, 0.0f, 0.25f, 0.5f}) {
      const BicubicValue r = at(c, x1, x2);
      EXPECT_NEAR(r.ansy, static_cast<double>(f.value(x1, x2)), 1e-5) << x1 << ", " << x2;
      EXPECT_NEAR(r.ansy1, static_cast<double>(f.ds(x1, x2)), 5e-5) << x1 << ", " << x2;
      EXPECT_NEAR(r.ansy2, static_cast<double>(f.dv(x1, x2)), 5e-5) << x1 << ", " << x2;
    }
}

TEST(Bicubic, ResultsAreRoundedToFloatAtEveryHornerStep) {
  // Reference in long double from the routine's own coefficients, with t, u and
  // the three running results stored as float at each step.
  const Cell cell{1.5f, 2.25f, 10.0f, 15.0f, {2.385f, -1.25f, 7.5f, 0.125f},
                  {0.3f, -2.0f, 1.1f, 4.0f}, {-0.7f, 0.2f, 0.9f, -3.0f},
                  {0.05f, 0.4f, -0.6f, 1.3f}};
  const float d1 = cell.x1u - cell.x1l, d2 = cell.x2u - cell.x2l;
  const BicubicCoefficients c = bicubicCoef(cell.y, cell.y1, cell.y2, cell.y12, d1, d2);
  using LD = long double;
  int rounded = 0;
  for (float x1 = 1.3f; x1 <= 2.4f; x1 += 0.07f)
    for (float x2 = 9.5f; x2 <= 15.5f; x2 += 0.37f) {
      const LD t = static_cast<float>((LD(x1) - cell.x1l) / d1);
      const LD u = static_cast<float>((LD(x2) - cell.x2l) / d2);
      float y = 0, y1 = 0, y2 = 0;
      LD yWide = 0;
      for (std::size_t i = 4; i-- > 0;) {
        const LD step = ((LD(c[i][3]) * u + c[i][2]) * u + c[i][1]) * u + c[i][0];
        y = static_cast<float>(t * y + step);
        yWide = t * yWide + step;
        y2 = static_cast<float>(t * y2 + (3.0L * c[i][3] * u + 2.0L * c[i][2]) * u + c[i][1]);
        y1 = static_cast<float>(u * y1 + (3.0L * c[3][i] * t + 2.0L * c[2][i]) * t + c[1][i]);
      }
      const BicubicValue r = at(cell, x1, x2);
      EXPECT_EQ(r.ansy, y) << x1 << ", " << x2;
      EXPECT_EQ(r.ansy1, static_cast<float>(LD(y1) / d1)) << x1 << ", " << x2;
      EXPECT_EQ(r.ansy2, static_cast<float>(LD(y2) / d2)) << x1 << ", " << x2;
      rounded += y != static_cast<float>(yWide);
    }
  EXPECT_GT(rounded, 0) << "the sweep must meet points where the rounding shows";
}

TEST(BicubicDeathTest, ZeroWidthCell) {
  const BicubicCorners z{1, 2, 3, 4};
  EXPECT_EXIT(bcuint({2, 2, 0, 1, z, z, z, z}, 2, 0.5f), ExitedWithCode(1),
              fatalReport("Bad input in routine bcuint"));
  EXPECT_EXIT(bcuint({0, 1, 3, 3, z, z, z, z}, 0.5f, 3), ExitedWithCode(1),
              fatalReport("Bad input in routine bcuint"));
}

TEST(Rtsec, FindsRootsWithCapturedParameters) {
  const double two = 2.0;
  EXPECT_NEAR(rtsec([&](float x) { return x * static_cast<double>(x) - two; }, 1, 2, 1e-6f),
              std::sqrt(2.0), 1e-6);
  // Not bracketed: both start points above the root.
  EXPECT_NEAR(rtsec([&](float x) { return x * static_cast<double>(x) - two; }, 2, 3, 1e-6f),
              std::sqrt(2.0), 1e-6);
  // A float-valued function, converging on cos x = x.
  EXPECT_NEAR(rtsec([](float x) { return std::cos(x) - x; }, 0, 1, 1e-6f), 0.7390851332151607,
              2e-6);
  // A straight line is solved in one step, which lands on f == 0 exactly.
  int calls = 0;
  const float root = rtsec(
      [&](float x) {
        ++calls;
        return static_cast<double>(x) - 1.5;
      },
      1, 2.5f, 1e-12f);
  EXPECT_EQ(root, 1.5f);
  EXPECT_EQ(calls, 3);
}

TEST(RtsecDeathTest, NoRootEndsAfterThirtySteps) {
  EXPECT_EXIT(rtsec([](float x) { return x * static_cast<double>(x) + 1.0; }, 1, 2, 1e-6f),
              ExitedWithCode(1), fatalReport("Maximum number of iterations exceeded in rtsec"));
}
