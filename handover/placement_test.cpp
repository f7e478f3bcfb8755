// Where the grid stands: centred on the hub or on a given bottom, the refusal
// of a lowest row at or below ground with what would fit, the reference
// height a record proposes for the land and sea examples, and which values
// come from the source and which from the options.
#include "handover/placement.hpp"

#include <gtest/gtest.h>

#include "handover/hub_figures.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

using testing::fatalMessage;

// The vertical grid of examples/land.inp (32 points over 128 m: dz = 4 m,
// usable height 124 m) and of examples/sea.inp (32 over 256 m: dz = 8 m).
const BoxGrid kLandGrid{512, 32, 32, Vector3(2048.0f, 128.0f, 128.0f)};
const BoxGrid kSeaGrid{512, 32, 32, Vector3(4096.0f, 256.0f, 256.0f)};

TEST(Placement, CentredOnTheHubOrOnAGivenBottom) {
  const GridPlacement c = placeGrid(kLandGrid, WindAtHub{10.0, 90.0}, std::nullopt);
  EXPECT_DOUBLE_EQ(c.gridBottom, 90.0 - 62.0);
  EXPECT_DOUBLE_EQ(c.gridTop, 90.0 + 62.0);
  EXPECT_DOUBLE_EQ(c.referenceHeight, 90.0);
  EXPECT_DOUBLE_EQ(c.windSpeed, 10.0);
  EXPECT_TRUE(c.warning.empty());

  const GridPlacement b = placeGrid(kLandGrid, WindAtHub{10.0, 90.0}, 2.5);
  EXPECT_DOUBLE_EQ(b.gridBottom, 2.5);
  EXPECT_DOUBLE_EQ(b.gridTop, 126.5);
  EXPECT_DOUBLE_EQ(b.referenceHeight, 64.5);
  EXPECT_DOUBLE_EQ(b.hubHeight, 90.0);
}

TEST(Placement, TheHubOnARowPutsRowN3Over2ExactlyAtTheHub) {
  // The plan's grid of a 126 m rotor at 90.7 m: 32 rows, dz 4.4709 m (an
  // inexact float), the hub on row 16 (1-based) with 14 rows below and 16 above.
  const BoxGrid g{64, 32, 32, Vector3(960.0f, 143.07f, 143.07f)};
  const double dz = double(143.07f) / 32;
  const GridPlacement p = placeGridHubOnRow(g, WindAtHub{11.4, 90.7});
  EXPECT_DOUBLE_EQ(p.gridBottom + 15 * dz, 90.7);
  EXPECT_NEAR(p.gridTop - 90.7, 16 * dz, 1e-9);
  EXPECT_NEAR(p.referenceHeight - 90.7, dz / 2, 1e-9) << "half a spacing above centred";
  // The hub's four points are the hub's row and the one above, not the row
  // below that a rounding of (hub - bottom) / dz would give.
  EXPECT_EQ(hubPoints(g, p).k0, 15);
  EXPECT_EQ(hubPoints(g, p).j0, 15);
  EXPECT_EQ(fatalMessage([&] { placeGridHubOnRow(g, WindAtHub{11.4, 60.0}); }),
            "--hub-on-row puts the grid's lowest row at -7.06407 m, not above ground (hub height "
            "60 m, N3 = 32, dz = 4.47094 m): make dz smaller than 4 m, or leave --hub-on-row out");
  // Two rows: the hub on the lowest.
  EXPECT_DOUBLE_EQ(placeGridHubOnRow(BoxGrid{4, 2, 2, Vector3(8.0f, 8.0f, 8.0f)},
                                     WindAtHub{8.0, 30.0}).gridBottom, 30.0);
}

TEST(Placement, RefusesALowestRowAtOrBelowGroundSayingWhatWouldFit) {
  // z = 40 m of the land example: the lowest row at 40 - 62 = -22 m. A grid
  // that fits needs (N3 - 1) dz < 80 m: dz < 80/31 m at N3 = 32, or N3 = 16
  // at dz = 4 m (15 x 4 = 60 m; 32 would need 124 m).
  EXPECT_EQ(fatalMessage([] { placeGrid(kLandGrid, WindAtHub{10.0, 40.0}, std::nullopt); }),
            "The grid's lowest row would be at -22 m, not above ground (hub height 40 m, N3 = "
            "32, dz = 4 m): make dz smaller than 2.58065 m (LMax3 below 82.5806 m at N3 = 32), "
            "or N3 = 16 at dz = 4 m (LMax3 = 64 m), or give --grid-bottom");
  // On the ground is not above it; just above it is.
  EXPECT_NE(fatalMessage([] { placeGrid(kLandGrid, WindAtHub{10.0, 62.0}, std::nullopt); }), "");
  EXPECT_GT(placeGrid(kLandGrid, WindAtHub{10.0, 62.001}, std::nullopt).gridBottom, 0.0);
  // A hub so low that no power of two N3 fits at this dz: only dz is proposed.
  EXPECT_EQ(fatalMessage([] { placeGrid(kLandGrid, WindAtHub{10.0, 1.5}, std::nullopt); }),
            "The grid's lowest row would be at -60.5 m, not above ground (hub height 1.5 m, N3 "
            "= 32, dz = 4 m): make dz smaller than 0.0967742 m (LMax3 below 3.09677 m at N3 = "
            "32), or give --grid-bottom");
  EXPECT_EQ(fatalMessage([] { placeGrid(kLandGrid, WindAtHub{10.0, 40.0}, 0.0); }),
            "--grid-bottom: the grid's lowest row must be above ground, not at 0 m");
  EXPECT_EQ(fatalMessage([] { placeGrid(kLandGrid, WindAtHub{10.0, 140.0}, 10.0); }),
            "--grid-bottom 10 puts the grid's rows from 10 m to 134 m: the hub at 140 m lies "
            "outside them");
  EXPECT_EQ(fatalMessage([] { placeGrid(kLandGrid, WindAtHub{0.0, 90.0}, std::nullopt); }),
            "The mean wind speed U must be a positive number of m/s, not 0");
}

TEST(Placement, RecordsOfTheLandAndSeaExamplesProposeAHeightAboveGround) {
  // examples/land.inp: z = 40 m would put the lowest row at -22 m; one dz
  // above ground puts the middle row at 4 + 62 = 66 m.
  const GridPlacement land = proposePlacement(kLandGrid, WindAtHub{10.0, 40.0}, "z");
  EXPECT_DOUBLE_EQ(land.gridBottom, 4.0);
  EXPECT_DOUBLE_EQ(land.referenceHeight, 66.0);
  EXPECT_DOUBLE_EQ(land.gridTop, 128.0);
  EXPECT_EQ(land.warning,
            "The source's height z = 40 m as the reference height would put the grid's lowest "
            "row at -22 m, not above ground; proposed instead: the reference height 66 m, which "
            "puts the lowest row one spacing dz = 4 m above ground (the hub is then 26 m below "
            "the grid's middle row).");
  // examples/sea.inp: z = 60 m, lowest row at 60 - 124 = -64 m; 8 + 124 = 132 m.
  const GridPlacement sea = proposePlacement(kSeaGrid, WindAtHub{20.0, 60.0}, "z");
  EXPECT_DOUBLE_EQ(sea.gridBottom, 8.0);
  EXPECT_DOUBLE_EQ(sea.referenceHeight, 132.0);
  EXPECT_NE(sea.warning.find("-64 m"), std::string::npos);
  // A height that fits is kept, without a warning.
  const GridPlacement fits = proposePlacement(kLandGrid, WindAtHub{10.0, 90.0}, "z");
  EXPECT_DOUBLE_EQ(fits.referenceHeight, 90.0);
  EXPECT_TRUE(fits.warning.empty());
}

TEST(Placement, WindAndHubFromTheSourceOrTheOptions) {
  SimulationInput iec;
  iec.source = ParameterSource::iec;
  iec.iec.V_hub = 11.4f;
  iec.iec.z_hub = 90.0f;
  const WindAtHub h = resolveWindAtHub(iec, std::nullopt, std::nullopt, "--format bts");
  EXPECT_EQ(h.windSpeed, 11.4);  // the typed decimal, not the float's double
  EXPECT_EQ(h.hubHeight, 90.0);
  EXPECT_EQ(fatalMessage([&] { resolveWindAtHub(iec, 12.0, std::nullopt, "--format bts"); }),
            "--wind-speed: the iec source gives the wind speed (V_hub = 11.4 m/s); leave the "
            "option out");
  SimulationInput land;
  land.source = ParameterSource::land;
  land.U0 = 10.0f;
  land.z = 40.0f;
  EXPECT_EQ(fatalMessage([&] { resolveWindAtHub(land, std::nullopt, 80.0, "--format wnd"); }),
            "--hub-height: the land source gives the hub height (z = 40 m); leave the option out");
  SimulationInput basic;
  EXPECT_EQ(fatalMessage([&] { resolveWindAtHub(basic, 8.0, std::nullopt, "--format wnd"); }),
            "--format wnd needs --hub-height for the basic source");
  const WindAtHub b = resolveWindAtHub(basic, 8.0, 70.0, "--format wnd");
  EXPECT_EQ(b.windSpeed, 8.0);
  EXPECT_EQ(b.hubHeight, 70.0);
  EXPECT_FALSE(sourceWindAtHub(basic));

  EXPECT_EQ(parsePositiveNumber("--wind-speed", "11.4"), 11.4);
  for (const char* bad : {"", "0", "-3", "12m", "inf", "nan"})
    EXPECT_EQ(fatalMessage([&] { parsePositiveNumber("--wind-speed", bad); }),
              std::string("--wind-speed: '") + bad + "' is not a positive number");
}

}  // namespace
}  // namespace wind
