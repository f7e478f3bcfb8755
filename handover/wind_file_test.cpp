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
#include "tests/support.hpp"

namespace wind {
namespace {

using testing::fatalMessage;

// Little-endian fields of a byte string.
struct Bytes {
  std::string b;
  std::int32_t i16(std::size_t at) const {
    return std::int16_t(std::uint16_t(std::uint8_t(b[at])) |
                        std::uint16_t(std::uint8_t(b[at + 1]) << 8));
  }
  std::int32_t i32(std::size_t at) const {
    std::uint32_t u = 0;
    for (int s = 0; s < 4; ++s) u |= std::uint32_t(std::uint8_t(b[at + s])) << (8 * s);
    return std::int32_t(u);
  }
  float f32(std::size_t at) const {
    const std::int32_t v = i32(at);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
  }
};

// InflowWind's reading of the grid of a full-field file (.bts and .wnd share
// it): at time t the point (x, y, z) takes slice T / dt with
// T = t + (x0 - x) / U (x0 = 0 and the index modulo NSteps when periodic, else
// x0 = (NY - 1) dy / 2), column (y + (NY - 1) dy / 2) / dy (the first column at
// the most negative y), row (z - zBottom) / dz; each slice int16[NZ][NY][3].
struct GridReading {
  Bytes data;
  std::size_t body = 0;
  int nz = 0, ny = 0, nSteps = 0;
  double dz = 0, dy = 0, dt = 0, U = 0, zBottom = 0;
  bool periodic = false;

  int raw(int c, double t, double x, double y, double z) const {
    const double x0 = periodic ? 0.0 : (ny - 1) * dy / 2;
    long n = std::lround((t + (x0 - x) / U) / dt);
    if (periodic) n = ((n % nSteps) + nSteps) % nSteps;
    EXPECT_TRUE(n >= 0 && n < nSteps) << "wind array was exhausted at t = " << t;
    const long iy = std::lround((y + (ny - 1) * dy / 2) / dy);
    const long iz = std::lround((z - zBottom) / dz);
    EXPECT_TRUE(iy >= 0 && iy < ny && iz >= 0 && iz < nz) << "outside the grid: " << y << " " << z;
    return data.i16(body + 2 * std::size_t(((n * nz + iz) * ny + iy) * 3 + c));
  }
};

// .bts: the 70-byte header, the description, the grid (no tower points here).
struct BtsReading : GridReading {
  int id = 0, nTower = 0;
  float hub = 0;
  float slope[3], offset[3];
  std::string description;

  explicit BtsReading(const std::string& file) {
    data.b = file;
    id = data.i16(0);
    nz = data.i32(2);
    ny = data.i32(6);
    nTower = data.i32(10);
    nSteps = data.i32(14);
    dz = data.f32(18);
    dy = data.f32(22);
    dt = data.f32(26);
    U = data.f32(30);
    hub = data.f32(34);
    zBottom = data.f32(38);
    for (int c = 0; c < 3; ++c) {
      slope[c] = data.f32(42 + 8 * c);
      offset[c] = data.f32(46 + 8 * c);
    }
    const int n = data.i32(66);
    description = file.substr(70, std::size_t(n));
    body = 70 + std::size_t(n);
    periodic = id == 8;
  }
  double at(int c, double t, double x, double y, double z) const {
    return (raw(c, t, x, y, z) - double(offset[c])) / double(slope[c]);
  }
};

// .wnd and .sum: the header form -99, the .sum read line by line by keyword.
struct WndReading : GridReading {
  float ti[3], refHt = 0, dx = 0;
  int form = 0, type = 0, nComp = 0, seed = 0;
  double sumHub = 0, ubar = 0, sumTi[3] = {0, 0, 0}, heightOffset = 0, vSign = 1;

  WndReading(const std::string& wnd, const std::string& sum) {
    data.b = wnd;
    form = data.i16(0);
    type = data.i16(2);
    nComp = data.i32(4);
    refHt = data.f32(16);
    for (int c = 0; c < 3; ++c) ti[c] = data.f32(20 + 4 * c);
    dz = data.f32(32);
    dy = data.f32(36);
    dx = data.f32(40);
    nSteps = 2 * data.i32(44);
    U = data.f32(48);
    seed = data.i32(68);
    nz = data.i32(72);
    ny = data.i32(76);
    body = 104;
    dt = dx / U;

    std::istringstream in(sum);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) {
      for (char& ch : l) ch = char(std::toupper(static_cast<unsigned char>(ch)));
      lines.push_back(l);
    }
    std::size_t l = 0;
    while (l < lines.size() && lines[l].find("HUB HEIGHT") == std::string::npos) ++l;
    EXPECT_LT(l, lines.size()) << "no HUB HEIGHT line";
    sumHub = std::stod(lines.at(l));
    while (l < lines.size() && lines[l].find("UBAR") == std::string::npos) ++l;
    EXPECT_LT(l + 3, lines.size()) << "no UBAR line and three TI lines";
    ubar = std::stod(lines.at(l).substr(lines[l].find('=') + 1));
    for (int c = 0; c < 3; ++c) {
      const std::string& t = lines.at(l + 1 + std::size_t(c));
      sumTi[c] = std::stod(t.substr(t.find('=') + 1, t.find('%') - t.find('=') - 1));
    }
    for (; l < lines.size(); ++l) {
      if (lines[l].find("HEIGHT OFFSET") != std::string::npos)
        heightOffset = std::stod(lines[l].substr(lines[l].find('=') + 1));
      if (lines[l].find("PERIODIC") != std::string::npos) periodic = true;
      if (lines[l].find("BLADED LEFT-HAND RULE") != std::string::npos) vSign = -1;
    }
    EXPECT_LE(std::abs(ubar - U), 0.1) << "InflowWind stops: UBAR differs from the header's U";
    zBottom = (sumHub - heightOffset) - (nz - 1) * dz / 2;
  }
  double scale(int c) const { return 0.001 * U * (ti[c] / 100.0); }
  double at(int c, double t, double x, double y, double z) const {
    const double r = raw(c, t, x, y, z) * scale(c);
    return c == 0 ? U + r : c == 1 ? vSign * r : r;
  }
};

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
  EXPECT_EQ(windFileName("out/iec_u.bin", WindFileFormat::bts), "out/iec_u.bts");
  EXPECT_EQ(windFileName("out.d/u", WindFileFormat::wnd), "out.d/u");
  EXPECT_EQ(windFileName(".u", WindFileFormat::bts), ".u.bts");
  SimulationInput plane;
  plane.fieldDim = 2;
  plane.nComp = 3;
  EXPECT_EQ(fatalMessage([&] { checkWindFileInput(plane, WindFileFormat::wnd); }),
            "--format wnd needs a three-dimensional field of three components (fieldDim 3, "
            "nComp 3)");
  EXPECT_EQ(fatalMessage([&] { checkWindFileInput(plane, WindFileFormat::raw); }), "");
}

}  // namespace
}  // namespace wind
