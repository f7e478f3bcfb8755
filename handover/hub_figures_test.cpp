// The turbulence figures at the hub, on a box whose point variances are
// known in closed form.
#include "handover/hub_figures.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support.hpp"

namespace wind {
namespace {

// Point (j, k) of component c varies in time as a_jk s_i with s_i = +-1
// alternating: its variance is a_jk^2, its time mean 0.
struct CodedBox {
  BoxGrid grid{8, 4, 8, Vector3(16.0f, 6.0f, 14.0f)};  // dz = 1.75
  std::vector<float> values;
  static double a(int c, int j, int k) { return 0.1 * (c + 1) * (1 + j + 10 * k); }
  explicit CodedBox(int c) : values(8 * 4 * 8) {
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 8; ++k)
          values[std::size_t((i * 4 + j) * 8 + k)] = float((i % 2 ? -1 : 1) * a(c, j, k));
  }
};

TEST(HubFigures, MeanOfTheFourPointsAroundTheHub) {
  const CodedBox u(0), v(1), w(2);
  const std::array<std::span<const float>, 3> values{u.values, v.values, w.values};
  const double U = 9.5;
  // Centred: the hub lies between columns 1 and 2 and rows 3 and 4.
  const GridPlacement centred = placeGrid(u.grid, WindAtHub{U, 20.0}, std::nullopt);
  const HubFigures h = hubFigures(values, {0, 1, 2}, 3, u.grid, centred, 2.385);
  EXPECT_STREQ(h.points, "mean of the four grid points around it");
  for (int c = 0; c < 3; ++c) {
    const auto sq = [&](int j, int k) { return CodedBox::a(c, j, k) * CodedBox::a(c, j, k); };
    const double hub = std::sqrt((sq(1, 3) + sq(1, 4) + sq(2, 3) + sq(2, 4)) / 4);
    EXPECT_NEAR(h.std[c], hub, 1e-6 * hub) << c;
    EXPECT_NEAR(h.TI[c], hub / U, 1e-6 * hub / U) << c;
    EXPECT_EQ(h.components[c], c + 1);
  }
  ASSERT_TRUE(h.sigmaTarget && h.TITarget);
  EXPECT_DOUBLE_EQ((*h.sigmaTarget)[1], 0.8 * 2.385);
  EXPECT_DOUBLE_EQ((*h.TITarget)[2], 0.5 * 2.385 / U);

  // A given grid bottom: hub 20 m over a bottom of 11 m is 9/1.75 = 5.14 rows
  // up, between rows 5 and 6; on the top row it takes the top two rows.
  const auto hubStd = [&](double bottom, double hubHeight) {
    const GridPlacement p = placeGrid(u.grid, WindAtHub{U, hubHeight}, bottom);
    return hubFigures(values, {0, 1, 2}, 1, u.grid, p, std::nullopt);
  };
  const auto a2 = [](int j, int k) { return CodedBox::a(0, j, k) * CodedBox::a(0, j, k); };
  EXPECT_NEAR(hubStd(11.0, 20.0).std[0],
              std::sqrt((a2(1, 5) + a2(1, 6) + a2(2, 5) + a2(2, 6)) / 4), 1e-6);
  const HubFigures top = hubStd(11.0, 11.0 + 7 * 1.75);
  EXPECT_NEAR(top.std[0], std::sqrt((a2(1, 6) + a2(1, 7) + a2(2, 6) + a2(2, 7)) / 4), 1e-6);
  EXPECT_FALSE(top.sigmaTarget);

  // The same figures from the lines of two slabs of planes, 0..2 and 3..7.
  const HubPoints at = hubPoints(u.grid, centred);
  std::array<HubLines, 3> lines;
  for (int c = 0; c < 3; ++c) {
    appendHubLines(std::span(values[c]).first(3 * 32), 3, u.grid, at, lines[c]);
    appendHubLines(std::span(values[c]).subspan(3 * 32), 5, u.grid, at, lines[c]);
  }
  const HubFigures bySlabs = hubFigures(lines, {0, 1, 2}, 3, centred, 2.385);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(bySlabs.std[c], h.std[c]) << c;
}

}  // namespace
}  // namespace wind
