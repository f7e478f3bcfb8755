// The box planner: its arithmetic at the edges (a time that is no
// power-of-two multiple of dt, a rotor that just fits) and its refusals.
#include "handover/box_plan.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "handover/placement.hpp"
#include "support/print_format.hpp"
#include "tests/support.hpp"

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

TEST(BoxPlan, AClassTakesNoRoughnessAndMustBeKnown) {
  PlanRequest both = request(9, 90, 100, 60, 0.25);
  both.roughness = 0.1;
  EXPECT_EQ(fatalMessage([&] { planBox(both); }),
            "--roughness: the iec source of --class takes no roughness length; leave one of them "
            "out");
  both.roughness.reset();
  both.turbulenceClass = "D";
  EXPECT_NE(fatalMessage([&] { planBox(both); }), "");
}

TEST(BoxPlan, WithTheHubOnARowTheRotorFitsTheRowsBelowTheHub) {
  // Row N/2 at the hub leaves N/2 - 1 intervals below it: (N - 2) d >= (1 + F) D,
  // and the lowest row is where vorlan --hub-on-row puts it.
  for (double D = 20.0; D < 200.0; D += 0.71) {
    PlanRequest r = request(9, D, D, 60, 0.25);
    r.hubOnRow = true;
    const BoxPlan p = planBox(r);
    const double d = double(p.LMax[2]) / p.N[2];
    ASSERT_EQ(p.N[2], 32);
    ASSERT_GE((p.N[2] / 2 - 1) * d, 1.1 * D / 2) << D;
    ASSERT_LT((p.N[2] / 2 - 1) * d, 1.1 * D / 2 * (1 + 1e-6)) << D;
    const BoxGrid grid{p.N[0], p.N[1], p.N[2], Vector3(p.LMax[0], p.LMax[1], p.LMax[2])};
    // vorlan reads the hub height as the decimal the file holds.
    const double hub = shortestDecimal(static_cast<float>(D));
    ASSERT_EQ(p.gridBottom, placeGridHubOnRow(grid, WindAtHub{9.0, hub}).gridBottom) << D;
    ASSERT_NEAR(p.gridTop - p.gridBottom, 31 * d, 1e-9) << D;
  }
}

TEST(BoxPlan, ATablePlansEverySpeedAloneAndNamesItsRows) {
  PlanRequest r = request(0, 90, 126, 600, 0.1);
  r.speeds = {6, 11.4};
  r.seeds = {-1, -12};
  r.table = "cases";
  const TablePlan t = planTable(r);
  ASSERT_EQ(t.plans.size(), 2u);
  // The same grid and time step; the length is each speed's V T.
  EXPECT_EQ(t.plans[0].N, t.plans[1].N);
  EXPECT_EQ(t.plans[0].LMax[1], t.plans[1].LMax[1]);
  EXPECT_EQ(t.plans[0].LMax[0], 3600.0f);
  EXPECT_EQ(t.plans[1].LMax[0], 6840.0f);
  EXPECT_EQ(t.plans[1].timeStep, t.plans[0].timeStep);
  std::vector<std::string> names;
  for (const TableRow& row : t.rows) names.push_back(row.name);
  EXPECT_EQ(names, (std::vector<std::string>{"v6_s1", "v6_s12", "v11.4_s1", "v11.4_s12"}));
  // A row's file: its seed, its speed, its outputs named after it.
  const std::string text = planParameterText(t.plans[1], t.rows[3].name, t.rows[3].seed);
  EXPECT_NE(text.find("\niec\nB 11.4 90\n-12\nv11.4_s12_u.bin\nv11.4_s12_v.bin\nv11.4_s12_w.bin\n"),
            std::string::npos)
      << text;
  std::ostringstream summary;
  printTable(summary, t);
  for (const char* part : {"Table of 4 rows in cases: 2 wind speeds x 2 seeds (-1, -12)",
                           "8192 x 32 x 32 points", "6840 x 143.07097 x 143.07097",
                           "for the table"})
    EXPECT_NE(summary.str().find(part), std::string::npos) << part << "\n" << summary.str();
  EXPECT_EQ(tableRowName(0.1, -2147483648L), "v0.1_s2147483648");
}

// Each of these plans ran into a failure of vorlan's (an integral, a root, a
// model out of range, a profile below the lowest row): the planner now checks
// its values as vorlan does and refuses them, naming what to change.
TEST(BoxPlan, WhatThePlannerWritesVorlanRuns) {
  const auto refusal = [](double V, double Z, double D, const char* cls, double z0 = 0.0) {
    PlanRequest r = request(V, Z, D, 600, 0.1);
    if (cls == nullptr) r.turbulenceClass.reset();
    else r.turbulenceClass = cls;
    if (z0 > 0.0) r.roughness = z0;
    return fatalMessage([&] { planBox(r); });
  };
  EXPECT_EQ(refusal(11.4, 90, 126, "1e-30"),
            "The spectral level alphaeps = 0 that Iref = 1e-30 gives has to be a positive finite "
            "number");
  EXPECT_EQ(refusal(11.4, 90, 1e-30, "A"),
            "The box across the wind and up, 1.13548e-30 m for a rotor of 1e-30 m and its "
            "margin, is below 0.001 m, the smallest box vorlan takes: give the rotor diameter "
            "in metres");
  EXPECT_EQ(refusal(1e-30, 90, 126, "A"),
            "The box along the wind, V T = 6e-28 m, is below 0.001 m, the smallest box vorlan "
            "takes: give a longer --time or a greater --wind-speed");
  EXPECT_NE(refusal(11.4, 90, 126, nullptr, 89).find("over z0 = 89 m cannot be found"),
            std::string::npos);
  EXPECT_NE(refusal(1e30, 90, 126, nullptr).find("U0 = 1e+30 m/s at z = 90 m"),
            std::string::npos);
  EXPECT_EQ(refusal(11.4, 90, 1, "A"),
            "The box (6840 m along the wind, 1.135484 m across and up) is 6023.86 times longer "
            "than it is wide, and vorlan cannot integrate its cells at k1 = 0.000918594 rad/m: "
            "give a shorter --time or a greater --rotor-diameter or --margin");
  // Land, hub 69.31 m, rotor 126 m: the lowest row at 0.01 m, below the
  // default z0 = 0.03 m of the log profile vorlan adds to a .bts.
  EXPECT_EQ(refusal(11.4, 69.31, 126, nullptr),
            "The grid's lowest row would be at 0.00999957 m, not above the roughness length "
            "0.03 m that vorlan's log profile (--format bts or wnd) starts from: give a --margin "
            "below 0.0996825, a smaller --roughness or a greater hub height");
  EXPECT_EQ(refusal(11.4, 69.31, 126, "A"), "");  // iec: a power-law profile
}

// The output names are the stem of -o: one with white space would be read
// by vorlan as two names, the folder does not go into them.
TEST(BoxPlan, OutputNamesWithoutWhiteSpace) {
  BoxPlan p = planBox(request(9, 90, 100, 60, 0.25));
  p.request.output = "cases/my plan.inp";
  EXPECT_EQ(fatalMessage([&] { planParameterText(p); }),
            "-o cases/my plan.inp: the output names are made from 'my plan' (my plan_u.bin, "
            "...), and a parameter file cannot hold a name with white space (vorlan would read "
            "it as two names): give -o a name without it");
  p.request.output = "my cases/plan.inp";
  EXPECT_NE(planParameterText(p).find("\nplan_u.bin\n"), std::string::npos);
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
