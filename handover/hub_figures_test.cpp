// The turbulence figures at the hub, on a box whose point variances are
// known in closed form.
#include "handover/hub_figures.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support.hpp"

namespace wind {
namespace {

// Point (j, k) of component c varies in time as p_j a_jk s_i with s_i = +-1
// alternating: its variance is a_jk^2, its time mean 0. p_j is +1, or with
// opposed columns -1 on odd columns (neighbouring points then move against
// each other, and their interpolation varies less than either).
struct CodedBox {
  BoxGrid grid{8, 4, 8, Vector3(16.0f, 6.0f, 14.0f)};  // dz = 1.75
  std::vector<float> values;
  static double a(int c, int j, int k) { return 0.1 * (c + 1) * (1 + j + 10 * k); }
  static double p(int j, bool opposed) { return opposed && j % 2 ? -1.0 : 1.0; }
  explicit CodedBox(int c, bool opposed = false) : values(8 * 4 * 8) {
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 8; ++k)
          values[std::size_t((i * 4 + j) * 8 + k)] =
              float((i % 2 ? -1 : 1) * p(j, opposed) * a(c, j, k));
  }
  // The amplitude of the series InflowWind reads at the hub, between columns
  // 1 and 2 and rows k, k + 1 at t: 1/2 across, 1 - t and t up.
  static double hub(int c, int k, double t, bool opposed = false) {
    const auto col = [&](int j) { return p(j, opposed) * ((1 - t) * a(c, j, k) + t * a(c, j, k + 1)); };
    return std::fabs(0.5 * col(1) + 0.5 * col(2));
  }
};

TEST(HubFigures, TheSeriesInflowWindReadsAtTheHub) {
  const CodedBox u(0), v(1), w(2);
  const std::array<std::span<const float>, 3> values{u.values, v.values, w.values};
  const double U = 9.5;
  // Centred: the hub lies between columns 1 and 2 and halfway between rows 3 and 4.
  const GridPlacement centred = placeGrid(u.grid, WindAtHub{U, 20.0}, std::nullopt);
  const HubFigures h = hubFigures(values, {0, 1, 2}, 3, u.grid, centred, 2.385);
  EXPECT_STREQ(h.points,
               "bilinear interpolation of the four grid points around it, as InflowWind reads "
               "the hub");
  for (int c = 0; c < 3; ++c) {
    const double hub = CodedBox::hub(c, 3, 0.5);
    EXPECT_NEAR(h.std[c], hub, 1e-6 * hub) << c;
    EXPECT_NEAR(h.TI[c], hub / U, 1e-6 * hub / U) << c;
    EXPECT_EQ(h.components[c], c + 1);
  }
  ASSERT_TRUE(h.sigmaTarget && h.TITarget);
  EXPECT_DOUBLE_EQ((*h.sigmaTarget)[1], 0.8 * 2.385);
  EXPECT_DOUBLE_EQ((*h.TITarget)[2], 0.5 * 2.385 / U);

  // Columns that move against each other: the interpolated series is far
  // quieter than any of the four points.
  const CodedBox opposed(0, true);
  const std::array<std::span<const float>, 3> one{opposed.values, {}, {}};
  const double quiet = hubFigures(one, {0, 1, 2}, 1, u.grid, centred, std::nullopt).std[0];
  EXPECT_NEAR(quiet, CodedBox::hub(0, 3, 0.5, true), 1e-7);
  EXPECT_LT(quiet, 0.1 * CodedBox::a(0, 1, 3));

  // A given grid bottom: hub 20 m over a bottom of 11 m is 9/1.75 = 5.14 rows
  // up, between rows 5 and 6; on the top row it takes the top row alone.
  const auto hubStd = [&](double bottom, double hubHeight) {
    const GridPlacement p = placeGrid(u.grid, WindAtHub{U, hubHeight}, bottom);
    return hubFigures(values, {0, 1, 2}, 1, u.grid, p, std::nullopt);
  };
  EXPECT_NEAR(hubStd(11.0, 20.0).std[0], CodedBox::hub(0, 5, 9.0 / 1.75 - 5.0), 1e-6);
  const HubFigures top = hubStd(11.0, 11.0 + 7 * 1.75);
  EXPECT_NEAR(top.std[0], CodedBox::hub(0, 6, 1.0), 1e-6);
  EXPECT_FALSE(top.sigmaTarget);

  // The same figures from the lines of two slabs of planes, 0..2 and 3..7.
  const HubPoints at = hubPoints(u.grid, centred);
  std::array<HubLines, 3> lines;
  for (int c = 0; c < 3; ++c) {
    appendHubLines(std::span(values[c]).first(3 * 32), 3, u.grid, at, lines[c]);
    appendHubLines(std::span(values[c]).subspan(3 * 32), 5, u.grid, at, lines[c]);
  }
  const HubFigures bySlabs = hubFigures(lines, at, {0, 1, 2}, 3, centred, 2.385);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(bySlabs.std[c], h.std[c]) << c;
}

}  // namespace
}  // namespace wind
