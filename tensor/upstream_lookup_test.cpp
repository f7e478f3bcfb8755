#include "tensor/upstream_lookup.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "numerics/interpolation.hpp"
#include "tests/support.hpp"

using namespace wind;

TEST(KLGrid, LogarithmicFrom0005To100) {
  EXPECT_EQ(kLGrid(0), 0.005f);
  EXPECT_NEAR(kLGrid(99), 100.0f, 1e-4);
  // Constant ratio (100 / 0.005)^(1/99) between neighbours.
  const double ratio = std::pow(20000.0, 1.0 / 99);
  for (int i = 1; i < kKLGridSize; ++i)
    EXPECT_NEAR(double(kLGrid(i)) / kLGrid(i - 1), ratio, 3e-7) << "i = " << i;
}

namespace {

// Energy table E_i = 10 (i + 1), whose level 1.7 E_i is 17 (i + 1) exactly
// in float, and strain tables T_0 = 0.1 i / 99, T_1 = -T_0, each with its
// natural-start spline.
UpstreamTables smoothTables() {
  UpstreamTables t;
  for (int i = 0; i < kKLGridSize; ++i) {
    t.kL[i] = kLGrid(i);
    t.energy[i] = static_cast<float>(10 * (i + 1));
    t.strain[0][i] = static_cast<float>(0.1 * i / 99.0);
    t.strain[1][i] = -t.strain[0][i];
  }
  splineSetup(t.kL, t.energy, kNaturalSpline, 0.0f, t.energyD2);
  for (int c = 0; c < 2; ++c)
    splineSetup(t.kL, t.strain[c], kNaturalSpline, 0.0f, t.strainD2[c]);
  t.hasRoughness = t.hasStretch = true;
  return t;
}

}  // namespace

TEST(RoughnessAlphaeps, EndsAndGridPoints) {
  const UpstreamTables t = smoothTables();
  // Below the grid the first entry, above it the last.
  EXPECT_EQ(roughnessAlphaeps(t, 0.0f), 17.0f);
  EXPECT_EQ(roughnessAlphaeps(t, 0.001f), 17.0f);
  EXPECT_EQ(roughnessAlphaeps(t, 1e6f), 1700.0f);
  EXPECT_EQ(roughnessAlphaeps(t, 100.5f), 1700.0f);
  for (int i : {0, 1, 37, 98, 99})
    EXPECT_FLOAT_EQ(roughnessAlphaeps(t, t.kL[i]), 17.0f * float(i + 1)) << "i = " << i;
}

TEST(StretchFactor, ExponentOfStrainTable) {
  const UpstreamTables t = smoothTables();
  EXPECT_EQ(stretchFactor(t, 0.0f, 0), 1.0f);
  EXPECT_EQ(stretchFactor(t, 0.0f, 1), 1.0f);
  EXPECT_FLOAT_EQ(stretchFactor(t, 1e4f, 0), static_cast<float>(std::exp(0.1)));
  EXPECT_FLOAT_EQ(stretchFactor(t, 1e4f, 1), static_cast<float>(std::exp(-0.1)));
  // Along-wind times cross-wind is 1 for these opposite tables.
  for (float kl : {0.01f, 0.2385f, 7.5f})
    EXPECT_NEAR(double(stretchFactor(t, kl, 0)) * stretchFactor(t, kl, 1), 1.0, 1e-6)
        << "kL = " << kl;
}

TEST(UpstreamTablesDeathTest, UnbuiltTablesAreFatal) {
  const UpstreamTables empty;
  EXPECT_EXIT(roughnessAlphaeps(empty, 1.0f), ::testing::ExitedWithCode(1),
              wind::testing::fatalReport(
                  "roughness table not built: alphaeps = 0 needs the Roughness option"));
  EXPECT_EXIT(stretchFactor(empty, 1.0f, 0), ::testing::ExitedWithCode(1),
              wind::testing::fatalReport(
                  "stretch tables not built: the Terrain stretch needs the Terrain option"));
}
