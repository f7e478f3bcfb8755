#pragma once
// InflowWind's reading of the files vorlan hands over, emulated for the tests
// from how InflowWind reads them (OpenFAST 4.x, WindType 3 and 4 and its
// input file): the .bts and the .wnd with its .sum, header and grid, the value
// a point sees at time t; and the values of an InflowWind input, line by line
// by position, section by section.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace wind::testing {

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

// The value of key in an InflowWind input: on the line whose key (the word
// after the value, matched without regard to case) is key, in the part that
// precedes every separator line (section 0) or in the section whose separator
// line names "WindType = <section>". A quoted value comes without its quotes.
// Fails the test and returns "" when there is no such line.
inline std::string inflowWindInputValue(const std::string& text, int section,
                                        const std::string& key) {
  const auto lower = [](std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  std::istringstream in(text);
  bool inSection = section == 0;
  for (std::string line; std::getline(in, line);) {
    const std::size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos && line[first] == '=') {
      inSection = line.find("WindType = " + std::to_string(section)) != std::string::npos;
      continue;
    }
    if (!inSection) continue;
    std::istringstream words(line);
    std::string value, k;
    if (!(words >> value)) continue;
    if (value[0] == '"' && (value.size() < 2 || value.back() != '"')) {
      const std::size_t close = line.find('"', line.find('"') + 1);
      value = line.substr(line.find('"'), close - line.find('"') + 1);
      words.str(line.substr(close + 1));
      words.clear();
    }
    if (words >> k && lower(k) == lower(key))
      return value[0] == '"' ? value.substr(1, value.size() - 2) : value;
  }
  ADD_FAILURE() << "no " << key << " in section " << section;
  return "";
}

}  // namespace wind::testing
