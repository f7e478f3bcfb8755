#include "vorlan/command_line.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "sources/site_steps.hpp"
#include "sources/upstream_tables.hpp"
#include "support/print_format.hpp"
#include "tensor/tensor_integrals.hpp"
#include "tests/support.hpp"

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

// The small example line.
const std::string kHillFile = std::string(WIND_SOURCE_DIR) + "/examples/terrain_hill.dat";

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
                               view.terrainFlag = siteTensorModel(in, &tables).Terrain;
                               view.alphaeps = in.params.alphaeps;
                               view.L = in.params.L;
                               view.Gamma = in.params.Gamma;
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
// Land and sea sites through the reader

namespace {

SimulationInput readWithSteps(const std::string& text, UpstreamTables& tables) {
  std::istringstream in(text);
  std::ostringstream echo;
  SimulationInput input;
  readSimulationInput(in, echo, input, tables, parameterSourceStep);
  return input;
}

}  // namespace

TEST(SourceSteps, LandSiteWorkedValues) {
  UpstreamTables tables;
  const LD ustar = landFrictionVelocity(10.0L, 40.0L, LD(0.05f));
  EXPECT_NEAR(double(ustar), 0.5777, 5e-5);

  const SimulationInput kaimal = readWithSteps("3 3 4 4 4\n64 64 64\nland\n10 40 0.05 0\n-1\n", tables);
  EXPECT_EQ(kaimal.params.Gamma, 3.886f);
  EXPECT_NEAR(kaimal.params.L, 23.62, 0.005);
  EXPECT_NEAR(kaimal.params.alphaeps, 0.09068, 5e-6);
  EXPECT_NEAR(kaimal.params.alphaeps, double(kaimalAlphaeps(ustar, 40.0L)), 1e-5 * 0.09068);

  const SimulationInput simiu = readWithSteps("3 3 4 4 4\n64 64 64\nland\n10 40 0.05 1\n-1\n", tables);
  EXPECT_EQ(simiu.params.Gamma, 3.817f);
  EXPECT_NEAR(simiu.params.L, 31.47, 0.005);
  EXPECT_NEAR(simiu.params.alphaeps, 0.08050, 5e-6);
  EXPECT_NEAR(simiu.params.alphaeps, double(simiuAlphaeps(ustar, 40.0L)), 1e-5 * 0.0805);

  EXPECT_FALSE(tables.hasRoughness || tables.hasStretch) << "land builds no tables";
  EXPECT_FALSE(siteTensorModel(kaimal, &tables).Terrain);
}

TEST(SourceSteps, SeaSiteWorkedValues) {
  UpstreamTables tables;
  const LD ustar = seaFrictionVelocity(10.0L, 40.0L);
  EXPECT_NEAR(double(ustar), 0.3115, 5e-5);

  const SimulationInput sea = readWithSteps("2 1 1 3 8 8\n64 64\nsea\n10 40 0\n-1\n", tables);
  EXPECT_EQ(sea.params.Gamma, 3.886f);
  EXPECT_NEAR(sea.params.L, 0.590467 * 40, 1e-5);
  EXPECT_NEAR(sea.params.alphaeps, 0.02636, 1e-5);
  EXPECT_NEAR(sea.params.alphaeps, double(kaimalAlphaeps(ustar, 40.0L)), 1e-5 * 0.02636);
  EXPECT_FALSE(siteTensorModel(sea, &tables).Terrain);
}

TEST(SourceSteps, BasicValuesStayAsRead) {
  UpstreamTables tables;
  const SimulationInput basic = readWithSteps("1 1 1 8\n64\nbasic\n0.1 30 3.9\n-1\n", tables);
  EXPECT_EQ(basic.params.alphaeps, 0.1f);
  EXPECT_EQ(basic.params.L, 30.0f);
  EXPECT_EQ(basic.params.Gamma, 3.9f);
}

namespace {

[[noreturn]] void readAndExit(const std::string& text) {
  std::istringstream in(text);
  UpstreamTables tables;
  SimulationInput input;
  readSimulationInput(in, std::cerr, input, tables, parameterSourceStep);
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
  EXPECT_FALSE(siteTensorModel(input, &tables).Terrain);

  // Site: z = 80 m (the last row), z0 = 0.03 m, ustar = 0.5 m/s, so U0 from the
  // log law, and the land model on it.
  const LD z = 80.0L, z0 = LD(0.03f), ustar = 0.5L;
  const LD U0 = ustar / kKappa * std::log(z / z0);
  EXPECT_EQ(input.params.Gamma, 3.886f);
  EXPECT_NEAR(input.params.L, 0.590467 * 80, 1e-4);
  const LD alphaeps = kaimalAlphaeps(landFrictionVelocity(U0, z, z0), z);
  EXPECT_NEAR(input.params.alphaeps, double(alphaeps), 1e-5 * double(alphaeps))
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
  EXPECT_TRUE(siteTensorModel(input, &tables).Terrain);
  EXPECT_EQ(input.params.Gamma, 3.817f);

  // With the wind from 270 degrees the file's axes are the wind axes up to the
  // rounding of the single-precision pi: the spectrum calculator's step, which
  // takes the file's elements as they are, gives nearly the same tables.
  SiteValues site = input;
  UpstreamTables fileAxes;
  terrainStep(site, TerrainAxes::file, fileAxes, echo);
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < kKLGridSize; ++i)
      EXPECT_NEAR(tables.strain[c][i], fileAxes.strain[c][i],
                  1e-9 + 1e-5 * std::fabs(fileAxes.strain[c][i]))
          << "component " << c << " kL " << fileAxes.kL[i];
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

namespace {

// The field of a terrain run with Roughness true follows the spectrum the
// spectrum calculator computes for the same input: the level alphaeps = 0,
// taken wave number by wave number from the roughness table. Along a line of
// the wind the periodogram over the one-point spectrum F11(k1) is Exp(1). The
// site's own alphaeps (the level echoed in the summary) gives a spectrum about
// ten times lower here, far outside the spread.
TEST(TerrainStep, RoughnessRunsFollowTheRoughnessTableLevel) {
  const int n1 = 512;
  const float l1 = 4096.0f;
  std::istringstream file("1 1 1\n" + std::to_string(n1) + "\n4096\nterrain\n" + kHillFile +
                          "\n2\nfalse\ntrue\n0\n-29\n");
  SimulationInput input;
  UpstreamTables tables;
  std::ostringstream echo;
  readSimulationInput(file, echo, input, tables, parameterSourceStep);
  input.fname[0] = "u.bin";
  std::ostringstream summary;
  printSummary(summary, input, limNormK(input));
  EXPECT_NE(summary.str().find("alphaeps of the tensor model: from the roughness table\n"),
            std::string::npos)
      << summary.str();

  FieldArrays fields = allocateFields(input);
  SynthesisContext context;
  synthesise(input, limNormK(input), tables, fields, context);

  const TensorModel calculator{.params = {.alphaeps = 0.0f,
                                          .L = input.params.L,
                                          .Gamma = input.params.Gamma},
                               .Terrain = false,
                               .tables = &tables};
  const TensorModel siteLevel{input.params, false, &tables};
  const double dk = double(kTwoPiF) / l1;
  const auto h = wind::testing::lineCoefficients(fields.line[0], n1);
  wind::testing::ExpSample power;
  double siteRatio = 0;
  for (int m = 1; m < n1 / 2; ++m) {
    const float k = static_cast<float>(m * dk);
    std::array<int, 2> pair{0, 0};
    const double F = phiIntk2k3(calculator, k, pair, 1e-3f);
    power.add(std::norm(h[m]) / (4 * dk * F));
    siteRatio += F / phiIntk2k3(siteLevel, k, pair, 1e-3f) / (n1 / 2 - 1);
  }
  wind::testing::expectExpOne(power, "u along the line, roughness-table level");
  EXPECT_GT(siteRatio, 2.0) << "the two levels must differ for the check to mean anything";
}

}  // namespace
