// vorlan-plan's command line, and the parameter files it writes, read and run
// by vorlan itself.
#include "vorlan/plan_command_line.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support.hpp"
#include "vorlan/command_line.hpp"

namespace wind {
namespace {

namespace fs = std::filesystem;
using testing::fatalMessage;

TEST(PlanCommandLine, NamesWhatIsMissingOrWrong) {
  const auto parse = [](std::vector<const char*> args) {
    args.insert(args.begin(), "vorlan-plan");
    return parsePlanCommandLine(int(args.size()), args.data());
  };
  const PlanRequest r = parse({"--wind-speed=8", "--hub-height", "70", "--rotor-diameter", "80",
                               "--time", "120", "--margin", "0", "-o", "x/y.inp"});
  EXPECT_EQ(r.windSpeed, 8.0);
  EXPECT_EQ(r.margin, 0.0);
  EXPECT_EQ(r.output, "x/y.inp");
  EXPECT_FALSE(r.turbulenceClass);
  EXPECT_EQ(fatalMessage([&] { parse({"--wind-speed", "8", "--hub-height", "70", "--time", "1"}); }),
            "vorlan-plan needs --rotor-diameter (see vorlan-plan --help)");
  EXPECT_EQ(fatalMessage([&] { parse({"--speed", "8"}); }),
            "vorlan-plan: unknown option '--speed' (see vorlan-plan --help)");
  EXPECT_EQ(fatalMessage([&] { parse({"--dt", "-0.1"}); }), "--dt: '-0.1' is not a positive number");
  EXPECT_EQ(fatalMessage([&] { parse({"--time"}); }), "--time needs a value");
}

// An option once; --margin zero in any spelling.
TEST(PlanCommandLine, OptionsOnceAndMarginsFromZero) {
  const auto parse = [](std::vector<const char*> args) {
    args.insert(args.begin(), "vorlan-plan");
    return parsePlanCommandLine(int(args.size()), args.data());
  };
  const std::vector<const char*> need = {"--wind-speed", "8", "--hub-height", "70",
                                         "--rotor-diameter", "80", "--time", "120"};
  for (const char* zero : {"0", "0.0", "0e5", "-0"}) {
    std::vector<const char*> a = need;
    a.insert(a.end(), {"--margin", zero});
    EXPECT_EQ(parse(a).margin, 0.0) << zero;
    EXPECT_FALSE(std::signbit(parse(a).margin)) << zero;
  }
  std::vector<const char*> twice = need;
  twice.insert(twice.end(), {"--time=60"});
  EXPECT_EQ(fatalMessage([&] { parse(twice); }),
            "vorlan-plan: the option --time is given twice; give it once");
  EXPECT_EQ(fatalMessage([&] { parse({"--margin", "-0.1"}); }),
            "--margin: '-0.1' is not a margin (zero or a positive fraction of the rotor "
            "diameter, 0.1 for 10 %)");
}

// The planned file, read and synthesised by vorlan: a valid parameter file
// with the iec source and, without --class, with the land source.
TEST(PlanCommandLine, WritesAParameterFileThatVorlanRuns) {
  const fs::path dir = testing::freshDir("box_plan");
  const fs::path cwd = fs::current_path();
  fs::current_path(dir);
  // 32 steps of 0.5 s; the plan program itself writes the file.
  std::vector<const char*> args = {"vorlan-plan", "--wind-speed", "8.5", "--hub-height", "40",
                                   "--rotor-diameter", "50", "--time", "16", "--dt", "0.5",
                                   "-o", "box.inp", "--class", "B"};
  for (const bool iec : {true, false}) {
    std::ostringstream printed;
    ASSERT_EQ(runVorlanPlan(int(args.size()) - (iec ? 0 : 2), args.data(), printed), 0);
    const std::string text = testing::readText("box.inp");
    EXPECT_NE(text.find(iec ? "\niec\nB 8.5 40\n" : "\nland\n8.5 40 0.03 0\n"), std::string::npos)
        << text;
    const char* argv[] = {"vorlan", "box.inp"};
    std::ostringstream echo, listing;
    EXPECT_EQ(runVorlan(2, argv, SimulatorSteps{}, echo, listing), 0);
    EXPECT_EQ(fs::file_size("box_w.bin"), 4u * 32u * 32u * 32u);
  }
  // The usual permissions of a new file (the temporary's are not narrower).
  std::ofstream("plain.txt") << "x";
  EXPECT_EQ(fs::status("box.inp").permissions(), fs::status("plain.txt").permissions());
  fs::remove("plain.txt");
  // A file that cannot be written leaves nothing: neither it nor a temporary.
  args[12] = "missing/plan.inp";
  EXPECT_EQ(fatalMessage([&] {
              std::ostringstream printed;
              runVorlanPlan(int(args.size()), args.data(), printed);
            }),
            "Could not open parameter file missing/plan.inp: No such file or directory");
  EXPECT_EQ(testing::folderNames("."),
            (std::vector<std::string>{"box.inp", "box_u.bin", "box_u.bin.json",
                                      "box_u.bin.summary.txt", "box_v.bin", "box_w.bin"}));
  fs::current_path(cwd);
}

}  // namespace
}  // namespace wind
