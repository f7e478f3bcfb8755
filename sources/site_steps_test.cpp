#include "sources/site_steps.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "sources/site_params.hpp"
#include "sources/upstream_tables.hpp"
#include "tests/support.hpp"

using namespace wind;

namespace {

// A line of 3 points at 2 heights, wind from 200 degrees (not along the file's
// x axis), with strains of -0 on the diagonal of some first matrices.
constexpr const char* kLine =
    "seam line\n0 0 200 0 0.45 0.02\n x y a h wind first second\n"
    "(0,0) 0 20 (6.5,0.4,0.02) ((-0,0.001,0.002),(0.0005,-0,0.0001),(0,0,0)) "
    "((0,0,0.03),(0,0,0.001),(0,0,0))\n"
    "(50,0) 0 20 (6.8,0.3,0.01) ((0.0012,0,0),(0,-0.0004,0),(0,0,0)) "
    "((0,0,0.028),(0,0,0),(0,0,0)) end\n"
    "(0,0) 0 60 (8.9,0.5,0.0) ((0.0002,0,0.001),(0,0.0003,0),(0,0,0)) "
    "((0,0,0.012),(0,0,0.0003),(0,0,0))\n"
    "(50,0) 0 60 (9.1,0.45,0.0) ((-0,0,0),(0,-0,0),(0,0,0)) "
    "((0,0,0.011),(0,0,0),(0,0,0))\n";

std::string writeLine(const std::string& name) {
  const auto file = wind::testing::freshDir("site_steps_" + name) / "line.dat";
  wind::testing::writeText(file, kLine);
  return file.string();
}

KestavLine readQuietly(const std::string& path) {
  std::ostringstream sink;
  return ReadKestavLine(path, 0, sink);
}

bool sameBits(float a, float b) { return std::signbit(a) == std::signbit(b) && a == b; }

SiteValues terrainSite(const std::string& file) {
  SiteValues site;
  site.terrainFile = file;
  site.KESTAVHeightNo = 0;
  site.Terrain = true;
  site.Roughness = true;
  site.SpecType = 0;
  return site;
}

// The tables built straight from the line in the given axes, by the recipe of
// the terrain step: Mfor(M) turns a matrix, along(v) gives the along-wind speed.
template <class Turn, class Along>
UpstreamTables tablesByHand(const KestavLine& k, Turn Mfor, Along along, float Gamma) {
  const int nH = k.nH, nP = k.nP;
  UpstreamLine l{.nP = nP,
                 .nH = nH,
                 .h = 0,
                 .dist = vector(0, nP - 1),
                 .heights = vector(0, nH - 1),
                 .U = matrix(0, nH - 1, 0, nP - 1),
                 .Su = matrix(0, nH - 1, 0, nP - 1),
                 .Sv = matrix(0, nH - 1, 0, nP - 1),
                 .S = vector(0, nH - 1),
                 .Sp = vector(0, nP - 1)};
  for (int j = 0; j < nP; ++j) {
    l.dist[j] = k.positions[j].first - k.positions[0].first;
    l.Sp[j] = at(Mfor(k.secondMatrices[0][j]), 0, 2);
  }
  for (int i = 0; i < nH; ++i) {
    l.heights[i] = k.heights[i];
    l.S[i] = at(Mfor(k.secondMatrices[i][0]), 0, 2);
    for (int j = 0; j < nP; ++j) {
      l.U[i][j] = along(k.wind[i][j]);
      l.Su[i][j] = at(Mfor(k.firstMatrices[i][j]), 0, 0);
      l.Sv[i][j] = at(Mfor(k.firstMatrices[i][j]), 1, 1);
    }
  }
  UpstreamTables t;
  const KestavSite& s = k.site;
  buildStretchTables(t, s.z0, s.ustar, Gamma, l);
  const float S0 = static_cast<float>(double(s.ustar) / (0.4000000059604645 * double(s.z)));
  buildRoughnessTable(t, s.z, s.U0, S0, Gamma, l);
  return t;
}

void expectSameTables(const UpstreamTables& a, const UpstreamTables& b, const char* what) {
  for (int i = 0; i < kKLGridSize; ++i) {
    EXPECT_TRUE(sameBits(a.energy[i], b.energy[i])) << what << " energy " << i;
    for (int c = 0; c < 2; ++c)
      EXPECT_TRUE(sameBits(a.strain[c][i], b.strain[c][i])) << what << " strain " << c << " " << i;
  }
}

}  // namespace

TEST(TerrainAxes, TheFileAxesTakeEveryElementAsItIsAndKeepMinusZero) {
  const KestavLine k = readQuietly(writeLine("minus_zero"));
  ASSERT_TRUE(std::signbit(at(k.firstMatrices[0][0], 0, 0))) << "the reader keeps -0";
  const UpstreamLine file = windAxesLine(k, std::nullopt, 0);
  for (int i = 0; i < k.nH; ++i)
    for (int j = 0; j < k.nP; ++j) {
      EXPECT_TRUE(sameBits(file.U[i][j], k.wind[i][j].x)) << i << " " << j;
      EXPECT_TRUE(sameBits(file.Su[i][j], at(k.firstMatrices[i][j], 0, 0))) << i << " " << j;
      EXPECT_TRUE(sameBits(file.Sv[i][j], at(k.firstMatrices[i][j], 1, 1))) << i << " " << j;
    }
  // A rotation, even the near-identity of direction 270, sums the -0 to +0:
  // taking the file's axes is not turning by an identity matrix.
  const UpstreamLine turned = windAxesLine(k, windAxesRotation(270.0f), 0);
  EXPECT_FALSE(std::signbit(turned.Sv[1][1]));
  EXPECT_TRUE(std::signbit(file.Sv[1][1]));
}

TEST(TerrainAxes, EachAxesGiveTheTablesAndSpeedOfTheirLine) {
  const std::string path = writeLine("tables");
  const KestavLine k = readQuietly(path);
  const ModelParameters land = checkedLandParams(k.site.U0, k.site.z, k.site.z0, 0);
  const float Gamma = land.Gamma;

  // The spectrum calculator's terrain step: the file's elements as they are.
  SiteValues fileSite = terrainSite(path);
  UpstreamTables fileTables;
  std::ostringstream echo;
  const float fileSpeed = terrainStep(fileSite, TerrainAxes::file, fileTables, echo);
  EXPECT_EQ(fileSpeed, 6.5f);
  EXPECT_EQ(fileSite.params.Gamma, land.Gamma);
  EXPECT_EQ(fileSite.params.L, land.L);
  EXPECT_EQ(fileSite.params.alphaeps, land.alphaeps);
  expectSameTables(fileTables,
                   tablesByHand(k, [](const Mat3& M) { return M; },
                                [](const Vector3& v) { return v.x; }, Gamma),
                   "file axes");

  // The simulator's: every vector and matrix turned by the wind direction.
  const Mat3 R = windAxesRotation(200.0f);
  SiteValues windSite = terrainSite(path);
  UpstreamTables windTables;
  const float windSpeed = terrainStep(windSite, TerrainAxes::wind, windTables, echo);
  EXPECT_EQ(windSpeed, dot(R[0], k.wind[0][0]));
  // Wind from 200 degrees: psi = -290 degrees, a turn by +70 degrees, whose
  // first row is (cos 70, sin 70, 0).
  const double seventy = 70.0 * std::acos(-1.0) / 180.0;
  EXPECT_NEAR(windSpeed, 6.5 * std::cos(seventy) + 0.4 * std::sin(seventy), 1e-5);
  expectSameTables(windTables,
                   tablesByHand(k, [&R](const Mat3& M) { return toWindAxes(R, M); },
                                [&R](const Vector3& v) { return dot(R[0], v); }, Gamma),
                   "wind axes");
  EXPECT_NE(windTables.strain[0][0], fileTables.strain[0][0]) << "the axes must matter here";
}

TEST(SiteTensorModel, TheOptionsDecideLevelStretchAndTables) {
  const UpstreamTables tables;
  SiteValues site;
  site.params = {.alphaeps = 0.085f, .L = 23.85f, .Gamma = 3.9f};

  // No option (every source but terrain): the parameters as they are, no tables.
  const TensorModel plain = siteTensorModel(site, &tables);
  EXPECT_EQ(plain.params.alphaeps, 0.085f);
  EXPECT_EQ(plain.params.L, 23.85f);
  EXPECT_EQ(plain.params.Gamma, 3.9f);
  EXPECT_FALSE(plain.Terrain);
  EXPECT_EQ(plain.tables, nullptr);

  // Roughness: the level from the table (alphaeps 0); the site keeps its own.
  site.Roughness = true;
  const TensorModel roughness = siteTensorModel(site, &tables);
  EXPECT_EQ(roughness.params.alphaeps, 0.0f);
  EXPECT_EQ(roughness.params.L, 23.85f);
  EXPECT_FALSE(roughness.Terrain);
  EXPECT_EQ(roughness.tables, &tables);
  EXPECT_EQ(site.params.alphaeps, 0.085f);

  // Terrain alone: the stretch, with the site's level.
  site.Roughness = false;
  site.Terrain = true;
  const TensorModel terrain = siteTensorModel(site, &tables);
  EXPECT_EQ(terrain.params.alphaeps, 0.085f);
  EXPECT_TRUE(terrain.Terrain);
  EXPECT_EQ(terrain.tables, &tables);
}
