// Constrained boxes end to end: vorlan with --constraints writes a box that
// holds the series where each layout's reader looks, and says so in its
// record; a refused constraint file leaves no output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>
#include <nlohmann/json.hpp>

#include "tests/support.hpp"
#include "vorlan/command_line.hpp"

using namespace wind;
using ::testing::ExitedWithCode;
namespace fs = std::filesystem;

namespace {

using wind::testing::rows;

fs::path freshDir(const std::string& name) {
  return wind::testing::freshDir("vorlan_constraints_" + name);
}

[[noreturn]] void runIn(const fs::path& dir, std::vector<const char*> args) {
  if (chdir(dir.c_str()) != 0) std::exit(99);
  args.insert(args.begin(), "vorlan");
  std::exit(runVorlan(int(args.size()), args.data(), SimulatorSteps{}, std::cerr));
}

}  // namespace

// A whole run on the real engine (a box small enough for one thread, as a
// forked test needs): the written box holds the series (means
// removed) at the grid point (j, k) = (3, 5), sample n in the plane that the
// layout's reader sees at t = n dt, row 3 in the classic layout and row
// N2 + 1 - 3 = 6 in the inflowwind one; the record says so.
TEST(ConstraintFile, TheWrittenBoxHoldsTheSeriesWhereEachLayoutsReaderLooks) {
  const fs::path dir = freshDir("run");
  wind::testing::writeText(dir / "box.inp",
                           "3 3 32 8 8\n32 28 28\nbasic\n0.1 30 3.9\n-3\nu.bin v.bin w.bin\n");
  std::vector<double> data;
  for (int n = 0; n < 32; ++n) data.push_back(9.0 + std::sin(0.3 * n) + 0.4 * std::cos(1.7 * n));
  wind::testing::writeText(
      dir / "mast.txt", rows("time w(-5.25,31.75) u(-5.25,31.75)", 32, 0.0, 0.5, 2,
                             [&](double t, int c) { return (c + 1) * data[std::size_t(t / 0.5)]; }));
  double mean = 0.0;
  for (double v : data) mean += v / 32;
  for (const char* layout : {"classic", "inflowwind"}) {
    EXPECT_EXIT(runIn(dir, {"box.inp", "--constraints", "mast.txt", "--wind-speed", "2",
                            "--hub-height", "30", "--layout", layout}),
                ExitedWithCode(0), "Constraints: largest \\|box - data\\| [0-9.e-]+ m/s; no nugget");
    const bool iw = std::string(layout) == "inflowwind";
    const std::vector<float> u = wind::testing::readFloats(dir / "u.bin");
    const std::vector<float> w = wind::testing::readFloats(dir / "w.bin");
    const int row = iw ? 6 : 3;
    for (int n = 0; n < 32; ++n) {
      const int plane = iw ? n + 1 : (32 - n) % 32 + 1;
      const std::size_t at = (std::size_t(plane - 1) * 8 + std::size_t(row - 1)) * 8 + 4;
      EXPECT_NEAR(w[at], data[std::size_t(n)] - mean, 1e-5) << layout << ", sample " << n;
      EXPECT_NEAR(u[at], 2.0 * (data[std::size_t(n)] - mean), 1e-5) << layout << ", sample " << n;
    }
    const nlohmann::json record = nlohmann::json::parse(std::ifstream(dir / "u.bin.json"));
    const nlohmann::json& c = record["constraints"];
    EXPECT_EQ(c["file"], "mast.txt");
    EXPECT_EQ(c["series"][0]["name"], "w(-5.25,31.75)");
    EXPECT_EQ(c["series"][0]["grid_point"], nlohmann::json::array({row, 5})) << layout;
    EXPECT_NEAR(c["series"][1]["mean_removed"].get<double>(), 2.0 * mean, 1e-12);
    EXPECT_LT(c["largest_difference"].get<double>(), 1e-5);
    EXPECT_EQ(c["resampling"], "none");
    EXPECT_EQ(c["placement"]["grid_bottom"], 17.75);
    EXPECT_EQ(c["placement"]["reference_height"], 30.0);
    EXPECT_EQ(c["nugget"]["wave_numbers"], 0);
  }
  // A refused file leaves no output behind.
  for (const char* f : {"u.bin", "v.bin", "w.bin", "u.bin.json"}) fs::remove(dir / f);
  wind::testing::writeText(dir / "bad.txt", "time u(0,30)\n0 1\n0.5 nan\n");
  EXPECT_EXIT(runIn(dir, {"box.inp", "--constraints", "bad.txt", "--wind-speed", "2",
                          "--hub-height", "30"}),
              ExitedWithCode(1),
              wind::testing::fatalReport(
                  "Constraint file bad.txt, line 3, column u(0,30): 'nan' is not a finite number"));
  EXPECT_FALSE(fs::exists(dir / "u.bin"));
}
