// corvel-fit's command line and one whole run (fit/command_line.hpp,
// fit/driver.hpp), with a stand-in for the box planner.
#include "fit/driver.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "fit/command_line.hpp"
#include "fit/model_spectra.hpp"
#include "support/print_format.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

FitCommand parse(std::vector<const char*> args) {
  args.insert(args.begin(), "corvel-fit");
  return parseFitCommandLine(static_cast<int>(args.size()), args.data());
}

std::string parseFailure(std::vector<const char*> args) {
  return testing::fatalMessage([&] { parse(args); });
}

TEST(FitCommandLine, ReadsEveryOptionInBothForms) {
  const FitCommand c =
      parse({"--segment=300", "--window",       "102.4",   "--detrend", "--frequency-range",
             "0.01:5",        "--skip-missing", "--bands", "8",         "--k-range=0.002:3",
             "--weights",     "1,1,0.5,0",      "--Gamma", "0",         "--L=40",
             "--start",       "0.1,30,3",       "--json",  "r.json",    "sonic.txt"});
  EXPECT_EQ(c.file, "sonic.txt");
  EXPECT_EQ(c.series.segment, 300);
  EXPECT_EQ(c.series.window, 102.4);
  EXPECT_TRUE(c.series.detrend);
  EXPECT_EQ(c.series.fMin, 0.01);
  EXPECT_EQ(c.series.fMax, 5);
  EXPECT_EQ(c.seriesOptionGiven, "--segment");
  EXPECT_TRUE(c.skipMissing);
  EXPECT_EQ(c.bands, 8);
  EXPECT_EQ(c.fit.kMin, 0.002);
  EXPECT_EQ(c.fit.weights, (std::array<double, 4>{1, 1, 0.5, 0}));
  EXPECT_EQ(c.fit.fixed[2], 0.0);
  EXPECT_EQ(c.fit.fixed[1], 40.0);
  EXPECT_FALSE(c.fit.fixed[0]);
  EXPECT_EQ(c.fit.start->L, 30.0f);
  EXPECT_EQ(c.json, "r.json");
  EXPECT_FALSE(c.plan);
  const FitCommand p = parse(
      {"s.txt", "--hub-height", "90", "--rotor-diameter", "126", "--time=600", "-o", "box.inp"});
  EXPECT_TRUE(p.plan);
  EXPECT_FALSE(p.windSpeed);
  EXPECT_EQ(p.output, "box.inp");
}

TEST(FitCommandLine, RefusesWhatItCannotUseNamingTheWord) {
  EXPECT_EQ(parseFailure({"s.txt", "--segments", "300"}),
            "Unknown option --segments (corvel-fit --help lists the options)");
  EXPECT_EQ(parseFailure({"s.txt", "--segment", "300", "--segment=600"}),
            "The option --segment is given twice");
  EXPECT_EQ(parseFailure({"s.txt", "--detrend", "--detrend"}),
            "The option --detrend is given twice");
  EXPECT_EQ(parseFailure({"s.txt", "--segment", "-3"}), "--segment: '-3' is not a positive number");
  EXPECT_EQ(parseFailure({"s.txt", "--k-range", "3:1"}),
            "--k-range: '3:1' is not a range A:B with 0 <= A < B");
  EXPECT_EQ(
      parseFailure({"s.txt", "--weights", "1,1,1"}),
      "--weights: '1,1,1' is not four weights U,V,W,UW of at least 0 (1,1,1,0 leaves uw out)");
  EXPECT_EQ(parseFailure({"s.txt", "--bands", "2.5"}),
            "--bands: '2.5' is not a whole number from 1 to 1000");
  EXPECT_EQ(parseFailure({"s.txt", "t.txt"}),
            "corvel-fit takes one file; 't.txt' is a second (the first is 's.txt')");
  EXPECT_EQ(parseFailure({"--segment", "300"}),
            "corvel-fit needs a series or spectra file (corvel-fit --help)");
  EXPECT_EQ(parseFailure({"s.txt", "--rotor-diameter", "126", "--time", "600"}),
            "A box plan needs --hub-height too (--hub-height, --rotor-diameter and --time, as "
            "vorlan-plan takes them)");
  EXPECT_EQ(parseFailure({"s.txt", "--wind-speed", "9"}),
            "--wind-speed goes with the box plan's --hub-height, --rotor-diameter and --time");
  EXPECT_EQ(parseFailure({"s.txt", "--json"}), "--json needs a value");
}

// A run in a fresh folder on a spectra file of the model; the planner stand-in
// records what it was asked.
struct FitRun {
  std::filesystem::path dir;
  std::string out;
  PlanInputs asked;
  bool planned = false;

  explicit FitRun(const std::string& name) : dir(testing::freshDir("fit_driver_" + name)) {}

  std::string spectra(const ModelParameters& p, bool flipUw = false) const {
    const ModelSpectra m(p);
    std::string t = "# the model\nk1 F11 F22 F33 F13 two-sided\n";
    for (int i = 0; i < 30; ++i) {
      const double k = std::pow(10.0, -2.8 + 0.1 * i);
      t += shortestText(k);
      for (SpectrumComponent c : {SpectrumComponent::u, SpectrumComponent::v, SpectrumComponent::w,
                                  SpectrumComponent::uw})
        t.append(" ").append(
            shortestText(m.spectrum(k, c) * (flipUw && c == SpectrumComponent::uw ? -1 : 1)));
      t += "\n";
    }
    const auto f = dir / "spectra.txt";
    testing::writeText(f, t);
    return f.string();
  }

  void operator()(std::vector<std::string> args) {
    std::vector<const char*> argv{"corvel-fit"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream o;
    const BoxPlanner planner = [this](const PlanInputs& p) {
      asked = p;
      planned = true;
      return PlanOutput{"the parameter file\n", "the plan\n"};
    };
    EXPECT_EQ(runCorvelFit(static_cast<int>(argv.size()), argv.data(), o, planner), 0);
    out = o.str();
  }
};

TEST(CorvelFit, ReportsTheFitWritesItsResultAndPlansTheBox) {
  FitRun run("whole");
  const std::string file = run.spectra({0.0837f, 41.3f, 2.7f});
  const std::string json = (run.dir / "r.json").string(), plan = (run.dir / "box.inp").string();
  run({file, "--json", json, "--wind-speed", "11.4", "--hub-height", "90", "--rotor-diameter",
       "126", "--time", "600", "-o", plan});
  // The report: parameters, their errors, the basic source, the plan.
  EXPECT_NE(run.out.find("alphaeps  0.0837 m^(4/3) s^-2  +- "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("L         41.3 m  +- "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("The basic source for vorlan (or corvel):\nbasic\n0.0837 41.3 2.7\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("the plan\n"), std::string::npos);
  ASSERT_TRUE(run.planned);
  EXPECT_EQ(run.asked.basic.alphaeps, 0.0837f);
  EXPECT_EQ(run.asked.basic.Gamma, 2.7f);
  EXPECT_EQ(run.asked.windSpeed, 11.4);
  EXPECT_EQ(run.asked.output, plan);
  EXPECT_EQ(testing::readText(plan), "the parameter file\n");
  const nlohmann::json j = nlohmann::json::parse(testing::readText(json));
  EXPECT_EQ(j["record"], "corvel-fit result");
  EXPECT_EQ(j["parameters"]["L"], 41.3);
  EXPECT_EQ(j["basic"], "basic\n0.0837 41.3 2.7\n");
  EXPECT_EQ(j["bands"]["k1"].size(), 30u);
  EXPECT_EQ(j["measured"]["uw"].size(), 30u);
  EXPECT_EQ(j["model_curve"]["k1"].size(), j["model_curve"]["w"].size());
  EXPECT_TRUE(j["segment_spread"].is_null());
  EXPECT_TRUE(j["wind_speed"].is_null());
}

TEST(CorvelFit, AFailedFitWritesNothingAndSaysWhatToTry) {
  FitRun run("failed");
  const std::string file = run.spectra({0.1f, 33.6f, 1.2f}, true);
  testing::writeText(run.dir / "r.json", "earlier\n");
  const std::string json = (run.dir / "r.json").string();
  EXPECT_EQ(testing::fatalMessage([&] {
              run({file, "--json", json});
            }).substr(0, 80),
            "The fit ends on the bound Gamma = 0 with the spectra pushing below it (alphaeps ");
  EXPECT_EQ(testing::readText(json), "earlier\n");
  EXPECT_EQ(testing::folderNames(run.dir), (std::vector<std::string>{"r.json", "spectra.txt"}));
  // Leaving uw out, as the message says, fits.
  run({file, "--json", json, "--weights", "1,1,1,0"});
  EXPECT_NE(testing::readText(json), "earlier\n");
}

TEST(CorvelFit, SeriesOptionsAreRefusedForSpectraAndAPlanNeedsAWindSpeed) {
  FitRun run("refused");
  const std::string file = run.spectra({0.1f, 33.6f, 3.9f});
  EXPECT_EQ(testing::fatalMessage([&] {
              run({file, "--detrend"});
            }),
            "--detrend applies to series; " + file + " holds spectra");
  EXPECT_EQ(testing::fatalMessage([&] {
              run({file, "--hub-height", "90", "--rotor-diameter", "126", "--time", "600"});
            }),
            "The box plan needs --wind-speed: " + file + " gives no mean wind speed");
  EXPECT_FALSE(run.planned);
}

}  // namespace
}  // namespace wind
