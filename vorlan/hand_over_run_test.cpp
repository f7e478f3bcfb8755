// vorlan's hand-over options end to end: which files a run writes, what its
// record says of them, and the refusals that come before any file exists.
#include "handover/hand_over.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <nlohmann/json.hpp>

#include "tests/support.hpp"
#include "vorlan/command_line.hpp"

namespace wind {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using testing::fatalMessage;
using testing::folderNames;
using testing::readText;
using testing::writeText;

// A small non-cubic iec box (V_hub 11.4 m/s, z_hub 90 m) and its names.
const char* const kIecBox = "3 3\n16 8 4\n64 30 9\niec\nA 11.4 90\n-1\nb_u.bin b_v.bin b_w.bin\n";

// Runs vorlan in dir; returns its echo.
std::string runIn(const fs::path& dir, std::vector<const char*> args) {
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  args.insert(args.begin(), "vorlan");
  std::ostringstream echo, listing;
  try {
    runVorlan(int(args.size()), args.data(), SimulatorSteps{}, echo, listing);
  } catch (...) {
    fs::current_path(old);
    throw;
  }
  fs::current_path(old);
  return echo.str();
}

json readJson(const fs::path& file) {
  std::ifstream in(file);
  return json::parse(in);
}

TEST(HandOver, WindFilesReplaceTheRawFilesAndTheRecordDescribesThem) {
  const fs::path dir = testing::freshDir("hand_over_files");
  writeText(dir / "b.inp", kIecBox);
  runIn(dir, {"b.inp", "--format", "bts", "--scale", "iec"});
  EXPECT_EQ(folderNames(dir),
            (std::vector<std::string>{"b.bts", "b.inp", "b_u.bin.json", "b_u.bin.summary.txt"}));
  // Header (70 bytes), the description, then 16 slices of 4 x 8 x 3 int16.
  const json r = readJson(dir / "b_u.bin.json");
  const std::string bts = readText(dir / "b.bts");
  std::int32_t n = 0;
  std::memcpy(&n, bts.data() + 66, 4);
  EXPECT_EQ(bts.size(), 70u + std::size_t(n) + 16u * 4u * 8u * 3u * 2u);
  EXPECT_TRUE(r["files"].empty());
  EXPECT_EQ(r["wind_file"]["path"], "b.bts");
  EXPECT_EQ(r["openfast"]["WindType"], 3);
  // Scaled to IEC's targets: sigma_1 = 0.16 (0.75 V_hub + 5.6), 0.8 and 0.5 of it.
  const double sigma1 = 0.16 * (0.75 * 11.4 + 5.6), ratio[] = {1.0, 0.8, 0.5};
  EXPECT_TRUE(r["scaling"]["applied"].get<bool>());
  for (int c = 0; c < 3; ++c)
    EXPECT_NEAR(r["wind_file"]["components"][c]["std"].get<double>(), ratio[c] * sigma1,
                1e-6 * sigma1) << c;

  // .wnd and .sum per seed, each seed's files named after its box.
  runIn(dir, {"b.inp", "--format=wnd", "--seeds", "-2:-3"});
  for (const char* f : {"b_seed2.wnd", "b_seed2.sum", "b_seed3.wnd", "b_u_seed2.bin.json"})
    EXPECT_TRUE(fs::exists(dir / f)) << f;
  EXPECT_FALSE(fs::exists(dir / "b_u_seed2.bin"));
}

TEST(HandOver, TheFilledInflowWindInputNamesTheFilesBesideIt) {
  const fs::path dir = testing::freshDir("hand_over_template");
  fs::create_directories(dir / "out");
  writeText(dir / "b.inp", std::string(kIecBox).replace(std::string(kIecBox).find("b_u.bin"), 23,
                                                          "out/b_u.bin out/b_v.bin out/w.bin"));
  writeText(dir / "IfW.dat", testing::kInflowWindTemplate);
  runIn(dir, {"b.inp", "--openfast-template", "IfW.dat"});
  const std::string filled = readText(dir / "out/b_u_IfW.dat");
  EXPECT_NE(filled.find("5   WindType"), std::string::npos) << filled;
  EXPECT_NE(filled.find("\"b_v.bin\"    FileName_v"), std::string::npos) << filled;
  EXPECT_NE(filled.find("90       RefHt_Grid"), std::string::npos) << filled;
  EXPECT_EQ(readJson(dir / "out/b_u.bin.json")["openfast"]["template"], "out/b_u_IfW.dat");
  EXPECT_EQ(readText(dir / "IfW.dat"), testing::kInflowWindTemplate);

  // A template without the section's keys fails before any file is written.
  writeText(dir / "bad.dat", "          1   WindType       - switch\n");
  fs::remove_all(dir / "out");
  fs::create_directories(dir / "out");
  EXPECT_NE(fatalMessage([&] { runIn(dir, {"b.inp", "--openfast-template", "bad.dat"}); })
                .find("bad.dat"),
            std::string::npos);
  EXPECT_TRUE(folderNames(dir / "out").empty());
}

// The template keeps ScaleMethod 1: InflowWind would rescale the raw box, so
// the run says so on the echo and in the record; --scale iec sets it to 0.
TEST(HandOver, ATemplatesScalingOfTheRawBoxIsWarnedOf) {
  const fs::path dir = testing::freshDir("hand_over_scaling");
  writeText(dir / "b.inp", kIecBox);
  writeText(dir / "IfW.dat", testing::kInflowWindTemplate);
  const std::string warning =
      "The InflowWind template IfW.dat keeps ScaleMethod 1 (line 22): "
      "InflowWind will multiply u, v and w by these factors and remove each grid point's time "
      "mean of u, so the box it reads is not the box written; set ScaleMethod to 0 in the "
      "template to read the box as written";
  EXPECT_NE(runIn(dir, {"b.inp", "--openfast-template", "IfW.dat"}).find("Warning: " + warning + "\n"),
            std::string::npos);
  EXPECT_EQ(readJson(dir / "b_u.bin.json")["openfast"]["warning"], warning);
  EXPECT_EQ(runIn(dir, {"b.inp", "--openfast-template", "IfW.dat", "--scale", "iec"})
                .find("Warning"),
            std::string::npos);
  EXPECT_TRUE(readJson(dir / "b_u.bin.json")["openfast"]["warning"].is_null());
}

TEST(HandOver, OptionsThatCannotBeMetAreRefusedBeforeAnyFile) {
  const fs::path dir = testing::freshDir("hand_over_refusals");
  writeText(dir / "b.inp", kIecBox);
  writeText(dir / "basic.inp", "3 3\n16 8 4\n64 30 9\nbasic\n0.1 30 3.9\n-1\nq_u q_v q_w\n");
  writeText(dir / "plane.inp", "2 3\n3\n16 8\n64 30\nbasic\n0.1 30 3.9\n-1\np_u p_v p_w\n");
  writeText(dir / "low.inp", "3 3\n16 8 16\n64 30 300\niec\nA 11.4 90\n-1\nl_u l_v l_w\n");
  writeText(dir / "IfW.dat", testing::kInflowWindTemplate);
  writeText(dir / "null.inp", "3 3\n16 8 4\n64 30 9\niec\nA 11.4 90\n-1\n/dev/null n_v n_w\n");
  writeText(dir / "clash.inp", "3 3\n16 8 4\n64 30 9\niec\nA 11.4 90\n-1\nc_u c_u_IfW.dat c_w\n");
  const std::vector<std::vector<const char*>> refused = {
      {"plane.inp", "--format", "bts"},
      {"b.inp", "--format", "bts", "--layout", "inflowwind"},
      {"basic.inp", "--scale", "iec"},
      {"basic.inp", "--format", "wnd"},
      {"low.inp", "--format", "bts"},
      {"b.inp", "--wind-speed", "8"},
      // The profile reaches InflowWind with raw files too (URef).
      {"b.inp", "--profile", "log:95", "--grid-bottom", "86", "--openfast-template", "IfW.dat"},
      {"null.inp", "--format", "bts"},
      {"null.inp", "--seeds", "-1"},
      {"clash.inp", "--openfast-template", "IfW.dat"},
      {"basic.inp", "--wind-speed", "1e39", "--hub-height", "90", "--format", "bts"},
  };
  const std::vector<std::string> before = folderNames(dir);
  for (const auto& args : refused) {
    EXPECT_FALSE(fatalMessage([&] { runIn(dir, args); }).empty()) << args[1];
    EXPECT_EQ(folderNames(dir), before) << args[1];
  }
  // The grid reaching the ground names what would fit.
  EXPECT_NE(fatalMessage([&] { runIn(dir, {"low.inp", "--format", "bts"}); }).find("N3"),
            std::string::npos);
  EXPECT_EQ(fatalMessage([&] {
              runIn(dir, {"b.inp", "--profile", "log:95", "--grid-bottom", "86",
                          "--openfast-template", "IfW.dat"});
            }),
            "--profile log:95: the roughness length must lie below the grid's lowest row (86 m) "
            "and the hub");
  EXPECT_EQ(fatalMessage([&] { runIn(dir, {"null.inp", "--format", "bts"}); }),
            "The output /dev/null is no file (a device or a pipe), and the .bts file "
            "/dev/null.bts would be named after it: give a file name in its place");
  EXPECT_EQ(fatalMessage([&] { runIn(dir, {"null.inp", "--seeds", "-1"}); }),
            "The output /dev/null is no file (a device or a pipe), and each seed's file "
            "(/dev/null_seed1 for seed -1) would be named after it: give a file name in its "
            "place");
  EXPECT_EQ(fatalMessage([&] { runIn(dir, {"clash.inp", "--openfast-template", "IfW.dat"}); }),
            "The output file c_u_IfW.dat is also the filled InflowWind input c_u_IfW.dat, named "
            "after the first output and the template IfW.dat: rename that output or the "
            "template");
  // A device as the first output of a plain run is written as before.
  EXPECT_EQ(fatalMessage([&] { runIn(dir, {"null.inp"}); }), "");
  EXPECT_TRUE(fs::exists(dir / "n_v"));
}

TEST(HandOver, TheShippedInputTheHubSeriesAndTheSummaryGoBesideTheBox) {
  const fs::path dir = testing::freshDir("hand_over_shipped");
  fs::create_directories(dir / "out");
  writeText(dir / "b.inp", std::string(kIecBox).replace(std::string(kIecBox).find("b_u.bin"), 23,
                                                          "out/b_u.bin out/b_v.bin out/b_w.bin"));
  const std::string echo = runIn(
      dir, {"b.inp", "--format", "wnd", "--openfast-input", "--hub-series", "--hub-on-row"});
  EXPECT_EQ(folderNames(dir / "out"),
            (std::vector<std::string>{"b.hh", "b.sum", "b.wnd", "b_InflowWind.dat", "b_u.bin.json",
                                      "b_u.bin.summary.txt"}));
  // The complete input names the files beside it, and the hub.
  const std::string input = readText(dir / "out/b_InflowWind.dat");
  for (const char* line : {"          4   WindType", "\"b\"           FileNameRoot",
                           "\"b.hh\"        FileName_Uni", "         90   RefHt_Uni",
                           "         90   WindVziList"})
    EXPECT_NE(input.find(line), std::string::npos) << line;
  // 16 steps of dx / U = 4 / 11.4 s and the line that closes the period.
  std::istringstream hh(readText(dir / "out/b.hh"));
  int steps = 0;
  double last = -1.0;
  for (std::string line; std::getline(hh, line);)
    if (line[0] != '!') {
      std::istringstream(line) >> last;
      ++steps;
    }
  EXPECT_EQ(steps, 17);
  EXPECT_NEAR(last, 16 * 4 / 11.4, 1e-6);
  // The summary on the echo is the file beside the record; with the hub on
  // row N3/2 = 2 of 4, dz 2.25 m: rows from 87.75 m.
  const std::string summary = readText(dir / "out/b_u.bin.summary.txt");
  EXPECT_EQ(echo.substr(echo.size() - summary.size()), summary);
  for (const char* part :
       {"vorlan run summary: b.inp, seed -1\n", "rows from 87.75 to 94.5 m above ground; hub at 90 m, on row 2 (of 4)",
        "dt 0.3509 s, Nyquist frequency 1.425 Hz; usable 5.614 s (16 steps)",
        "sigma IEC", "profile power:0.2 (in the file)"})
    EXPECT_NE(summary.find(part), std::string::npos) << part << "\n" << summary;
  // The coherence at the one frequency the 5.6 s box resolves, 0.2 Hz, a
  // quarter and half the width apart (7.5 m, 15 m): IEC's exponential model
  // exp(-12 sqrt((f r / 11.4)^2 + (0.12 r / 340.2)^2)), worked out by hand.
  const std::size_t coherence = summary.find("  coherence");
  ASSERT_NE(coherence, std::string::npos) << summary;
  EXPECT_NE(summary.find("f (Hz)    0.2\n    7.5 m     model     ", coherence), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("IEC       0.2061\n    15 m      model", coherence), std::string::npos);
  EXPECT_NE(summary.find("IEC       0.04249\n", coherence), std::string::npos);
  const json r = readJson(dir / "out/b_u.bin.json");
  EXPECT_EQ(r["placement"]["grid_bottom"], 87.75);
  EXPECT_EQ(r["openfast"]["template"], "out/b_InflowWind.dat");

  // A summary file that is not one is not replaced.
  writeText(dir / "out/b_u.bin.summary.txt", "my notes\n");
  EXPECT_EQ(fatalMessage([&] { runIn(dir, {"b.inp", "--format", "wnd"}); }),
            "The run summary would replace out/b_u.bin.summary.txt, which is not a vorlan run "
            "summary");
}

TEST(HandOver, TheNewOptionsRefuseWhatTheyCannotMeet) {
  const fs::path dir = testing::freshDir("hand_over_new_refusals");
  writeText(dir / "b.inp", kIecBox);
  writeText(dir / "IfW.dat", testing::kInflowWindTemplate);
  writeText(dir / "basic.inp", "3 3\n16 8 4\n64 30 9\nbasic\n0.1 30 3.9\n-1\nq_u q_v q_w\n");
  writeText(dir / "two.inp", "3 2\n1 3\n16 8 4\n64 30 9\niec\nA 11.4 90\n-1\nt_u t_w\n");
  const std::vector<std::string> before = folderNames(dir);
  const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"b.inp", "--openfast-input", "--openfast-template", "IfW.dat"},
       "--openfast-template and --openfast-input both write an InflowWind input: give one of "
       "them"},
      {{"basic.inp", "--hub-series"}, "--hub-series needs --wind-speed for the basic source"},
      {{"two.inp", "--hub-series"},
       "--hub-series needs a three-dimensional field of three components (fieldDim 3, nComp 3)"},
      {{"b.inp", "--hub-on-row", "--grid-bottom", "80"},
       "--hub-on-row and --grid-bottom both place the grid's rows: give one of them"},
      {{"basic.inp", "--hub-on-row"},
       "--hub-on-row: the basic source gives no wind speed and hub height; give --wind-speed and "
       "--hub-height"},
      {{"basic.inp", "--openfast-input"},
       "--openfast-input: the raw files need the reference height and URef: give --wind-speed "
       "and --hub-height"},
  };
  for (const auto& [args, message] : cases) {
    EXPECT_EQ(fatalMessage([&] { runIn(dir, args); }), message) << args[1];
    EXPECT_EQ(folderNames(dir), before) << args[1];
  }
}

}  // namespace
}  // namespace wind
