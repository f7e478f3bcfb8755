#include "vorlan/source_steps.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "numerics/print_format.hpp"
#include "sources/upstream_tables.hpp"
#include "tests/support.hpp"
#include "vorlan/driver.hpp"

using namespace wind;
using ::testing::ExitedWithCode;
using wind::testing::fatalReport;
using wind::testing::literal;
using wind::testing::writeText;
namespace fs = std::filesystem;

namespace {

using LD = long double;

// Constants of the surface-layer model, as the site routines store them.
constexpr LD kKappa = 0.4000000059604645L;      // float 0.4
constexpr LD kCoriolis = 9.99999974737875e-05L;  // float 1e-4
constexpr LD kProfileCorrection = 34.5L;

// With the Coriolis correction the land profile U = (u*/kappa)(ln(z/z0) +
// 34.5 f z / u*) is linear in u*: u* = (kappa U - 34.5 f z) / ln(z/z0).
LD landFrictionVelocity(LD U, LD z, LD z0) {
  return (kKappa * U - kProfileCorrection * kCoriolis * z) / std::log(z / z0);
}

// At sea z0 = 0.01667 u*^2 / 9.81 depends on u*; U(u*) rises with u* over the
// bracket, so bisection finds the root.
LD seaFrictionVelocity(LD U, LD z) {
  auto profile = [&](LD u) {
    const LD z0 = LD(0.01667f) * u * u / LD(9.81f);
    return (u / kKappa) * (std::log(z / z0) + kProfileCorrection * kCoriolis * z / u);
  };
  LD lo = 0.01L, hi = 3.0L;
  for (int it = 0; it < 200; ++it) {
    const LD mid = 0.5L * (lo + hi);
    (profile(mid) < U ? lo : hi) = mid;
  }
  return 0.5L * (lo + hi);
}

LD kaimalAlphaeps(LD ustar, LD z) { return 3.1776L * ustar * ustar * std::pow(z, -2.0L / 3.0L); }
LD simiuAlphaeps(LD ustar, LD z) { return 2.8209L * ustar * ustar * std::pow(z, -2.0L / 3.0L); }

// The elementary rotations about z and x, in long double.
struct M3 {
  LD a[3][3];
};
M3 product(const M3& p, const M3& q) {
  M3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int l = 0; l < 3; ++l) r.a[i][j] += p.a[i][l] * q.a[l][j];
  return r;
}
M3 transposed(const M3& m) {
  M3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.a[i][j] = m.a[j][i];
  return r;
}
M3 rotZ(LD a) { return {{{cosl(a), sinl(a), 0}, {-sinl(a), cosl(a), 0}, {0, 0, 1}}}; }
M3 rotX(LD b) { return {{{1, 0, 0}, {0, cosl(b), sinl(b)}, {0, -sinl(b), cosl(b)}}}; }
M3 fromMat3(const Mat3& m) {
  M3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.a[i][j] = at(m, i, j);
  return r;
}

// The rotation angle into wind axes, with the single-precision pi and -1/180.
LD windAngle(LD direction) {
  return (direction + 90.0L) * LD(3.1415927410125732f) * LD(-0.0055555556900799274f);
}

void expectRows(const Mat3& R, const M3& want, double tol, const std::string& what) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_NEAR(at(R, i, j), double(want.a[i][j]), tol) << what << " element " << i << j;
}

// Reading the small example line.
const std::string kHillFile = std::string(WIND_SOURCE_DIR) + "/examples/terrain_hill.dat";

KestavLine readQuietly(const std::string& path, int h) {
  std::ostringstream sink;
  return ReadKestavLine(path, h, sink);
}

// Runs the simulator in dir, in this process, with a stand-in engine that
// records what the engine would receive.
struct EngineView {
  bool called = false;
  bool terrainFlag = false;
  float alphaeps = 0.0f, L = 0.0f, Gamma = 0.0f;
  UpstreamTables tables;
};

class WorkingDirectory {
 public:
  explicit WorkingDirectory(const fs::path& dir) : old_(fs::current_path()) {
    fs::current_path(dir);
  }
  ~WorkingDirectory() { fs::current_path(old_); }

 private:
  fs::path old_;
};

EngineView runWithStandInEngine(const fs::path& dir, const std::string& input,
                                std::string& echoText) {
  EngineView view;
  const SimulatorSteps steps{parameterSourceStep,
                             [&view](const SimulationInput& in, const Vector3&,
                                     const UpstreamTables& tables, FieldArrays&) {
                               view.called = true;
                               view.terrainFlag = terrainFlag(in);
                               view.alphaeps = in.alphaeps;
                               view.L = in.L;
                               view.Gamma = in.Gamma;
                               view.tables = tables;
                             }};
  WorkingDirectory cwd(dir);
  std::ostringstream echo;
  const char* argv[] = {"vorlan", input.c_str()};
  EXPECT_EQ(runVorlan(2, argv, steps, echo), 0);
  echoText = echo.str();
  return view;
}

// The three numbers of the summary's parameter line.
struct SummaryParameters {
  float Gamma = -1.0f, L = -1.0f, alphaeps = -1.0f;
};
SummaryParameters summaryParameters(const std::string& echo) {
  SummaryParameters p;
  const std::size_t at = echo.find("\nGamma  ");
  if (at == std::string::npos) return p;
  std::sscanf(echo.c_str() + at + 1, "Gamma  %g  L %g  alphaeps %g", &p.Gamma, &p.L, &p.alphaeps);
  return p;
}

// A value as the summary shows it (six significant digits), read back.
float shown(float v) { return std::stof(formatG6(v)); }

fs::path freshDir(const std::string& name) {
  const fs::path dir = wind::testing::freshDir("vorlan_steps_" + name);
  fs::create_directories(dir / "examples");
  return dir;
}

// A copy of the examples with the layout of the repository root.
fs::path examplesRoot(const std::string& name) {
  const fs::path dir = freshDir(name);
  for (const char* f : {"land.inp", "sea.inp", "terrain.inp", "terrain_hill.dat"})
    fs::copy_file(fs::path(WIND_SOURCE_DIR) / "examples" / f, dir / "examples" / f);
  return dir;
}

}  // namespace

// ---------------------------------------------------------------------------
// Rotation into wind axes

TEST(WindAxes, EulerRotationIsTheProductOfElementaryRotations) {
  const float angles[][3] = {{0.3f, 1.1f, -2.385f}, {2.385f, -0.7f, 0.9f}, {-1.2f, 2.9f, 4.4f}};
  for (const auto& a : angles) {
    const M3 want = product(product(rotZ(a[2]), rotX(a[1])), rotZ(a[0]));
    expectRows(eulerRotation(a[0], a[1], a[2]), want, 2e-7,
               "angles " + std::to_string(a[0]) + " " + std::to_string(a[1]) + " " +
                   std::to_string(a[2]));
  }
}

TEST(WindAxes, QuarterTurnAndDirections) {
  // psi = -pi/2: the file's x axis becomes -y, its y axis x.
  const M3 quarter{{{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}};
  expectRows(eulerRotation(0.0f, 0.0f, -1.57079637f), quarter, 1e-7, "psi -pi/2");
  expectRows(windAxesRotation(0.0f), quarter, 1e-7, "direction 0");

  // Direction 270: the identity up to the rounding of the single-precision pi.
  const Mat3 R270 = windAxesRotation(270.0f);
  const M3 identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  expectRows(R270, identity, 3e-7, "direction 270");
  EXPECT_NE(at(R270, 0, 1), 0.0f) << "the single-precision pi leaves a trace";

  // Direction 180 maps the file's y axis onto the wind's x axis.
  const Mat3 R180 = windAxesRotation(180.0f);
  EXPECT_NEAR(dot(R180[0], Vector3(0.0f, 1.0f, 0.0f)), 1.0f, 1e-7);
  EXPECT_NEAR(dot(R180[1], Vector3(0.0f, 1.0f, 0.0f)), 0.0f, 1e-7);

  EXPECT_FLOAT_EQ(windAxesAngle(135.0f), float(windAngle(135.0L)));
}

TEST(WindAxes, MatricesTurnAsRMRTransposed) {
  // A non-symmetric matrix shows the order of the factors.
  const Mat3 M(1.5f, -2.25f, 0.75f, 0.5f, 3.0f, -1.25f, 2.0f, 0.25f, -0.5f);
  const float psi = -0.6f;
  const M3 R = rotZ(psi);
  const M3 want = product(product(R, fromMat3(M)), transposed(R));
  expectRows(toWindAxes(eulerRotation(0.0f, 0.0f, psi), M), want, 1e-6, "R M R^T");
}

// ---------------------------------------------------------------------------
// The terrain line in wind axes

TEST(WindAxesLine, DirectionTwoSeventyKeepsTheFileValues) {
  const KestavLine k = readQuietly(kHillFile, 1);
  ASSERT_EQ(k.site.direction, 270.0f);
  const WindAxesLine w = windAxesLine(k, windAxesRotation(k.site.direction));
  const Vector Sp = windAxesShear(k, windAxesRotation(k.site.direction), 1);
  for (int j = 0; j < k.nP; ++j) {
    EXPECT_FLOAT_EQ(w.dist[j], 100.0f * j) << "point " << j;
    EXPECT_NEAR(Sp[j], at(k.secondMatrices[1][j], 0, 2), 1e-7) << "point " << j;
  }
  for (int i = 0; i < k.nH; ++i) {
    EXPECT_NEAR(w.S[i], at(k.secondMatrices[i][0], 0, 2), 1e-7) << "height " << i;
    for (int j = 0; j < k.nP; ++j) {
      EXPECT_NEAR(w.U[i][j], k.wind[i][j].x, 1e-5) << i << " " << j;
      EXPECT_NEAR(w.Su[i][j], at(k.firstMatrices[i][j], 0, 0), 1e-8) << i << " " << j;
      EXPECT_NEAR(w.Sv[i][j], at(k.firstMatrices[i][j], 1, 1), 1e-8) << i << " " << j;
    }
  }
}

namespace {

struct LineItem {
  float x, y, a, height;
  M3 wind;  // row 0 only
  M3 first, second;
};

std::string g9(LD v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.9g", double(float(v)));
  return buf;
}

std::string matText(const M3& m) {
  std::string s = "(";
  for (int i = 0; i < 3; ++i)
    s += std::string(i ? "," : "") + "(" + g9(m.a[i][0]) + "," + g9(m.a[i][1]) + "," +
         g9(m.a[i][2]) + ")";
  return s + ")";
}

// Writes a terrain line of nH rows and nP points, the file's axes turned by Q
// (new = Q old) relative to the axes of the values given.
void writeTurnedLine(const fs::path& path, float direction, const std::vector<LineItem>& items,
                     int nP, const M3& Q) {
  std::ofstream out(path);
  out << "turned line\n0 0 " << g9(direction) << " 10 0.45 0.02\n x y a h wind first second\n";
  const M3 Qt = transposed(Q);
  for (std::size_t n = 0; n < items.size(); ++n) {
    const LineItem& it = items[n];
    const LD px = Q.a[0][0] * it.x + Q.a[0][1] * it.y, py = Q.a[1][0] * it.x + Q.a[1][1] * it.y;
    LD w[3];
    for (int r = 0; r < 3; ++r)
      w[r] = Q.a[r][0] * it.wind.a[0][0] + Q.a[r][1] * it.wind.a[0][1] +
             Q.a[r][2] * it.wind.a[0][2];
    out << "(" << g9(px) << "," << g9(py) << ") " << g9(it.a) << " " << g9(it.height) << " ("
        << g9(w[0]) << "," << g9(w[1]) << "," << g9(w[2]) << ") "
        << matText(product(product(Q, it.first), Qt)) << " "
        << matText(product(product(Q, it.second), Qt));
    out << ((n + 1) % std::size_t(nP) == 0 && n + 1 < items.size() ? " end\n" : "\n");
  }
}

}  // namespace

TEST(WindAxesLine, SameFlowInTurnedFileAxesGivesTheSameArrays) {
  // A line of 4 points at 2 heights with non-symmetric matrices, written once
  // in wind axes (direction 270) and once in file axes turned for other
  // directions; the arrays in wind axes must agree.
  const int nH = 2, nP = 4;
  std::vector<LineItem> items;
  for (int i = 0; i < nH; ++i)
    for (int j = 0; j < nP; ++j) {
      LineItem it{};
      it.x = 70.0f * j + 5.0f * j * j;
      it.y = 0.0f;
      it.a = 0.1f * j;
      it.height = 15.0f + 30.0f * i;
      it.wind.a[0][0] = 8.5L + 0.3L * i + 0.2L * j;
      it.wind.a[0][1] = 0.4L - 0.1L * j;
      it.wind.a[0][2] = 0.05L * j;
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
          it.first.a[r][c] = 0.01L * sinl(1.3L * r + 0.7L * c + 0.5L * i + 0.9L * j + 0.1L);
          it.second.a[r][c] = 0.02L * cosl(0.4L * r - 1.1L * c + 0.3L * i + 0.6L * j);
        }
      items.push_back(it);
    }
  const fs::path dir = freshDir("turned");
  const M3 identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  writeTurnedLine(dir / "wind_axes.dat", 270.0f, items, nP, identity);
  const KestavLine ref = readQuietly((dir / "wind_axes.dat").string(), 1);
  const WindAxesLine a = windAxesLine(ref, windAxesRotation(270.0f));
  const Vector SpA = windAxesShear(ref, windAxesRotation(270.0f), 1);

  for (float direction : {0.0f, 180.0f, 200.0f, 33.3f}) {
    const std::string name = "turned_" + std::to_string(int(direction)) + ".dat";
    // The file's axes are the wind axes turned back: Q = R(direction)^T.
    writeTurnedLine(dir / name, direction, items, nP, transposed(rotZ(windAngle(direction))));
    const KestavLine k = readQuietly((dir / name).string(), 1);
    const Mat3 R = windAxesRotation(direction);
    const WindAxesLine b = windAxesLine(k, R);
    const Vector SpB = windAxesShear(k, R, 1);
    const std::string where = "direction " + std::to_string(direction);
    for (int j = 0; j < nP; ++j) {
      EXPECT_NEAR(b.dist[j], a.dist[j], 1e-4) << where << " point " << j;
      EXPECT_NEAR(SpB[j], SpA[j], 1e-7) << where << " point " << j;
    }
    for (int i = 0; i < nH; ++i) {
      EXPECT_NEAR(b.S[i], a.S[i], 1e-7) << where << " height " << i;
      for (int j = 0; j < nP; ++j) {
        EXPECT_NEAR(b.U[i][j], a.U[i][j], 1e-5) << where << " " << i << " " << j;
        EXPECT_NEAR(b.Su[i][j], a.Su[i][j], 1e-8) << where << " " << i << " " << j;
        EXPECT_NEAR(b.Sv[i][j], a.Sv[i][j], 1e-8) << where << " " << i << " " << j;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Land and sea sites through the reader

namespace {

SimulationInput readWithSteps(const std::string& text, UpstreamTables& tables) {
  std::istringstream in(text);
  std::ostringstream echo;
  SimulationInput input;
  readSimulationInput(in, echo, input, [&](SimulationInput& r, std::ostream& out) {
    parameterSourceStep(r, tables, out);
  });
  return input;
}

}  // namespace

TEST(SourceSteps, LandSiteWorkedValues) {
  UpstreamTables tables;
  const LD ustar = landFrictionVelocity(10.0L, 40.0L, LD(0.05f));
  EXPECT_NEAR(double(ustar), 0.5777, 5e-5);

  const SimulationInput kaimal = readWithSteps("3 3 4 4 4\n64 64 64\nland\n10 40 0.05 0\n-1\n", tables);
  EXPECT_EQ(kaimal.Gamma, 3.886f);
  EXPECT_NEAR(kaimal.L, 23.62, 0.005);
  EXPECT_NEAR(kaimal.alphaeps, 0.09068, 5e-6);
  EXPECT_NEAR(kaimal.alphaeps, double(kaimalAlphaeps(ustar, 40.0L)), 1e-5 * 0.09068);

  const SimulationInput simiu = readWithSteps("3 3 4 4 4\n64 64 64\nland\n10 40 0.05 1\n-1\n", tables);
  EXPECT_EQ(simiu.Gamma, 3.817f);
  EXPECT_NEAR(simiu.L, 31.47, 0.005);
  EXPECT_NEAR(simiu.alphaeps, 0.08050, 5e-6);
  EXPECT_NEAR(simiu.alphaeps, double(simiuAlphaeps(ustar, 40.0L)), 1e-5 * 0.0805);

  EXPECT_FALSE(tables.hasRoughness || tables.hasStretch) << "land builds no tables";
  EXPECT_FALSE(terrainFlag(kaimal));
}

TEST(SourceSteps, SeaSiteWorkedValues) {
  UpstreamTables tables;
  const LD ustar = seaFrictionVelocity(10.0L, 40.0L);
  EXPECT_NEAR(double(ustar), 0.3115, 5e-5);

  const SimulationInput sea = readWithSteps("2 1 1 3 8 8\n64 64\nsea\n10 40 0\n-1\n", tables);
  EXPECT_EQ(sea.Gamma, 3.886f);
  EXPECT_NEAR(sea.L, 0.590467 * 40, 1e-5);
  EXPECT_NEAR(sea.alphaeps, 0.02636, 1e-5);
  EXPECT_NEAR(sea.alphaeps, double(kaimalAlphaeps(ustar, 40.0L)), 1e-5 * 0.02636);
  EXPECT_FALSE(terrainFlag(sea));
}

TEST(SourceSteps, BasicValuesStayAsRead) {
  UpstreamTables tables;
  const SimulationInput basic = readWithSteps("1 1 1 8\n64\nbasic\n0.1 30 3.9\n-1\n", tables);
  EXPECT_EQ(basic.alphaeps, 0.1f);
  EXPECT_EQ(basic.L, 30.0f);
  EXPECT_EQ(basic.Gamma, 3.9f);
}

namespace {

[[noreturn]] void readAndExit(const std::string& text) {
  std::istringstream in(text);
  UpstreamTables tables;
  SimulationInput input;
  readSimulationInput(in, std::cerr, input, [&](SimulationInput& r, std::ostream& out) {
    parameterSourceStep(r, tables, out);
  });
  std::exit(0);
}

[[noreturn]] void runAndExit(const fs::path& dir, const char* input) {
  fs::current_path(dir);
  const char* argv[] = {"vorlan", input};
  std::exit(runVorlan(2, argv, SimulatorSteps{}, std::cerr));
}

}  // namespace

TEST(SourceSteps, SiteFailuresEndTheRunBeforeTheSeed) {
  // Outside the sea table: the message names the speed; no seed echo before it.
  EXPECT_EXIT(readAndExit("3 3 4 4 4\n64 64 64\nsea\n5 40 2\n-1\n"), ExitedWithCode(1),
              literal("line specifying ParameterSource: sea\nNumerical Recipes run-time error...\n") +
                  "[^\n]*U0 = 5[^\n]*\n");

  const fs::path dir = freshDir("missing");
  writeText(dir / "t.inp",
            "3 3 4 4 4\n64 64 64\nterrain\nno_such_line.dat\n1\ntrue\nfalse\n0\n-1\na b c\n");
  EXPECT_EXIT(runAndExit(dir, "t.inp"), ExitedWithCode(1),
              literal("SpecType 0\n") + fatalReport("Could not open file (in ReadKestavLine)"));
}

// ---------------------------------------------------------------------------
// The terrain step

TEST(TerrainStep, RoughnessOnlyBuildsTheRoughnessTableAndClearsTheTerrainFlag) {
  SimulationInput input;
  input.source = ParameterSource::terrain;
  input.terrainFile = kHillFile;
  input.KESTAVHeightNo = 1;  // 40 m
  input.Terrain = false;
  input.Roughness = true;
  input.SpecType = 0;
  UpstreamTables tables;
  std::ostringstream echo;
  parameterSourceStep(input, tables, echo);

  EXPECT_TRUE(tables.hasRoughness);
  EXPECT_FALSE(tables.hasStretch);
  EXPECT_FALSE(terrainFlag(input));

  // Site: z = 80 m (the last row), z0 = 0.03 m, ustar = 0.5 m/s, so U0 from the
  // log law, and the land model on it.
  const LD z = 80.0L, z0 = LD(0.03f), ustar = 0.5L;
  const LD U0 = ustar / kKappa * std::log(z / z0);
  EXPECT_EQ(input.Gamma, 3.886f);
  EXPECT_NEAR(input.L, 0.590467 * 80, 1e-4);
  const LD alphaeps = kaimalAlphaeps(landFrictionVelocity(U0, z, z0), z);
  EXPECT_NEAR(input.alphaeps, double(alphaeps), 1e-5 * double(alphaeps))
      << "the derived level goes to the engines, not the table's";

  // Short memories (large kL) keep the local level (kappa z)^(4/3) (S0 + Sp[0])^2
  // with S0 = ustar / (kappa z) and Sp[0] = 0.03125, the file's shear at 40 m.
  const LD S0 = ustar / (kKappa * z);
  const LD local = std::pow(kKappa * z, 4.0L / 3.0L) * (S0 + 0.03125L) * (S0 + 0.03125L);
  EXPECT_NEAR(tables.energy[kKLGridSize - 1], double(local), 1e-5 * double(local));
  EXPECT_NEAR(roughnessAlphaeps(tables, 500.0f), double(1.7L * local), 2e-5 * double(local));
  EXPECT_NE(echo.str().find("filename " + kHillFile + "\n"), std::string::npos);
}

TEST(TerrainStep, StretchTablesFromTheLineInWindAxes) {
  SimulationInput input;
  input.source = ParameterSource::terrain;
  input.terrainFile = kHillFile;
  input.KESTAVHeightNo = 1;
  input.Terrain = true;
  input.Roughness = false;
  input.SpecType = 1;
  UpstreamTables tables;
  std::ostringstream echo;
  parameterSourceStep(input, tables, echo);
  EXPECT_TRUE(tables.hasStretch);
  EXPECT_FALSE(tables.hasRoughness);
  EXPECT_TRUE(terrainFlag(input));
  EXPECT_EQ(input.Gamma, 3.817f);

  // The same tables built straight from the file's values: with the wind from
  // 270 degrees the file's axes are the wind axes.
  const KestavLine k = readQuietly(kHillFile, 1);
  const int nH = k.nH, nP = k.nP;
  Matrix U = matrix(0, nH - 1, 0, nP - 1), Su = matrix(0, nH - 1, 0, nP - 1),
         Sv = matrix(0, nH - 1, 0, nP - 1);
  std::vector<float> S(nH), dist(nP);
  for (int j = 0; j < nP; ++j) dist[j] = k.positions[j].first - k.positions[0].first;
  for (int i = 0; i < nH; ++i) {
    S[i] = at(k.secondMatrices[i][0], 0, 2);
    for (int j = 0; j < nP; ++j) {
      U[i][j] = k.wind[i][j].x;
      Su[i][j] = at(k.firstMatrices[i][j], 0, 0);
      Sv[i][j] = at(k.firstMatrices[i][j], 1, 1);
    }
  }
  UpstreamTables direct;
  buildStretchTables(direct, 0.0f, 0.0f, 0.0f, 0.03f, 0.5f, 3.817f, 0.0f, nP, nH,
                     std::span<const float>(k.heights.data(), nH), 1, U, S, Su, Sv, dist);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < kKLGridSize; ++i)
      EXPECT_NEAR(tables.strain[c][i], direct.strain[c][i],
                  1e-9 + 1e-5 * std::fabs(direct.strain[c][i]))
          << "component " << c << " kL " << direct.kL[i];
}

// ---------------------------------------------------------------------------
// The examples, run through the driver with a stand-in engine

TEST(SourceSteps, ExamplesRunFromTheRepositoryRoot) {
  const fs::path root = examplesRoot("examples");
  std::string echo;

  const EngineView land = runWithStandInEngine(root, "examples/land.inp", echo);
  ASSERT_TRUE(land.called);
  EXPECT_FALSE(land.terrainFlag);
  EXPECT_NE(echo.find("\nSpecType 0\nGamma  3.886  L 23.6187  alphaeps 0.0906"), std::string::npos)
      << echo;
  const SummaryParameters ls = summaryParameters(echo);
  EXPECT_NEAR(ls.alphaeps,
              double(kaimalAlphaeps(landFrictionVelocity(10.0L, 40.0L, LD(0.05f)), 40.0L)),
              1e-5 * 0.0907);
  EXPECT_EQ(ls.alphaeps, shown(land.alphaeps)) << "the summary shows what the engine gets";
  EXPECT_TRUE(fs::exists(root / "land_u.bin"));

  // Sea with the ESDU table at U0 = 20 m/s, z = 60 m: between the table's
  // values at 40 m and 80 m.
  const EngineView sea = runWithStandInEngine(root, "examples/sea.inp", echo);
  ASSERT_TRUE(sea.called);
  EXPECT_NE(echo.find("\nSpecType 2\nGamma  "), std::string::npos) << echo;
  const SummaryParameters ss = summaryParameters(echo);
  EXPECT_EQ(ss.alphaeps, shown(sea.alphaeps));
  EXPECT_GT(ss.alphaeps, 0.0953978f);
  EXPECT_LT(ss.alphaeps, 0.156693f);
  EXPECT_GT(ss.L, 30.9057f);
  EXPECT_LT(ss.L, 32.5876f);
  EXPECT_GT(ss.Gamma, 4.4624f);
  EXPECT_LT(ss.Gamma, 4.5267f);

  const EngineView terrain = runWithStandInEngine(root, "examples/terrain.inp", echo);
  ASSERT_TRUE(terrain.called);
  EXPECT_TRUE(terrain.terrainFlag);
  EXPECT_TRUE(terrain.tables.hasStretch);
  EXPECT_TRUE(terrain.tables.hasRoughness);
  EXPECT_EQ(echo.find("\nSpecType 0\nGamma"), std::string::npos)
      << "the summary shows SpecType for land and sea only";
  EXPECT_NE(echo.find("filename examples/terrain_hill.dat\n0.5\n0.03\n270\n80\n"),
            std::string::npos)
      << echo;
  const SummaryParameters ts = summaryParameters(echo);
  const LD U0 = 0.5L / kKappa * std::log(80.0L / LD(0.03f));
  EXPECT_NEAR(ts.L, 47.2374, 1e-4);
  EXPECT_NEAR(ts.alphaeps, double(kaimalAlphaeps(landFrictionVelocity(U0, 80.0L, LD(0.03f)), 80.0L)),
              1e-5 * 0.037);
  EXPECT_EQ(ts.alphaeps, shown(terrain.alphaeps)) << "never replaced by the table's level";
}

TEST(SourceSteps, TerrainFalseGivesTheEnginesNoTerrainFlag) {
  const fs::path root = examplesRoot("roughness_only");
  writeText(root / "r.inp",
            "3 1 3 8 8 8\n64 64 128\nterrain\nexamples/terrain_hill.dat\n3\n"
            "False   roughness only\nTrue\n1\n-5\nw.bin\n");
  std::string echo;
  const EngineView v = runWithStandInEngine(root, "r.inp", echo);
  ASSERT_TRUE(v.called);
  EXPECT_FALSE(v.terrainFlag);
  EXPECT_FALSE(v.tables.hasStretch);
  EXPECT_TRUE(v.tables.hasRoughness);
  EXPECT_EQ(v.Gamma, 3.817f);
  EXPECT_NEAR(v.L, 0.78677 * 80, 1e-4);
  EXPECT_GT(v.alphaeps, 0.0f);
}
