#include "numerics/quadrature.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace wind {
namespace {

// Wraps an integrand and counts its evaluations, so that every test can check
// that nofun reports exactly the work done.
template <class F>
struct Counted {
  F f;
  int* calls;
  template <class... X>
  double operator()(X... x) const {
    ++*calls;
    return f(x...);
  }
};
template <class F>
Counted<F> counted(F f, int& calls) {
  calls = 0;
  return {f, &calls};
}

struct Outcome {
  double value;
  int nofun;
  int flag;
  int calls;
};

template <class F>
Outcome run1(F f, double a, double b, double tol, int maxfun) {
  Outcome r{};
  r.value = adapint(counted(f, r.calls), a, b, tol, maxfun, r.nofun, r.flag);
  return r;
}

template <class F>
Outcome run2(F f, double a, double b, double c, double d, double tol, int maxfun) {
  Outcome r{};
  r.value = adapint2(counted(f, r.calls), a, b, c, d, tol, maxfun, r.nofun, r.flag);
  return r;
}

// ---------------------------------------------------------------- adapint

TEST(Adapint, WorkedCases) {
  // A constant and a quintic converge on the first visit: 7 evaluations.
  Outcome r = run1([](double) { return 2.385; }, -0.7, 3.1, 1e-3, 10000);
  EXPECT_NEAR(r.value, 2.385 * 3.8, 1e-14);
  EXPECT_EQ(r.nofun, 7);
  EXPECT_EQ(r.calls, 7);
  EXPECT_EQ(r.flag, kQuadConverged);
  // The null rule vanishes on degree 5, so even a tiny tolerance is met at once.
  const auto p = [](double x) {
    return 1.3 + x * (-0.4 + x * (2.1 + x * (0.7 + x * (-1.9 + x * 3.2))));
  };
  r = run1(p, -1.0, 1.0, 1e-12, 10000);
  EXPECT_NEAR(r.value, 2 * (1.3 + 2.1 / 3 - 1.9 / 5), 1e-14);
  EXPECT_EQ(r.nofun, 7);
  EXPECT_EQ(r.flag, kQuadConverged);
  // Equal limits: the four initial values and nothing else.
  r = run1([](double x) { return std::exp(x); }, 1.75, 1.75, 1e-3, 10000);
  EXPECT_EQ(r.value, 0.0);
  EXPECT_EQ(r.nofun, 4);
  EXPECT_EQ(r.calls, 4);
  EXPECT_EQ(r.flag, kQuadConverged);
}

TEST(Adapint, DegreeSevenExactAtEveryDepthWithPinnedCounts) {
  // x^6 on [0, 1]: the rule is exact, the null rule is not, so the tolerance
  // decides how often it splits. Counts from an exact rational re-computation
  // of the algorithm: 7 (no split), 13 (one), 25 (two levels).
  const auto x6 = [](double x) { return x * x * x * x * x * x; };
  const struct {
    double tol;
    int nofun;
  } cases[] = {{1e-2, 7}, {1e-3, 13}, {1e-6, 25}};
  for (const auto& c : cases) {
    const Outcome r = run1(x6, 0.0, 1.0, c.tol, 10000);
    EXPECT_NEAR(r.value, 1.0 / 7.0, 1e-15) << "tol " << c.tol;
    EXPECT_EQ(r.nofun, c.nofun) << "tol " << c.tol;
    EXPECT_EQ(r.calls, r.nofun) << "tol " << c.tol;
    EXPECT_EQ(r.flag, kQuadConverged) << "tol " << c.tol;
  }
  // Degree 7 with an offset interval.
  const auto p7 = [](double x) { return std::pow(x - 0.3, 7) + 0.5 * x * x; };
  const double a = -1.2, b = 2.9;
  const double exact =
      (std::pow(b - 0.3, 8) - std::pow(a - 0.3, 8)) / 8 + 0.5 * (b * b * b - a * a * a) / 3;
  const Outcome r = run1(p7, a, b, 1e-8, 10000);
  EXPECT_NEAR(r.value, exact, 1e-12 * std::fabs(exact));
  EXPECT_EQ(r.flag, kQuadConverged);
}

TEST(Adapint, BudgetExceeded) {
  // The first visit already needs 7 evaluations.
  Outcome r = run1([](double x) { return x; }, 0.0, 1.0, 1e-3, 5);
  EXPECT_EQ(r.value, 0.0);
  EXPECT_EQ(r.flag, kQuadBudgetExceeded);
  EXPECT_EQ(r.nofun, 7);
  // x^6 at tol 1e-3 splits once (13 evaluations in all): a budget of 9 stops at
  // the second visit, a budget of 10 at the third.
  const auto x6 = [](double x) { return x * x * x * x * x * x; };
  r = run1(x6, 0.0, 1.0, 1e-3, 9);
  EXPECT_EQ(r.value, 0.0);
  EXPECT_EQ(r.flag, kQuadBudgetExceeded);
  EXPECT_EQ(r.nofun, 10);
  EXPECT_EQ(r.calls, 10);
  r = run1(x6, 0.0, 1.0, 1e-3, 10);
  EXPECT_EQ(r.flag, kQuadBudgetExceeded);
  EXPECT_EQ(r.nofun, 13);
  r = run1(x6, 0.0, 1.0, 1e-3, 13);
  EXPECT_EQ(r.flag, kQuadConverged);
}

TEST(Adapint, SmoothIntegrandsMeetTheTolerance) {
  const double pi = 3.141592653589793;
  const struct {
    const char* name;
    double (*f)(double);
    double a, b, exact;
  } cases[] = {
      {"sin on [0, pi]", [](double x) { return std::sin(x); }, 0.0, pi, 2.0},
      {"exp on [-1.3, 2.385]", [](double x) { return std::exp(x); }, -1.3, 2.385,
       std::exp(2.385) - std::exp(-1.3)},
      {"1/(1+x^2) on [-40, 25]", [](double x) { return 1 / (1 + x * x); }, -40.0, 25.0,
       std::atan(25.0) + std::atan(40.0)},
      {"sqrt on [0, 2]", [](double x) { return std::sqrt(x); }, 0.0, 2.0,
       2.0 / 3.0 * std::pow(2.0, 1.5)},
  };
  for (const auto& c : cases)
    for (double tol : {1e-3, 1e-6, 1e-9}) {
      const Outcome r = run1(c.f, c.a, c.b, tol, 100000);
      EXPECT_EQ(r.flag, kQuadConverged) << c.name << " tol " << tol;
      EXPECT_NEAR(r.value, c.exact, tol * std::fabs(c.exact)) << c.name << " tol " << tol;
      EXPECT_EQ(r.calls, r.nofun) << c.name;
      // Each split replaces one interval by two visited halves: 4 + 3 (1 + 2 s).
      EXPECT_EQ((r.nofun - 7) % 6, 0) << c.name;
    }
}

TEST(Adapint, ReversedLimitsNegate) {
  const auto f = [](double x) { return std::exp(std::sin(3 * x)) + x; };
  const Outcome fwd = run1(f, -0.4, 2.2, 1e-8, 100000);
  const Outcome rev = run1(f, 2.2, -0.4, 1e-8, 100000);
  EXPECT_EQ(fwd.flag, kQuadConverged);
  EXPECT_EQ(rev.flag, kQuadConverged);
  EXPECT_GT(fwd.value, 0.0);
  EXPECT_NEAR(rev.value, -fwd.value, 1e-8 * fwd.value);
}

TEST(Adapint, NearSingularityHitsTheDepthLimit) {
  // 1/sqrt(x + 1e-40): the first interval stays rough down to 2^-64.
  const Outcome r = run1([](double x) { return 1 / std::sqrt(x + 1e-40); }, 0.0, 1.0, 1e-6, 100000);
  EXPECT_EQ(r.flag, kQuadDepthLimit);
  EXPECT_TRUE(std::isfinite(r.value));
  EXPECT_GT(r.value, 1.9);
  EXPECT_EQ(r.calls, r.nofun);
}

// --------------------------------------------------------------- adapint2

TEST(Adapint2, ConstantNeedsOneVisitAndKeepsOrientation) {
  const auto c = [](double, double) { return 2.385; };
  Outcome r = run2(c, 0.5, 1.75, -2.0, 1.2, 1e-3, 14000);
  EXPECT_NEAR(r.value, 2.385 * 1.25 * 3.2, 1e-13);
  EXPECT_EQ(r.nofun, 13);
  EXPECT_EQ(r.calls, 13);
  EXPECT_EQ(r.flag, kQuadConverged);
  r = run2(c, 1.75, 0.5, -2.0, 1.2, 1e-3, 14000);
  EXPECT_NEAR(r.value, -2.385 * 1.25 * 3.2, 1e-13);
  r = run2(c, 1.75, 0.5, 1.2, -2.0, 1e-3, 14000);
  EXPECT_NEAR(r.value, 2.385 * 1.25 * 3.2, 1e-13);
}

TEST(Adapint2, PolynomialsWithPinnedCounts) {
  // Counts from an exact rational re-computation of the algorithm.
  const auto x2y2 = [](double x, double y) { return x * x * y * y; };
  const auto x6y2 = [](double x, double y) { return std::pow(x, 6) * y * y; };
  const struct {
    const char* name;
    double (*f)(double, double);
    double tol, exact;
    int nofun;
    double accuracy;
  } cases[] = {
      {"x^2 y^2, 1e-3", x2y2, 1e-3, 1.0 / 9, 111, 1e-15},
      {"x^2 y^2, 1e-6", x2y2, 1e-6, 1.0 / 9, 1791, 1e-15},
      {"x^6 y^2, 1e-3", x6y2, 1e-3, 1.0 / 21, 223, 1e-3 / 21},
      {"x^6 y^2, 1e-6", x6y2, 1e-6, 1.0 / 21, 3527, 1e-6 / 21},
  };
  for (const auto& c : cases) {
    const Outcome r = run2(c.f, 0.0, 1.0, 0.0, 1.0, c.tol, 100000);
    EXPECT_NEAR(r.value, c.exact, c.accuracy) << c.name;
    EXPECT_EQ(r.nofun, c.nofun) << c.name;
    EXPECT_EQ(r.calls, r.nofun) << c.name;
    EXPECT_EQ(r.flag, kQuadConverged) << c.name;
  }
}

TEST(Adapint2, BudgetAndZeroArea) {
  const auto f = [](double x, double y) { return x * x * y * y; };
  Outcome r = run2(f, 0.0, 1.0, 0.0, 1.0, 1e-3, 8);
  EXPECT_EQ(r.value, 0.0);
  EXPECT_EQ(r.flag, kQuadBudgetExceeded);
  EXPECT_EQ(r.nofun, 9);
  EXPECT_EQ(r.calls, 9);

  r = run2(f, 0.0, 1.0, 0.5, 0.5, 1e-3, 14000);
  EXPECT_EQ(r.value, 0.0);
  EXPECT_EQ(r.flag, kQuadConverged);
  EXPECT_EQ(r.nofun, 9);

  // Runs out during the subdivision (111 evaluations are needed).
  r = run2(f, 0.0, 1.0, 0.0, 1.0, 1e-3, 50);
  EXPECT_EQ(r.value, 0.0);
  EXPECT_EQ(r.flag, kQuadBudgetExceeded);
  EXPECT_GT(r.nofun, 50);
  EXPECT_LE(r.nofun, 60);  // one visit and one split past the last check
  EXPECT_EQ(r.calls, r.nofun);
}

TEST(Adapint2, NearSingularityHitsTheDepthLimit) {
  const auto f = [](double x, double) { return 1 / std::sqrt(x + 1e-40); };
  const Outcome r = run2(f, 0.0, 1.0, 0.0, 1.0, 1e-4, 100000);
  EXPECT_EQ(r.flag, kQuadDepthLimit);
  EXPECT_TRUE(std::isfinite(r.value));
  EXPECT_GT(r.value, 1.9);
  EXPECT_EQ(r.calls, r.nofun);
}

}  // namespace
}  // namespace wind
