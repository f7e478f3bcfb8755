// The .bts and .wnd/.sum writers against an emulation of InflowWind's reading
// of them, written from the reader's rules (WindType 3 and 4): header fields,
// the periodic flag, and the value a point sees at time t, which must be the
// box's at the frozen-convection position plus the mean profile, within the
// quantisation step.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "handover/bts_file.hpp"
#include "handover/wnd_file.hpp"
#include "tests/inflowwind_reading.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

using testing::BtsReading;
using testing::WndReading;
using testing::fatalMessage;

// A non-cubic box of smooth values, different in each component and
// direction, with the grid and placement of a small load box.
struct TestBox {
  BoxGrid grid{16, 4, 8, Vector3(48.0f, 9.0f, 17.5f)};  // dx 3, dy 2.25, dz 2.1875
  std::vector<float> u, v, w;
  WindBox box;

  explicit TestBox(MeanProfile profile) {
    const std::size_t n = std::size_t(grid.N1) * grid.N2 * grid.N3;
    u.resize(n);
    v.resize(n);
    w.resize(n);
    for (int i = 0; i < grid.N1; ++i)
      for (int j = 0; j < grid.N2; ++j)
        for (int k = 0; k < grid.N3; ++k) {
          const std::size_t e = std::size_t((i * grid.N2 + j) * grid.N3 + k);
          u[e] = float(1.3 * std::sin(0.9 * i + 1.7 * j + 0.45 * k));
          v[e] = float(0.8 * std::cos(0.6 * i - 1.1 * j + 0.7 * k) + 0.11);
          w[e] = float(0.5 * std::sin(1.3 * i + 0.5 * j - 0.9 * k));
        }
    box.uvw = {u, v, w};
    box.grid = grid;
    box.placement = placeGrid(grid, WindAtHub{7.5, 24.0}, std::nullopt);
    box.profile = profile;
  }

  // The box's value at the frozen-convection position of (t, x, y, z), plus
  // the profile for u: the field at x - U t, y measured from the grid's right
  // edge, z from its lowest row.
  double truth(int c, double t, double x, double y, double z) const {
    const double dx = 3.0, dy = 2.25, dz = 2.1875, U = box.placement.windSpeed;
    const long i = ((std::lround((x - U * t) / dx) % grid.N1) + grid.N1) % grid.N1;
    const long j = std::lround((y + (grid.N2 - 1) * dy / 2) / dy);
    const long k = std::lround((z - box.placement.gridBottom) / dz);
    const std::size_t e = std::size_t((i * grid.N2 + j) * grid.N3 + k);
    const std::vector<float>& f = c == 0 ? u : c == 1 ? v : w;
    return f[e] + (c == 0 ? meanWindSpeed(box.profile, U, 24.0, z) : 0.0);
  }
};

// Reads every component at times over more than one period, at points on and
// off x = 0 and over the whole grid; returns the worst difference.
template <class Reading>
std::array<double, 3> worstDifference(const Reading& r, const TestBox& b) {
  std::array<double, 3> worst{0, 0, 0};
  const double dt = 3.0 / 7.5;
  for (int n = 0; n < 37; n += 3)
    for (int m = -2; m <= 2; ++m)
      for (int q = 0; q < 4; ++q)
        for (int k = 0; k < 8; ++k)
          for (int c = 0; c < 3; ++c) {
            const double t = n * dt, x = m * 3.0, y = -3.375 + q * 2.25;
            const double z = b.box.placement.gridBottom + k * 2.1875;
            worst[c] = std::max(worst[c], std::abs(r.at(c, t, x, y, z) - b.truth(c, t, x, y, z)));
          }
  return worst;
}

TEST(BtsFile, ReadAsInflowWindDoesItGivesTheConvectedBoxPlusTheProfile) {
  for (const char* profile : {"power:0.2", "log:0.05", "none"}) {
    SCOPED_TRACE(profile);
    const TestBox b(parseMeanProfile(profile));
    std::ostringstream out;
    const BtsQuantisation q = writeBts(out, b.box, "a small test box", "t.bts");
    const BtsReading r(out.str());
    const std::array<double, 3> worst = worstDifference(r, b);
    for (int c = 0; c < 3; ++c) {
      const double step = 1.0 / r.slope[c];
      EXPECT_LE(worst[c], 0.5 * step * 1.001) << "component " << c;
      EXPECT_GT(worst[c], 0.05 * step) << "component " << c << ": suspiciously exact";
      EXPECT_LE(worst[c], q.worstError[c] * (1 + 1e-9)) << "the returned worst error is the worst";
      EXPECT_EQ(r.slope[c], q.slope[c]);
    }
    EXPECT_EQ(out.str().size(), 70u + 16u + 16u * 4u * 8u * 3u * 2u);
  }
}

TEST(BtsFile, HeaderDescribesTheGridAndIsPeriodic) {
  const TestBox b(parseMeanProfile("power:0.2"));
  std::ostringstream out;
  writeBts(out, b.box, "caf\xc3\xa9 box\n", "t.bts");
  const BtsReading r(out.str());
  EXPECT_EQ(r.id, 8);
  EXPECT_EQ(r.nz, 8);
  EXPECT_EQ(r.ny, 4);
  EXPECT_EQ(r.nTower, 0);
  EXPECT_EQ(r.nSteps, 16);
  EXPECT_FLOAT_EQ(float(r.dz), 2.1875f);
  EXPECT_FLOAT_EQ(float(r.dy), 2.25f);
  EXPECT_FLOAT_EQ(float(r.dt), 0.4f);  // dx / U = 3 / 7.5
  EXPECT_FLOAT_EQ(float(r.U), 7.5f);
  EXPECT_FLOAT_EQ(r.hub, 24.0f);
  EXPECT_FLOAT_EQ(float(r.zBottom), float(24.0 - 7 * 2.1875 / 2));
  EXPECT_EQ(r.description, "caf?? box?");  // ASCII only
  // The codes span the int16 range: -32768 and 32767 both occur in each component.
  for (int c = 0; c < 3; ++c) {
    int lo = 0, hi = 0;
    for (std::size_t e = r.body + 2 * std::size_t(c); e < out.str().size(); e += 6) {
      lo = std::min(lo, r.data.i16(e));
      hi = std::max(hi, r.data.i16(e));
    }
    EXPECT_EQ(lo, -32768) << "component " << c;
    EXPECT_EQ(hi, 32767) << "component " << c;
  }
}

TEST(WndFile, ReadAsInflowWindDoesItGivesTheConvectedBoxPlusTheProfile) {
  for (const char* profile : {"power:0.14", "log:0.3", "none"}) {
    SCOPED_TRACE(profile);
    const TestBox b(parseMeanProfile(profile));
    std::ostringstream wnd, sum;
    const WndQuantisation q = writeWnd(wnd, sum, b.box, -17, "t");
    const WndReading r(wnd.str(), sum.str());
    EXPECT_EQ(r.vSign, -1) << "the left-hand rule";
    EXPECT_TRUE(r.periodic);
    const std::array<double, 3> worst = worstDifference(r, b);
    for (int c = 0; c < 3; ++c) {
      EXPECT_LE(worst[c], 0.5 * r.scale(c) * 1.001) << "component " << c;
      EXPECT_GT(worst[c], 0.05 * r.scale(c)) << "component " << c << ": suspiciously exact";
      EXPECT_LE(worst[c], q.worstError[c] * (1 + 1e-9));
      EXPECT_EQ(r.ti[c], q.tiPercent[c]);
      EXPECT_EQ(float(r.sumTi[c]), r.ti[c]) << "the .sum's TI is the header's float";
    }
    EXPECT_EQ(wnd.str().size(), 104u + 16u * 4u * 8u * 3u * 2u);
  }
}

TEST(WndFile, HeaderAndSummaryDescribeTheGrid) {
  TestBox b(parseMeanProfile("log:0.05"));
  b.box.placement = placeGrid(b.grid, WindAtHub{7.5, 24.0}, 20.0);  // hub off the middle row
  std::ostringstream wnd, sum;
  const WndQuantisation q = writeWnd(wnd, sum, b.box, -17, "t");
  const WndReading r(wnd.str(), sum.str());
  EXPECT_EQ(r.form, -99);
  EXPECT_EQ(r.type, 4);
  EXPECT_EQ(r.nComp, 3);
  EXPECT_EQ(r.nz, 8);
  EXPECT_EQ(r.ny, 4);
  EXPECT_EQ(r.nSteps, 16);
  EXPECT_EQ(r.seed, -17);
  EXPECT_FLOAT_EQ(r.dx, 3.0f);
  EXPECT_FLOAT_EQ(float(r.U), 7.5f);
  EXPECT_FLOAT_EQ(r.refHt, float(20.0 + 7 * 2.1875 / 2));
  EXPECT_FLOAT_EQ(r.data.f32(12), 0.05f);  // z0, informational
  EXPECT_DOUBLE_EQ(r.sumHub, 24.0);
  EXPECT_NEAR(r.zBottom, 20.0, 1e-12);
  // Each TI keeps |raw| within 20000 and is the larger of sigma and 5 % of the peak.
  for (int c = 0; c < 3; ++c) EXPECT_GT(q.tiPercent[c], 0.0f);
  for (std::size_t e = 104; e < wnd.str().size(); e += 2)
    ASSERT_LE(std::abs(r.data.i16(e)), 20000) << "at byte " << e;
}

TEST(WindFiles, RefuseWhatTheReaderDoesNotCheckBeforeWritingAnything) {
  struct Case {
    const char* what;
    void (*spoil)(WindBox&);
    const char* message;
  };
  const Case cases[] = {
      {"U", [](WindBox& b) { b.placement.windSpeed = 0.0; },
       "Cannot write t: the mean wind speed U = 0 m/s gives no positive time step dx / U"},
      {"dy", [](WindBox& b) { b.grid.Lbox.y = 0.0f; },
       "Cannot write t: the spacing dy = 0 m is not positive"},
      {"N2", [](WindBox& b) { b.grid.N2 = 1; },
       "Cannot write t: the grid needs at least 2 points along each axis, not 16 x 1 x 8"},
      {"ground", [](WindBox& b) { b.placement.gridBottom = 0.0; },
       "Cannot write t: the grid's lowest row at 0 m is not above ground"},
  };
  for (const Case& c : cases) {
    TestBox b(parseMeanProfile("none"));
    c.spoil(b.box);
    std::ostringstream bts, wnd, sum;
    EXPECT_EQ(fatalMessage([&] { writeBts(bts, b.box, "", "t"); }), c.message) << c.what;
    EXPECT_EQ(fatalMessage([&] { writeWnd(wnd, sum, b.box, -1, "t"); }), c.message) << c.what;
    EXPECT_TRUE(bts.str().empty() && wnd.str().empty() && sum.str().empty()) << c.what;
  }
  TestBox b(parseMeanProfile("none"));
  b.u[5] = std::nanf("");
  std::ostringstream out;
  EXPECT_EQ(fatalMessage([&] { writeBts(out, b.box, "", "t.bts"); }),
            "Cannot write t.bts: component u holds a value that is not a finite number");
  std::ostringstream bad;
  bad.setstate(std::ios::badbit);
  EXPECT_EQ(fatalMessage([&] { writeBts(bad, TestBox(MeanProfile{}).box, "", "t.bts"); }),
            "Could not write t.bts");
}

TEST(WindFiles, FormatNamesAndFileNames) {
  EXPECT_EQ(parseWindFileFormat("bts"), WindFileFormat::bts);
  EXPECT_EQ(parseWindFileFormat("wnd"), WindFileFormat::wnd);
  EXPECT_EQ(parseWindFileFormat("raw"), WindFileFormat::raw);
  EXPECT_EQ(fatalMessage([] { parseWindFileFormat("BTS"); }),
            "--format: 'BTS' is not a format (raw, bts, wnd or netcdf)");
  EXPECT_EQ(windFileName("out/iec", WindFileFormat::bts), "out/iec.bts");
  EXPECT_EQ(windFileName("out.d/v8_s1", WindFileFormat::wnd), "out.d/v8_s1");
  EXPECT_EQ(windFileName("out/iec", WindFileFormat::netcdf), "out/iec.nc");
  SimulationInput plane;
  plane.fieldDim = 2;
  plane.nComp = 3;
  EXPECT_EQ(fatalMessage([&] { checkWindFileInput(plane, WindFileFormat::wnd); }),
            "--format wnd needs a three-dimensional field of three components (fieldDim 3, "
            "nComp 3)");
  EXPECT_EQ(fatalMessage([&] { checkWindFileInput(plane, WindFileFormat::raw); }), "");
}


TEST(WindFiles, TheBoxIsNamedAfterWhatItsOutputsShare) {
  const auto box = [](std::vector<std::string> names) {
    SimulationInput in;
    in.nComp = static_cast<int>(names.size());
    for (int c = 0; c < in.nComp; ++c) in.fname[c] = names[std::size_t(c)];
    return boxName(in);
  };
  EXPECT_EQ(box({"out/iec_u.bin", "out/iec_v.bin", "out/iec_w.bin"}), "out/iec");
  // Seeds put their suffix after the component's part: each seed its own box.
  EXPECT_EQ(box({"iec_u_seed3.bin", "iec_v_seed3.bin", "iec_w_seed3.bin"}), "iec_seed3");
  EXPECT_EQ(box({"v11.4_s2_u.bin", "v11.4_s2_v.bin", "v11.4_s2_w.bin"}), "v11.4_s2");
  EXPECT_EQ(box({"run-uvel", "run-vvel", "run-wvel"}), "run-vel");
  // Nothing shared before the component: the first output, as before.
  EXPECT_EQ(box({"u.bin", "v.bin", "w.bin"}), "u");
  EXPECT_EQ(box({"out/u.bin", "out/v.bin", "out/w.bin"}), "out/u");
  EXPECT_EQ(box({"a/x_u.bin", "b/x_v.bin", "c/x_w.bin"}), "a/x_u");
  EXPECT_EQ(box({".u", ".v", ".w"}), ".u");
  EXPECT_EQ(box({"only.bin"}), "only");
  // A name that holds another as its start: prefix and suffix never overlap.
  EXPECT_EQ(box({"ab.bin", "aab.bin", "aaab.bin"}), "ab");
}

}  // namespace
}  // namespace wind
