#include "fit/levenberg_marquardt.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace wind {
namespace {

using Theta = std::array<double, kMaxLmParameters>;
constexpr double kInf = 1e300;

// y = A exp(-t / tau) + c sampled without noise at t = 0.37 i.
struct Decay {
  double A, tau, c;
  void operator()(const Theta& th, std::vector<double>& r, std::vector<double>* J) const {
    r.clear();
    if (J) J->clear();
    for (int i = 0; i < 40; ++i) {
      const double t = 0.37 * i;
      const double e = std::exp(-t / th[1]);
      r.push_back(th[0] * e + th[2] - (A * std::exp(-t / tau) + c));
      if (J) {
        J->push_back(e);
        J->push_back(th[0] * e * t / (th[1] * th[1]));
        J->push_back(1.0);
      }
    }
  }
};

TEST(LevenbergMarquardt, RecoversAnExactModelFromAFarStart) {
  const Decay f{2.385, 3.17, -0.412};
  const LmResult r = levenbergMarquardt(f, 3, Theta{0.5, 0.6, 1.0}, Theta{-kInf, 0.01, -kInf},
                                        Theta{kInf, kInf, kInf});
  EXPECT_EQ(r.status, LmStatus::converged);
  EXPECT_NEAR(r.theta[0], 2.385, 1e-8);
  EXPECT_NEAR(r.theta[1], 3.17, 1e-8);
  EXPECT_NEAR(r.theta[2], -0.412, 1e-8);
  EXPECT_LT(r.cost, 1e-20);
  EXPECT_EQ(r.pushing, (std::array<int, 3>{0, 0, 0}));
  EXPECT_EQ(r.r.size(), 40u);
  EXPECT_EQ(r.J.size(), 120u);
}

TEST(LevenbergMarquardt, AnOptimumBeyondABoundStopsOnItAndSaysSo) {
  // The exact decay time 3.17 lies above the upper bound 2.5: the fit ends on
  // it, pushing, while the other parameters still do their best.
  const Decay f{2.385, 3.17, -0.412};
  const LmResult r = levenbergMarquardt(f, 3, Theta{1.0, 1.0, 0.0}, Theta{-kInf, 0.01, -kInf},
                                        Theta{kInf, 2.5, kInf});
  EXPECT_EQ(r.status, LmStatus::converged);
  EXPECT_EQ(r.theta[1], 2.5);
  EXPECT_EQ(r.pushing, (std::array<int, 3>{0, 1, 0}));
  EXPECT_GT(r.cost, 1e-6);
}

TEST(LevenbergMarquardt, ABoundTheCostIsFlatAcrossIsNoPush) {
  // r1 = x^2 + 0.25 is even in x: at the lower bound x = 0 the gradient is 0,
  // the best the data allow, not a bound that holds the fit back.
  const auto f = [](const Theta& th, std::vector<double>& r, std::vector<double>* J) {
    r = {th[0] * th[0] + 0.25, th[1] - 1.7};
    if (J) *J = {2 * th[0], 0.0, 0.0, 1.0};
  };
  const LmResult r = levenbergMarquardt(f, 2, Theta{0.8, 0.0, 0.0}, Theta{0.0, -kInf, 0.0},
                                        Theta{kInf, kInf, 0.0});
  EXPECT_EQ(r.status, LmStatus::converged);
  EXPECT_NEAR(r.theta[0], 0.0, 1e-4);
  EXPECT_NEAR(r.theta[1], 1.7, 1e-9);
  EXPECT_EQ(r.pushing, (std::array<int, 3>{0, 0, 0}));
}

TEST(LevenbergMarquardt, StopsAtTheIterationLimitWithTheBestPointSoFar) {
  const Decay f{2.385, 3.17, -0.412};
  LmOptions o;
  o.maxIterations = 2;
  const LmResult r = levenbergMarquardt(f, 3, Theta{0.5, 0.6, 1.0}, Theta{-kInf, 0.01, -kInf},
                                        Theta{kInf, kInf, kInf}, o);
  EXPECT_EQ(r.status, LmStatus::iterationLimit);
  EXPECT_EQ(r.iterations, 2);
  std::vector<double> r0;
  f(Theta{0.5, 0.6, 1.0}, r0, nullptr);
  double c0 = 0;
  for (double v : r0) c0 += 0.5 * v * v;
  EXPECT_LT(r.cost, c0);
}

}  // namespace
}  // namespace wind
