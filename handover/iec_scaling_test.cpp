// The IEC scaling of a box: each component to its own target.
#include "handover/iec_scaling.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support.hpp"

namespace wind {
namespace {

using testing::fatalMessage;

// Population standard deviation in long double.
double populationStd(const std::vector<float>& v) {
  long double s = 0, s2 = 0;
  for (float x : v) s += x;
  const long double m = s / v.size();
  for (float x : v) s2 += (x - m) * (x - m);
  return double(std::sqrt(s2 / v.size()));
}

TEST(IecScaling, EachComponentReachesItsOwnTarget) {
  // Two components, v and w, of 4096 values with different shapes.
  std::vector<float> v(4096), w(4096);
  for (std::size_t e = 0; e < v.size(); ++e) {
    v[e] = float(0.37 * std::sin(0.013 * double(e)) + 0.02);
    w[e] = float(e % 2 == 0 ? 0.21 : -0.21);
  }
  const double sv = populationStd(v), sw = populationStd(w);
  const IecScaling s = scaleToIecTargets({std::span<float>(v), std::span<float>(w), {}}, {1, 2, 0},
                                         2, 2.385);
  ASSERT_EQ(s.nComp, 2);
  EXPECT_EQ(s.components[0].component, 2);
  EXPECT_DOUBLE_EQ(s.components[0].target, 0.8 * 2.385);
  EXPECT_DOUBLE_EQ(s.components[1].target, 0.5 * 2.385);
  EXPECT_NEAR(s.components[0].std, sv, 1e-12);
  EXPECT_NEAR(s.components[1].factor, 0.5 * 2.385 / sw, 1e-9);
  EXPECT_NEAR(populationStd(v), 0.8 * 2.385, 1e-6);
  EXPECT_NEAR(populationStd(w), 0.5 * 2.385, 1e-6);

  std::vector<float> flat(64, 1.5f);
  EXPECT_EQ(fatalMessage([&] {
              scaleToIecTargets({std::span<float>(flat), {}, {}}, {0, 0, 0}, 1, 2.0);
            }),
            "--scale iec: component u has no variance to scale");
}

}  // namespace
}  // namespace wind
