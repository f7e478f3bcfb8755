// The hub series against the bilinear reading of the four points around the
// hub, worked out by hand on a box whose values name their place, and the
// hub-height file as InflowWind's uniform-wind reader takes it.
#include "handover/hub_series.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support.hpp"

namespace wind {
namespace {

// Component c at plane i, column j, row k: 0.01 (c + 1) (i + 1) + 0.1 j + k,
// so that every weight and every plane shows in the result.
struct CodedLines {
  BoxGrid grid{8, 4, 8, Vector3(24.0f, 6.0f, 14.0f)};  // dx 3, dz 1.75
  static double value(int c, int i, int j, int k) { return 0.01 * (c + 1) * (i + 1) + 0.1 * j + k; }
  std::array<HubLines, 3> lines(const GridPlacement& p) const {
    const HubPoints at = hubPoints(grid, p);
    std::array<HubLines, 3> out;
    for (int c = 0; c < 3; ++c) {
      std::vector<float> box(8 * 4 * 8);
      for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 4; ++j)
          for (int k = 0; k < 8; ++k)
            box[std::size_t((i * 4 + j) * 8 + k)] = float(value(c, i, j, k));
      appendHubLines(box, 8, grid, at, out[std::size_t(c)]);
    }
    return out;
  }
};

TEST(HubSeries, BilinearBetweenTheFourPointsAroundTheHubAndConvectedInTime) {
  const CodedLines box;
  const double U = 7.5, dt = 3.0 / U;
  // Bottom 11 m: the hub at 20 m is 9 / 1.75 = 5.142857 rows up, between
  // rows 5 and 6 (0-based), 0.142857 of the way; columns 1 and 2 at 1/2 each.
  const GridPlacement p = placeGrid(box.grid, WindAtHub{U, 20.0}, 11.0);
  const MeanProfile power = parseMeanProfile("power:0.2");
  const HubSeries s = hubSeries(box.lines(p), box.grid, p, power, true);
  const double wz = 9.0 / 1.75 - 5.0;
  EXPECT_NEAR(s.rowWeight, wz, 1e-12);
  EXPECT_DOUBLE_EQ(s.dt, dt);
  EXPECT_DOUBLE_EQ(s.shearExponent, 0.2);
  ASSERT_EQ(s.u.size(), 9u) << "N1 + 1 lines: the last closes the period";
  // The profile at the two rows, interpolated as InflowWind interpolates the
  // total velocity: not U itself, the profile being curved.
  const double z5 = 11.0 + 5 * 1.75, z6 = z5 + 1.75;
  const double mean = (1 - wz) * U * std::pow(z5 / 20.0, 0.2) + wz * U * std::pow(z6 / 20.0, 0.2);
  for (int n = 0; n <= 8; ++n) {
    const int plane = (8 - n % 8) % 8;  // the plane the hub sees at t = n dt
    for (int c = 0; c < 3; ++c) {
      const auto at = [&](int j, int k) { return CodedLines::value(c, plane, j, k); };
      const double expected = 0.5 * (1 - wz) * (at(1, 5) + at(2, 5)) +
                              0.5 * wz * (at(1, 6) + at(2, 6)) + (c == 0 ? mean : 0.0);
      const std::vector<double>& got = c == 0 ? s.u : c == 1 ? s.v : s.w;
      EXPECT_NEAR(got[std::size_t(n)], expected, 1e-5) << "component " << c << " step " << n;
    }
  }
  // Raw files: the mean is U, whatever the profile (InflowWind adds its own).
  const HubSeries raw = hubSeries(box.lines(p), box.grid, p, power, false);
  EXPECT_NEAR(raw.u[0] - s.u[0], U - mean, 1e-12);
  // The hub on a row takes that row alone.
  const GridPlacement onRow = placeGridHubOnRow(box.grid, WindAtHub{U, 20.0});
  const HubSeries r = hubSeries(box.lines(onRow), box.grid, onRow, power, false);
  EXPECT_NEAR(r.rowWeight, 0.0, 1e-9);
  EXPECT_NEAR(r.w[1], 0.5 * (CodedLines::value(2, 7, 1, 3) + CodedLines::value(2, 7, 2, 3)), 1e-5);
  // A log profile's exponent is its slope at the hub.
  EXPECT_NEAR(hubSeries(box.lines(p), box.grid, p, parseMeanProfile("log:0.05"), true).shearExponent,
              1.0 / std::log(20.0 / 0.05), 1e-15);
}

TEST(HubSeries, TheFileIsWhatTheUniformWindReaderTakes) {
  HubSeries s;
  s.height = 90.0;
  s.windSpeed = 10.0;
  s.dt = 0.25;
  s.shearExponent = 0.2;
  s.u = {10.0, 9.0, 10.0};
  s.v = {0.0, 9.0, 0.0};
  s.w = {0.5, -0.25, 0.5};
  const std::string text = hubSeriesText(s, "box.bts");
  std::istringstream in(text);
  std::vector<std::vector<double>> rows;
  for (std::string line; std::getline(in, line);) {
    // A comment: '!', '#' or '%' first; every other line 8 numbers.
    ASSERT_FALSE(line.empty());
    if (line[0] == '!' || line[0] == '#' || line[0] == '%') {
      EXPECT_TRUE(rows.empty()) << "comments come first: " << line;
      continue;
    }
    std::istringstream fields(line);
    std::vector<double> row;
    for (double x; fields >> x;) row.push_back(x);
    EXPECT_TRUE(fields.eof()) << "not a number in: " << line;
    EXPECT_EQ(row.size(), 8u) << line;
    rows.push_back(row);
  }
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_NE(text.find("box.bts"), std::string::npos);
  EXPECT_NE(text.find("RefHt_Uni 90 m"), std::string::npos);
  // Time, speed, direction (counter-clockwise from +x), vertical, the shears, gust.
  EXPECT_EQ(rows[1][0], 0.25);
  EXPECT_NEAR(rows[1][1], 9.0 * std::sqrt(2.0), 1e-5);
  EXPECT_NEAR(rows[1][2], 45.0, 1e-5);
  EXPECT_EQ(rows[1][3], -0.25);
  EXPECT_EQ(rows[2], (std::vector<double>{0.5, 10.0, 0.0, 0.5, 0.0, 0.2, 0.0, 0.0}));
  EXPECT_EQ(hubSeriesName("cases/v8_s1/v8_s1"), "cases/v8_s1/v8_s1.hh");
}

}  // namespace
}  // namespace wind
