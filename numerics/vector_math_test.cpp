#include "numerics/vector_math.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace wind::lanes {
namespace {

constexpr double kUlp = 1.1102230246251565e-16;  // 2^-53, half an ulp of 1

// Arguments of every function: a sweep of random values over the ranges the
// counter stream and the amplitudes use and beyond, and the edge cases.
struct Arguments {
  std::vector<double> positive, angleX, angleY, exponent, turns;
};

Arguments arguments() {
  Arguments a;
  const auto add = [&a](double x, double e, double ax, double ay, double u) {
    a.positive.push_back(x);
    a.exponent.push_back(e);
    a.angleX.push_back(ax);
    a.angleY.push_back(ay);
    a.turns.push_back(u);
  };
  std::mt19937_64 g(2385);
  std::uniform_real_distribution<double> decades(-320.0, 308.0), coord(-3.0, 3.0),
      power(-60.0, 60.0);
  for (int n = 0; n < 20000; ++n) {
    const double x = std::pow(10.0, decades(g)), e = power(g);
    const double ax = coord(g) * std::pow(10.0, decades(g) / 40);
    const double ay = coord(g) * std::pow(10.0, decades(g) / 40);
    add(x, e, ax, ay, double(g() >> 11) * kUlp);
  }
  const double inf = std::numeric_limits<double>::infinity();
  const double edges[] = {0.0, 1.0, 0.5, 2.0, std::sqrt(2.0), 1e-310, 4.9e-324, inf, -1.0,
                          std::numeric_limits<double>::quiet_NaN(), 1.7976931348623157e308,
                          -800.0, 800.0, 709.0, -745.0};
  for (double v : edges) add(v, v, 1.0, 1.0, 0.5);
  for (double x : {0.0, -0.0, 1.0, -1.0, 2.385})
    for (double y : {0.0, -0.0, 1.0, -1.0, -2.385}) add(1.0, 1.0, x, y, 0.5);
  for (double u : {0.0, 0.125, 0.25, 0.375, 0.5, 0.625, 0.75, 0.875, 1.0 - kUlp, 1.0})
    add(1.0, 1.0, 1.0, 1.0, u);
  return a;
}

// Every function of W lanes at argument n, the lanes filled from n on (the
// arguments read cyclically), into seven doubles: log, exp, pow, atan2,
// cos and sin of the turn, sqrt.
template <int W>
std::vector<double> evaluate(const Arguments& a) {
  const std::size_t n = a.positive.size();
  std::vector<double> out(7 * n);
  for (std::size_t at = 0; at < n; at += W) {
    Doubles<W> x, e, ax, ay, u;
    for (int k = 0; k < W; ++k) {
      const std::size_t m = (at + std::size_t(k)) % n;
      x[k] = a.positive[m];
      e[k] = a.exponent[m];
      ax[k] = a.angleX[m];
      ay[k] = a.angleY[m];
      u[k] = a.turns[m];
    }
    const Doubles<W> results[] = {log<W>(x),     exp<W>(e),
                                  pow<W>(x, e * 0.01), atan2<W>(ay, ax),
                                  sinCosTurns<W>(u).cos, sinCosTurns<W>(u).sin,
                                  sqrt<W>(x)};
    for (int f = 0; f < 7; ++f)
      for (int k = 0; k < W && at + std::size_t(k) < n; ++k)
        out[7 * (at + std::size_t(k)) + std::size_t(f)] = results[f][k];
  }
  return out;
}

// The same on the instruction sets of x86-64, with everything inlined into
// a function compiled for each of them.
__attribute__((target("avx2"), flatten)) std::vector<double> evaluateAvx2(const Arguments& a) {
  return evaluate<4>(a);
}
__attribute__((target("avx512f"), flatten)) std::vector<double> evaluateAvx512(
    const Arguments& a) {
  return evaluate<8>(a);
}

std::vector<std::uint64_t> bitsOf(const std::vector<double>& v) {
  std::vector<std::uint64_t> b;
  for (double d : v) b.push_back(std::bit_cast<std::uint64_t>(d));
  return b;
}

TEST(VectorMath, EveryLaneCountAndInstructionSetGivesTheSameBits) {
  const Arguments a = arguments();
  const std::vector<std::uint64_t> one = bitsOf(evaluate<1>(a));
  EXPECT_EQ(bitsOf(evaluate<2>(a)), one);
  EXPECT_EQ(bitsOf(evaluate<4>(a)), one);
  EXPECT_EQ(bitsOf(evaluate<8>(a)), one);
  if (__builtin_cpu_supports("avx2")) {
    EXPECT_EQ(bitsOf(evaluateAvx2(a)), one);
  }
  if (__builtin_cpu_supports("avx512f")) {
    EXPECT_EQ(bitsOf(evaluateAvx512(a)), one);
  }
}

// |got - want| in units of 2^-53 |want| (or of 2^-53, absolute).
double relative(double got, long double want) {
  return double(std::fabs((got - want) / want)) / kUlp;
}

TEST(VectorMath, AccurateToAFewUnitsInTheLastPlace) {
  const Arguments a = arguments();
  const std::vector<double> r = evaluate<4>(a);
  double worst[7] = {};
  for (std::size_t m = 0; m < a.positive.size(); ++m) {
    const long double x = a.positive[m], e = a.exponent[m], u = a.turns[m];
    const double* got = &r[7 * m];
    if (std::isfinite(a.positive[m]) && x > 0 && x != 1) {
      worst[0] = std::max(worst[0], relative(got[0], std::log(x)));
      const double exponent = std::fabs(0.01 * double(e) * std::log(double(x)));
      if (exponent < 700)
        worst[2] = std::max(worst[2],
                            relative(got[2], std::pow(x, e * 0.01L)) / (3 * exponent + 4));
    }
    if (std::isfinite(a.exponent[m]) && std::fabs(e) < 700 && e != 0)
      worst[1] = std::max(worst[1], relative(got[1], std::exp(e)));
    const long double angle = std::atan2((long double)a.angleY[m], (long double)a.angleX[m]);
    if (angle != 0) worst[3] = std::max(worst[3], relative(got[3], angle));
    const long double th = 2 * 3.141592653589793238462643383279502884L * u;
    worst[4] = std::max(worst[4], double(std::fabs(got[4] - std::cos(th))) / kUlp);
    worst[5] = std::max(worst[5], double(std::fabs(got[5] - std::sin(th))) / kUlp);
  }
  EXPECT_LT(worst[0], 4.0) << "log";
  EXPECT_LT(worst[1], 4.0) << "exp";
  EXPECT_LT(worst[2], 1.0) << "pow, per unit of 3 |y log x| + 4";
  EXPECT_LT(worst[3], 16.0) << "atan2";
  EXPECT_LT(worst[4], 4.0) << "cos of the turn";
  EXPECT_LT(worst[5], 4.0) << "sin of the turn";
}

TEST(VectorMath, EdgesGiveTheValuesOfTheCLibrary) {
  const double inf = std::numeric_limits<double>::infinity();
  const auto one = [](auto f, double x) { return f(Doubles<1>{x})[0]; };
  const auto lg = [](Doubles<1> x) { return log<1>(x); };
  const auto ex = [](Doubles<1> x) { return exp<1>(x); };
  EXPECT_EQ(one(lg, 0.0), -inf);
  EXPECT_EQ(one(lg, inf), inf);
  EXPECT_EQ(one(lg, 1.0), 0.0);
  EXPECT_TRUE(std::isnan(one(lg, -2.385)));
  EXPECT_NEAR(one(lg, 4.9e-324), std::log(4.9e-324), 1e-13);
  EXPECT_EQ(one(ex, 0.0), 1.0);
  EXPECT_EQ(one(ex, 800.0), inf);
  EXPECT_EQ(one(ex, -800.0), 0.0);
  EXPECT_TRUE(std::isnan(one(ex, std::nan(""))));
  for (double y : {0.0, -0.0, 2.385, -2.385})
    for (double x : {0.0, -0.0, 2.385, -2.385}) {
      const double got = atan2<1>(Doubles<1>{y}, Doubles<1>{x})[0];
      EXPECT_NEAR(got, std::atan2(y, x), 4e-16) << y << ' ' << x;
      EXPECT_EQ(std::signbit(got), std::signbit(std::atan2(y, x))) << y << ' ' << x;
    }
  // Whole quarter turns are exact.
  const double quarters[][3] = {{0.0, 1.0, 0.0}, {0.25, 0.0, 1.0}, {0.5, -1.0, 0.0},
                                {0.75, 0.0, -1.0}, {1.0, 1.0, 0.0}};
  for (const auto& q : quarters) {
    const SinCos<1> t = sinCosTurns<1>(Doubles<1>{q[0]});
    EXPECT_EQ(t.cos[0], q[1]) << q[0];
    EXPECT_EQ(t.sin[0], q[2]) << q[0];
  }
}

}  // namespace
}  // namespace wind::lanes
