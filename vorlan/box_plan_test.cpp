// The box planner: its arithmetic at the edges (a time that is no
// power-of-two multiple of dt, a rotor that just fits), its refusals, and the
// parameter files it writes, read and run by vorlan itself.
#include "vorlan/box_plan.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support.hpp"
#include "vorlan/driver.hpp"

namespace wind {
namespace {

namespace fs = std::filesystem;
using testing::fatalMessage;

PlanRequest request(double V, double Z, double D, double T, double dt) {
  PlanRequest r;
  r.windSpeed = V;
  r.hubHeight = Z;
  r.rotorDiameter = D;
  r.time = T;
  r.dt = dt;
  r.turbulenceClass = "B";
  return r;
}

TEST(BoxPlan, AlongTheWindTheWholeTimeAtTheRequestedStepOrFiner) {
  // 600 s at 0.1 s is 6000 steps: 8192, a step of 600/8192 s.
  const BoxPlan p = planBox(request(11.4, 90, 126, 600, 0.1));
  EXPECT_EQ(p.N[0], 8192);
  EXPECT_EQ(p.LMax[0], 6840.0f);  // V T
  EXPECT_NEAR(p.timeStep, 600.0 / 8192, 1e-15);
  // 409.6 s at 0.1 s is exactly 4096 steps (in decimals; in binary a hair
  // more), 409.7 s a little more than 4096.
  EXPECT_EQ(planBox(request(10, 90, 126, 409.6, 0.1)).N[0], 4096);
  EXPECT_EQ(planBox(request(10, 90, 126, 409.7, 0.1)).N[0], 8192);
  // A step longer than the time still gives two steps.
  EXPECT_EQ(planBox(request(10, 90, 126, 3, 5)).N[0], 2);
  EXPECT_EQ(fatalMessage([] { planBox(request(10, 90, 126, 1e9, 0.1)); }),
            "--time 1e+09 s at --dt 0.1 s needs more than 2^30 steps: give a larger --dt or a "
            "shorter --time");
}

TEST(BoxPlan, TheRotorAndItsMarginFitTheGridsPointsAboveGround) {
  // 16 intervals or more across the diameter: 32 points for a margin up to
  // 15/16, 64 above it; the usable extent (N - 1) d, in the spacing of the
  // float written, never falls short of (1 + F) D.
  for (double D = 20.0; D < 260.0; D += 0.37) {
    const BoxPlan p = planBox(request(9, D, D, 60, 0.25));
    ASSERT_EQ(p.N[1], 32);
    ASSERT_GE(31 * (double(p.LMax[1]) / 32), 1.1 * D) << D;
    ASSERT_LT(31 * (double(p.LMax[1]) / 32), 1.1 * D * (1 + 1e-6)) << D;
  }
  PlanRequest wide = request(9, 300, 100, 60, 0.25);
  wide.margin = 1.0;
  EXPECT_EQ(planBox(wide).N[2], 64);
  // D = 100 m with 10 %: 110 m of rows centred on the hub need it above 55 m.
  EXPECT_GT(planBox(request(9, 55.001, 100, 60, 0.25)).gridBottom, 0.0);
  EXPECT_NE(fatalMessage([] { planBox(request(9, 55, 100, 60, 0.25)); })
                .find("not above ground: give a --margin below 0.1 "),
            std::string::npos);
  EXPECT_EQ(fatalMessage([] { planBox(request(9, 54, 100, 60, 0.25)); }),
            "The grid's lowest row would be at -1 m, not above ground: give a --margin below "
            "0.08 (the rotor and its margin must fit under twice the hub height) or a greater "
            "hub height");
  EXPECT_EQ(fatalMessage([] { planBox(request(9, 50, 100, 60, 0.25)); }),
            "The rotor (diameter 100 m) reaches the ground at the hub height 50 m: the hub must "
            "stand higher than 50 m");
}

TEST(BoxPlan, CommandLineNamesWhatIsMissingOrWrong) {
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
  PlanRequest both = request(9, 90, 100, 60, 0.25);
  both.roughness = 0.1;
  EXPECT_EQ(fatalMessage([&] { planBox(both); }),
            "--roughness: the iec source of --class takes no roughness length; leave one of them "
            "out");
  both.roughness.reset();
  both.turbulenceClass = "D";
  EXPECT_NE(fatalMessage([&] { planBox(both); }), "");
}

// The planned file, read and synthesised by vorlan: a valid parameter file
// with the iec source and, without --class, with the land source.
TEST(BoxPlan, WritesAParameterFileThatVorlanRuns) {
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
  EXPECT_EQ(testing::folderNames("."), (std::vector<std::string>{"box.inp", "box_u.bin",
                                                                 "box_u.bin.json", "box_v.bin",
                                                                 "box_w.bin"}));
  fs::current_path(cwd);
}

// A caller that knows the model (corvel-fit) plans with the basic source:
// the file states it as typed and vorlan runs it; an out-of-range model and
// a class or roughness beside it are refused.
TEST(BoxPlan, ABasicSourceFromACallerIsWrittenAsIs) {
  PlanRequest r = request(8.5, 40, 50, 16, 0.5);
  r.turbulenceClass.reset();
  r.basic = ModelParameters{0.0937f, 39.2f, 3.93f};
  const BoxPlan p = planBox(r);
  const std::string text = planParameterText(p);
  EXPECT_NE(text.find("\nbasic\n0.0937 39.2 3.93\n-1\n"), std::string::npos) << text;
  std::ostringstream words;
  printPlan(words, p);
  EXPECT_NE(words.str().find("the basic source: alphaeps 0.0937 m^(4/3) s^-2, L 39.2 m, Gamma 3.93"),
            std::string::npos);
  r.roughness = 0.1;
  EXPECT_EQ(fatalMessage([&] { planBox(r); }),
            "A plan with the basic source takes neither --class nor --roughness");
  r.roughness.reset();
  r.basic->L = 0.0001f;
  EXPECT_NE(fatalMessage([&] { planBox(r); }).find("is below 0.001 m"), std::string::npos);
}

}  // namespace
}  // namespace wind
