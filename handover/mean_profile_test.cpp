// The mean wind profiles, their --profile values and the sources' defaults.
#include "handover/mean_profile.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support.hpp"

namespace wind {
namespace {

using testing::fatalMessage;

TEST(MeanProfile, ClosedFormsAtHeightsWhereTheyHalveTheHubSpeed) {
  // Power law: (z/z_hub)^0.2 = 1/2 at z = z_hub / 32. Log law: ln(z/z0) is
  // half of ln(z_hub/z0) at the geometric mean z = sqrt(z0 z_hub).
  const MeanProfile power = parseMeanProfile("power:0.2");
  EXPECT_DOUBLE_EQ(meanWindSpeed(power, 11.4, 96.0, 3.0), 5.7);
  EXPECT_DOUBLE_EQ(meanWindSpeed(power, 11.4, 96.0, 96.0), 11.4);
  const MeanProfile log = parseMeanProfile("log:0.05");
  EXPECT_NEAR(meanWindSpeed(log, 8.6, 80.0, 2.0), 4.3, 1e-13);  // sqrt(0.05 * 80) = 2
  EXPECT_DOUBLE_EQ(meanWindSpeed(log, 8.6, 80.0, 80.0), 8.6);
  EXPECT_DOUBLE_EQ(meanWindSpeed(parseMeanProfile("none"), 8.6, 80.0, 2.0), 8.6);
}

TEST(MeanProfile, ParsesItsValuesAndNamesABadOne) {
  EXPECT_EQ(parseMeanProfile("power:0.14").alpha, 0.14);
  EXPECT_EQ(parseMeanProfile("power:0").kind, ProfileKind::power);
  EXPECT_EQ(parseMeanProfile("log:0.3").z0, 0.3);
  EXPECT_EQ(parseMeanProfile("none").kind, ProfileKind::none);
  for (const char* bad : {"power:", "power:1.5", "power:-0.1", "log:0", "log:-1", "log:x",
                          "Power:0.2", "linear", "power:0.2x", ""})
    EXPECT_EQ(fatalMessage([&] { parseMeanProfile(bad); }),
              std::string("--profile: '") + bad +
                  "' is not a profile (power:ALPHA with ALPHA from 0 to 1, log:Z0 with Z0 > 0 in "
                  "metres, or none)");
  for (const char* text : {"power:0.2", "log:0.05", "none"})
    EXPECT_EQ(meanProfileText(parseMeanProfile(text)), text);
}

TEST(MeanProfile, DefaultsFollowTheSourceAndLogNeedsZ0BelowTheGrid) {
  SimulationInput in;
  in.source = ParameterSource::iec;
  EXPECT_EQ(meanProfileText(defaultMeanProfile(in)), "power:0.2");
  in.source = ParameterSource::basic;
  EXPECT_EQ(meanProfileText(defaultMeanProfile(in)), "power:0.2");
  in.source = ParameterSource::land;
  in.z0 = 0.05f;
  EXPECT_EQ(meanProfileText(defaultMeanProfile(in)), "log:0.05");
  // At sea Charnock's roughness of a 20 m/s wind is a fraction of a millimetre
  // to a few millimetres.
  in.source = ParameterSource::sea;
  in.U0 = 20.0f;
  in.z = 60.0f;
  const MeanProfile sea = defaultMeanProfile(in);
  EXPECT_EQ(sea.kind, ProfileKind::log);
  EXPECT_GT(sea.z0, 1e-4);
  EXPECT_LT(sea.z0, 1e-2);

  GridPlacement p;
  p.gridBottom = 0.5;
  p.hubHeight = 30.0;
  EXPECT_EQ(fatalMessage([&] { checkMeanProfile(parseMeanProfile("log:0.5"), p); }),
            "--profile log:0.5: the roughness length must lie below the grid's lowest row (0.5 m) "
            "and the hub");
  EXPECT_EQ(fatalMessage([&] { checkMeanProfile(parseMeanProfile("log:0.49"), p); }), "");
  EXPECT_EQ(fatalMessage([&] { checkMeanProfile(parseMeanProfile("power:0.2"), p); }), "");
}

}  // namespace
}  // namespace wind
