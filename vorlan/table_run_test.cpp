// A load-case table from one planner command to what InflowWind reads: every
// row planned by vorlan-plan --table, run by vorlan in its own folder with the
// options the planner prints, and then read as InflowWind reads it (the filled
// input, the .bts it names, the hub-height series of its uniform wind).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/inflowwind_reading.hpp"
#include "tests/support.hpp"
#include "vorlan/command_line.hpp"
#include "vorlan/plan_command_line.hpp"

namespace wind {
namespace {

namespace fs = std::filesystem;
using testing::BtsReading;
using testing::fatalMessage;
using testing::inflowWindInputValue;
using testing::readText;

// Runs fn in dir, coming back whatever happens.
template <class F>
void inFolder(const fs::path& dir, F&& fn) {
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  try {
    fn();
  } catch (...) {
    fs::current_path(old);
    throw;
  }
  fs::current_path(old);
}

std::string plan(std::vector<const char*> args) {
  args.insert(args.begin(), "vorlan-plan");
  std::ostringstream out;
  runVorlanPlan(int(args.size()), args.data(), out);
  return out.str();
}

// The hub-height file's data lines: 8 numbers each.
std::vector<std::vector<double>> uniformWind(const std::string& text) {
  std::vector<std::vector<double>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '!') continue;
    std::istringstream words(line);
    std::vector<double> row;
    for (double x; words >> x;) row.push_back(x);
    EXPECT_EQ(row.size(), 8u) << line;
    rows.push_back(row);
  }
  return rows;
}

TEST(Table, EveryRowIsWhatInflowWindReads) {
  const fs::path dir = testing::freshDir("load_case_table");
  // 2 speeds x 2 seeds, 32 steps of 0.5 s, a 40 m rotor at 40 m with the hub
  // on a row; the rows are run with the options the planner prints.
  std::string printed;
  inFolder(dir, [&] {
    printed = plan({"--speeds", "8,11.4", "--seeds", "-1,-2", "--hub-height", "40",
                    "--rotor-diameter", "40", "--time", "16", "--dt", "0.5", "--class", "B",
                    "--hub-on-row", "--table", "cases"});
  });
  const std::string options = "--format bts --openfast-input --hub-series --hub-on-row";
  EXPECT_NE(printed.find("run_parallel.sh cases -- " + options), std::string::npos) << printed;
  EXPECT_EQ(readText(dir / "cases/table.txt"), "v8_s1\nv8_s2\nv11.4_s1\nv11.4_s2\n");
  EXPECT_NE(readText(dir / "cases/plan.txt").find("Table of 4 rows"), std::string::npos);

  const std::map<std::string, double> speed = {
      {"v8_s1", 8}, {"v8_s2", 8}, {"v11.4_s1", 11.4}, {"v11.4_s2", 11.4}};
  std::map<std::string, std::string> bodies;
  for (const auto& [row, U] : speed) {
    SCOPED_TRACE(row);
    const fs::path folder = dir / "cases" / row;
    inFolder(folder, [&] {
      const char* argv[] = {"vorlan",           "box.inp",      "--format", "bts",
                            "--openfast-input", "--hub-series", "--hub-on-row"};
      std::ostringstream echo, listing;
      runVorlan(7, argv, SimulatorSteps{}, echo, listing);
    });
    // InflowWind: its input, then the file its WindType names, relative to
    // the input's folder.
    const std::string input = readText(folder / (row + "_InflowWind.dat"));
    ASSERT_EQ(inflowWindInputValue(input, 0, "WindType"), "3");
    const std::string btsName = inflowWindInputValue(input, 3, "FileName_BTS");
    EXPECT_EQ(btsName, row + ".bts") << "named after the row";
    const BtsReading bts(readText(folder / btsName));
    bodies[row] = bts.data.b.substr(bts.body);
    EXPECT_TRUE(bts.periodic);
    EXPECT_EQ(bts.nSteps, 32);
    EXPECT_EQ(bts.ny, 32);
    EXPECT_NEAR(bts.dt, 0.5, 1e-6);
    EXPECT_NEAR(bts.U, U, 1e-5);
    EXPECT_FLOAT_EQ(bts.hub, 40.0f);
    // Row 16 at the hub, the rotor and its 10 % margin within the rows and columns.
    EXPECT_NEAR(bts.zBottom + 15 * bts.dz, 40.0, 1e-4);
    EXPECT_GE(15 * bts.dz, 22.0 - 1e-4);
    EXPECT_GE((bts.ny - 1) * bts.dy / 2, 22.0 - 1e-4);
    EXPECT_GT(bts.zBottom, 0.0);
    // The output point is the hub, inside the grid.
    EXPECT_EQ(std::stod(inflowWindInputValue(input, 0, "WindVziList")), 40.0);

    // The uniform wind of the same input: its series is what the full field
    // gives at the hub, the mean of the two middle columns on the hub's row.
    EXPECT_EQ(std::stod(inflowWindInputValue(input, 2, "RefHt_Uni")), 40.0);
    const auto hh = uniformWind(readText(folder / inflowWindInputValue(input, 2, "FileName_Uni")));
    ASSERT_EQ(hh.size(), 33u);
    double worst[3] = {0, 0, 0};
    for (const std::vector<double>& line : hh) {
      const double t = line[0];
      double c[3];
      for (int k = 0; k < 3; ++k)
        c[k] = 0.5 * (bts.at(k, t, 0.0, -bts.dy / 2, 40.0) + bts.at(k, t, 0.0, bts.dy / 2, 40.0));
      const double radians = line[2] * 3.14159265358979323846 / 180.0;
      worst[0] = std::max(worst[0], std::abs(line[1] * std::cos(radians) - c[0]));
      worst[1] = std::max(worst[1], std::abs(line[1] * std::sin(radians) - c[1]));
      worst[2] = std::max(worst[2], std::abs(line[3] - c[2]));
      EXPECT_EQ(line[5], 0.2) << "the power-law profile of the .bts";
    }
    for (int k = 0; k < 3; ++k) EXPECT_LE(worst[k], 1.0 / bts.slope[k]) << "component " << k;
    EXPECT_EQ(hh.front()[1], hh.back()[1]) << "the last line closes the period";
  }
  // Each row its own box: the seeds differ, and the speeds.
  EXPECT_NE(bodies["v8_s1"], bodies["v8_s2"]);
  EXPECT_NE(bodies["v8_s1"], bodies["v11.4_s1"]);

  // The rows can be gathered in one folder: no two share a file name.
  std::map<std::string, std::string> owner;
  for (const auto& [row, U] : speed)
    for (const auto& entry : fs::directory_iterator(dir / "cases" / row)) {
      const std::string name = entry.path().filename().string();
      if (name == "box.inp") continue;
      EXPECT_TRUE(owner.emplace(name, row).second) << name << " in " << row << " and " << owner[name];
    }
}

TEST(Table, RefusedBeforeAnyFolderNamingWhatToChange) {
  const fs::path dir = testing::freshDir("load_case_table_refused");
  const std::vector<const char*> site = {"--hub-height", "90", "--rotor-diameter", "126", "--time",
                                         "600", "--table", "t"};
  const auto refused = [&](std::vector<const char*> args) {
    args.insert(args.end(), site.begin(), site.end());
    std::string message;
    inFolder(dir, [&] { message = fatalMessage([&] { plan(args); }); });
    EXPECT_FALSE(fs::exists(dir / "t")) << message;
    return message;
  };
  EXPECT_EQ(refused({"--speeds", "8,x", "--seeds", "-1"}), "--speeds: 'x' is not a positive number");
  EXPECT_EQ(refused({"--speeds", "8,8.0", "--seeds", "-1"}), "--speeds: 8 m/s is listed twice");
  EXPECT_EQ(refused({"--speeds", "8", "--seeds", "-2,-1:-3"}),
            "--seeds: the seed -2 comes twice in '-2,-1:-3': list each seed once");
  EXPECT_EQ(refused({"--speeds", "8", "--seeds", "1"}),
            "--seeds: 1 is not a seed (a negative integer, at least -2147483648)");
  EXPECT_EQ(refused({"--speeds", "8", "--seeds", "-1", "--wind-speed", "8"}),
            "--wind-speed: a table (--table) takes its speeds from --speeds and writes its rows "
            "into its folder; leave --wind-speed out");
  EXPECT_EQ(refused({"--seeds", "-1"}), "vorlan-plan needs --speeds (see vorlan-plan --help)");
  // A speed whose land site cannot be planned is named.
  EXPECT_NE(refused({"--speeds", "8,1e9", "--seeds", "-1"}), "");
  std::string message;
  inFolder(dir, [&] {
    message = fatalMessage([&] {
      plan({"--speeds", "8", "--seeds", "-1", "--hub-height", "90", "--rotor-diameter", "126",
            "--time", "600", "--wind-speed", "8"});
    });
  });
  EXPECT_EQ(message,
            "--speeds plans a table: give --table DIR, or plan one box with --wind-speed");
}

}  // namespace
}  // namespace wind
