#include "corvel/driver.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "sources/site_params.hpp"
#include "sources/terrain_file.hpp"
#include "tensor/tensor_integrals.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

using ::testing::ExitedWithCode;
using wind::testing::fatalReport;
using wind::testing::vonKarmanF11;
using wind::testing::vonKarmanF22;
using wind::testing::literal;

const std::string kHillFile = std::string(WIND_SOURCE_DIR) + "/examples/terrain_hill.dat";

// Writes an input file into the build tree, named after the running test, and
// returns its path.
std::string inputFile(const std::string& text) {
  static int count = 0;
  const auto dir = std::filesystem::path(WIND_BINARY_DIR) / "corvel_test_inputs";
  std::filesystem::create_directories(dir);
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const auto path = dir / (std::string(info->test_suite_name()) + "." + info->name() + "." +
                           std::to_string(++count) + ".inp");
  std::ofstream(path) << text;
  return path.string();
}

struct RunOutput {
  std::string out;
  std::string echo;
};

RunOutput run(const std::string& text) {
  const std::string path = inputFile(text);
  const char* argv[] = {"corvel", path.c_str()};
  std::ostringstream out, echo;
  EXPECT_EQ(runCorvel(2, argv, out, echo), 0);
  return {out.str(), echo.str()};
}

// Runs in a death test: the console echo goes to standard error.
void runToFailure(const std::string& text) {
  const std::string path = inputFile(text);
  const char* argv[] = {"corvel", path.c_str()};
  std::ostringstream out;
  runCorvel(2, argv, out, std::cerr);
}

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> result;
  std::istringstream in(s);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

std::vector<std::string> tokens(const std::string& line) {
  std::vector<std::string> result;
  std::istringstream in(line);
  for (std::string t; in >> t;) result.push_back(t);
  return result;
}

// Isotropic von Karman model: the variance of one component,
// (1/3) alphaeps L^(2/3) B(5/2, 1/3).
double vonKarmanVariance(double alphaeps, double L) {
  return alphaeps * std::pow(L, 2.0 / 3.0) * std::beta(2.5, 1.0 / 3.0) / 3;
}

constexpr const char* kIsotropic = "basic\n0.1 33.6 0\n";

// ---------------------------------------------------------------- command line

TEST(CorvelCommandLine, DefaultFileWithoutArgumentsAndTheFirstArgumentOtherwise) {
  const char* one[] = {"corvel"};
  EXPECT_EQ(corvelInputFileName(1, one), "c:/Temp/corvel.inp");
  const char* two[] = {"corvel", "a.inp"};
  EXPECT_EQ(corvelInputFileName(2, two), "a.inp");
  const char* three[] = {"corvel", "a.inp", "b.inp"};
  EXPECT_EQ(corvelInputFileName(3, three), "a.inp");
}

TEST(CorvelCommandLineDeathTest, AnInputThatCannotBeOpenedIsReportedByNameAndReason) {
  const auto opening = [](const char* name) {
    const char* argv[] = {"corvel", name};
    std::ostringstream out, echo;
    runCorvel(2, argv, out, echo);
  };
  EXPECT_EXIT(opening("/nonexistent/dir/corvel.inp"), ExitedWithCode(1),
              fatalReport("Could not open input file (in corvel): /nonexistent/dir/corvel.inp: "
                          "No such file or directory"));
  EXPECT_EXIT(opening("/"), ExitedWithCode(1),
              fatalReport("Could not open input file (in corvel): /: Is a directory"));
}

// ---------------------------------------------------------------- spec

TEST(CorvelSpec, OneLineForAOnePointRangeAndNoneForAnEmptyRange) {
  const RunOutput one = run(std::string(kIsotropic) + "spec\n1\n1 1\n1 1 0.5\n");
  const auto l = lines(one.out);
  ASSERT_EQ(l.size(), 1u) << one.out;
  EXPECT_EQ(tokens(l[0]).size(), 2u);
  EXPECT_EQ(l[0].substr(0, 4), "1   ");

  // log10(0.3) and log10(2) round up to float: the single point stays.
  for (const char* k : {"0.3", "2"}) {
    const auto l2 = lines(run(std::string(kIsotropic) + "spec\n1\n1 1\n" + k + " " + k + " 1\n").out);
    ASSERT_EQ(l2.size(), 1u) << k;
    EXPECT_EQ(tokens(l2[0])[0], k);
  }

  const RunOutput none = run(std::string(kIsotropic) + "spec\n1\n1 1\n2 1 0.5\n");
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.echo, "0 0\n");
  // An empty range needs no step at all, nor positive wave numbers.
  EXPECT_EQ(run(std::string(kIsotropic) + "spec\n1\n1 1\n2 1 0\n").out, "");
  EXPECT_EQ(run(std::string(kIsotropic) + "spec\n1\n1 1\n1 -1 0.5\n").out, "");
  EXPECT_EQ(run(std::string(kIsotropic) + "spec\n1\n1 1\n0 -1 0.5\n").out, "");
}

TEST(CorvelSpec, TwoPairsGiveThreeNumbersPerDecade) {
  const RunOutput r = run(std::string(kIsotropic) + "spec\n2\n1 1\n1 2\n0.01 1 1\n");
  const auto l = lines(r.out);
  ASSERT_EQ(l.size(), 3u) << r.out;
  const double k1[] = {0.01, 0.1, 1};
  for (int n = 0; n < 3; ++n) {
    const auto t = tokens(l[n]);
    ASSERT_EQ(t.size(), 3u) << l[n];
    EXPECT_EQ(std::stod(t[0]), k1[n]);
    const double F11 = vonKarmanF11(0.1, 33.6, k1[n]);
    EXPECT_NEAR(std::stod(t[1]), F11, 1e-3 * F11) << l[n];
    EXPECT_EQ(t[2], "0");  // u and v are uncorrelated at one point
    // The columns are separated by three blanks.
    EXPECT_NE(l[n].find(t[0] + "   " + t[1] + "   " + t[2]), std::string::npos) << l[n];
  }
}

TEST(CorvelSpec, TheRequestedLastWaveNumberIsPrintedDespiteRounding) {
  // Two decades in tenths: 10^(-2 + n/10) for n = 0 .. 20, 21 lines ending at
  // kmax = 1, although the float sum of twenty steps passes log10(1) = 0.
  const auto l = lines(run(std::string(kIsotropic) + "spec\n1\n1 1\n0.01 1 0.1\n").out);
  ASSERT_EQ(l.size(), 21u);
  EXPECT_EQ(tokens(l.front())[0], "0.01");
  EXPECT_NEAR(std::stod(tokens(l[10])[0]), 0.1, 1e-6);
  EXPECT_EQ(tokens(l.back())[0], "1");

  // An end between two grid points still ends on the point below it.
  const auto below = lines(run(std::string(kIsotropic) + "spec\n1\n1 1\n0.01 0.99 0.1\n").out);
  ASSERT_EQ(below.size(), 20u);
  EXPECT_NEAR(std::stod(tokens(below.back())[0]), std::pow(10.0, -0.1), 1e-5);
}

TEST(CorvelSpecDeathTest, AWaveNumberRangeThatCouldNotEndIsRefused) {
  const std::string head = std::string(kIsotropic) + "spec\n1\n1 1\n";
  EXPECT_EXIT(runToFailure(head + "0.1 1 0\n"), ExitedWithCode(1),
              fatalReport("step has to be positive when kmin <= kmax"));
  EXPECT_EXIT(runToFailure(head + "1 1 -0.5\n"), ExitedWithCode(1),
              fatalReport("step has to be positive when kmin <= kmax"));
  EXPECT_EXIT(runToFailure(head + "1e6 1e7 1e-9\n"), ExitedWithCode(1),
              fatalReport("step is too small to advance the wave number from kmin to kmax"));
  // log10(0) = -inf never grows; a negative kmin has no logarithm.
  EXPECT_EXIT(runToFailure(head + "0 1 0.5\n"), ExitedWithCode(1),
              fatalReport("The wave number kmin has to be positive"));
  EXPECT_EXIT(runToFailure(head + "-1 1 0.5\n"), ExitedWithCode(1),
              fatalReport("The wave number kmin has to be positive"));
  EXPECT_EXIT(runToFailure(head + "0.01 1\n"), ExitedWithCode(1),
              fatalReport("Could not read step from the input file: the file ends after line 6"));
}

TEST(CorvelSpec, ANegativeGammaIsTheMirrorImageOfThePositiveOne) {
  // Shear of the opposite sign (the wind weakening with height) is the
  // reflection z -> -z of the sheared model: the same u and w spectra, the uw
  // co-spectrum with the opposite sign.
  const auto spectra = [](const char* Gamma) {
    const RunOutput r =
        run("basic\n0.1 33.6 " + std::string(Gamma) + "\nspec\n3\n1 1\n3 3\n1 3\n0.1 0.1 1\n");
    const auto l = lines(r.out);
    EXPECT_EQ(l.size(), 1u) << r.out;
    return tokens(l.at(0));
  };
  const auto up = spectra("3.9");
  const auto down = spectra("-3.9");
  ASSERT_EQ(up.size(), 4u);
  ASSERT_EQ(down.size(), 4u);
  EXPECT_EQ(down[1], up[1]);
  EXPECT_EQ(down[2], up[2]);
  EXPECT_LT(std::stod(up[3]), 0.0);
  EXPECT_EQ(down[3], up[3].substr(1));
}

// ---------------------------------------------------------------- xspec

TEST(CorvelXspec, FourNumbersPerPair) {
  // Zero separation: the co-spectrum is the auto-spectrum, the quad-spectrum 0.
  const RunOutput r =
      run(std::string(kIsotropic) + "xspec\n2\n1 1\n2 3\n0.1 0.1 1\n0 0\n");
  const auto l = lines(r.out);
  ASSERT_EQ(l.size(), 1u) << r.out;
  const auto t = tokens(l[0]);
  ASSERT_EQ(t.size(), 9u) << l[0];
  EXPECT_EQ(t[0], "0.1");
  const double F11 = vonKarmanF11(0.1, 33.6, 0.1);
  EXPECT_NEAR(std::stod(t[1]), F11, 3e-3 * F11);
  EXPECT_EQ(t[2], t[1]);
  EXPECT_EQ(t[3], t[1]);
  EXPECT_EQ(t[4], "0");
  // v and w: the two lateral spectra, no co- or quad-spectrum without shear.
  const double F22 = vonKarmanF22(0.1, 33.6, 0.1);
  EXPECT_NEAR(std::stod(t[5]), F22, 3e-3 * F22);
  EXPECT_NEAR(std::stod(t[6]), F22, 3e-3 * F22);
  EXPECT_EQ(t[7], "0");
  EXPECT_EQ(t[8], "0");
  EXPECT_NE(l[0].find(t[4] + "   " + t[5]), std::string::npos) << l[0];
}

// ---------------------------------------------------------------- sigma2

TEST(CorvelSigma2, OneLinePerPairAndNoWaveNumberRange) {
  // The file ends after the pairs: a wave-number range would be a missing value.
  const RunOutput r = run(std::string(kIsotropic) + "sigma2\n2\n1 1\n3 3\n");
  const auto l = lines(r.out);
  ASSERT_EQ(l.size(), 2u) << r.out;
  const double expected = vonKarmanVariance(0.1, 33.6);
  for (const std::string& line : l) {
    ASSERT_EQ(tokens(line).size(), 1u) << line;
    EXPECT_NEAR(std::stod(line), expected, 1e-3 * expected);
  }
  EXPECT_EQ(r.echo, "0 0\n2 2\n");
}

// An iec box of z_hub = 1 m has L = 0.56 m, below what the quarter-sphere
// quadrature resolves for its w variance: the run ends before the first line,
// with the basic source that has the same variances (they go as
// alphaeps L^(2/3)).
TEST(CorvelSigma2, APairThatCannotBeIntegratedEndsTheRunBeforeAnyLine) {
  const std::string path = inputFile("iec\nA 11.4 1\nsigma2\n4\n1 1\n2 2\n3 3\n1 3\n");
  const char* argv[] = {"corvel", path.c_str()};
  std::ostringstream out, echo;
  EXPECT_EQ(testing::fatalMessage([&] { runCorvel(2, argv, out, echo); }),
            "The variance of the pair 3 3 cannot be integrated (its quadrature does not "
            "converge) for L = 0.56 m and Gamma = 3.9: the variances are alphaeps L^(2/3) times "
            "numbers set by Gamma alone, and the basic source 0.233306 30 3.9 (alphaeps L "
            "Gamma) gives the same ones, as does any z_hub of a few metres or more; nothing was "
            "printed");
  EXPECT_EQ(out.str(), "");
  // That basic source: the variances of the iec box of z_hub = 90 m, digit for digit.
  EXPECT_EQ(run("basic\n0.233306 30 3.9\nsigma2\n4\n1 1\n2 2\n3 3\n1 3\n").out,
            run("iec\nA 11.4 90\nsigma2\n4\n1 1\n2 2\n3 3\n1 3\n").out);
}

TEST(CorvelSigma2DeathTest, OnlyTheEvenPairsAreComputed) {
  EXPECT_EXIT(runToFailure(std::string(kIsotropic) + "sigma2\n2\n1 1\n1 2\n"), ExitedWithCode(1),
              fatalReport("sigma2 only implemented for components 00 11 22 and 02"));
}

// ---------------------------------------------------------------- reading

TEST(CorvelInputDeathTest, PairsAreCheckedAndEchoedZeroBased) {
  const std::string head = std::string(kIsotropic) + "spec\n";
  const std::string msg = "components has to be either 1, 2 or 3.";
  EXPECT_EXIT(runToFailure(head + "1\n0 1\n"), ExitedWithCode(1), fatalReport(msg));
  EXPECT_EXIT(runToFailure(head + "1\n1 4\n"), ExitedWithCode(1), fatalReport(msg));
  // The first pair is echoed before the second one fails.
  EXPECT_EXIT(runToFailure(head + "2\n1 3\n3 0\n"), ExitedWithCode(1),
              literal("0 2\n") + fatalReport(msg));
  const std::string count = "The number of pairs has to be between 1 and 10";
  EXPECT_EXIT(runToFailure(head + "0\n"), ExitedWithCode(1), fatalReport(count));
  EXPECT_EXIT(runToFailure(head + "11\n"), ExitedWithCode(1), fatalReport(count));
}

TEST(CorvelInput, TenPairsFitAndPrefixedIntegersAreAccepted) {
  std::string text = std::string(kIsotropic) + "spec\n0xA\n";
  for (int p = 0; p < 10; ++p) text += "1 03\n";
  const RunOutput r = run(text + "2 1 1\n");
  EXPECT_EQ(r.out, "");
  std::string echo;
  for (int p = 0; p < 10; ++p) echo += "0 2\n";
  EXPECT_EQ(r.echo, echo);
}

TEST(CorvelInputDeathTest, KeywordsAndSourceValuesAreChecked) {
  EXPECT_EXIT(runToFailure("\nbasic\n0.1 33.6 3.9\nspec\n1\n1 1\n1 1 1\n"), ExitedWithCode(1),
              fatalReport("ParameterSource has to be either basic, land, sea or terrain"));
  EXPECT_EXIT(runToFailure("Basic\n0.1 33.6 3.9\n"), ExitedWithCode(1),
              fatalReport("ParameterSource has to be either basic, land, sea or terrain"));
  // A byte-order mark before the keyword, as editors write UTF-8, is skipped.
  EXPECT_EXIT(runToFailure("\xEF\xBB\xBF" "basic\n0.1 33.6 3.9\nspec\n1\n1 1\n"),
              ExitedWithCode(1),
              fatalReport("Could not read kmin from the input file: the file ends after line 5"));
  EXPECT_EXIT(runToFailure(std::string(kIsotropic) + "Spec\n"), ExitedWithCode(1),
              fatalReport("CalculationResult has to be either spec, xspec or sigma2"));
  EXPECT_EXIT(runToFailure("land\n20 40 0.03 3\n"), ExitedWithCode(1),
              fatalReport("The Spectrum type should be 0, 1, or 2 corresponding to Kaimal, "
                          "Simiu or ESDU"));
  EXPECT_EXIT(runToFailure("sea\n25 60 -1\n"), ExitedWithCode(1),
              fatalReport("The Spectrum type should be 0, 1, or 2 corresponding to Kaimal, "
                          "Simiu or ESDU"));
  EXPECT_EXIT(runToFailure("basic\n0 33.6 3.9\n"), ExitedWithCode(1),
              fatalReport("The spectral level alphaeps has to be positive"));
  EXPECT_EXIT(runToFailure("basic\n0.1 -33.6 3.9\n"), ExitedWithCode(1),
              fatalReport("The length scale L has to be positive"));
  EXPECT_EXIT(runToFailure("basic\n0.1 33.6\n"), ExitedWithCode(1),
              fatalReport("Could not read Gamma from the input file: the file ends after line 2"));
}

TEST(CorvelInputDeathTest, TerrainWordsAreBooleansAndOneOfThemIsTrue) {
  const std::string head = "terrain\n" + kHillFile + "\n2\n";
  EXPECT_EXIT(runToFailure(head + "yes false 0\n"), ExitedWithCode(1),
              literal("KESTAVHeightNo 2\nyes\n") +
                  fatalReport("Input should be either 'true' or 'false'."));
  EXPECT_EXIT(runToFailure(head + "true 0 0\n"), ExitedWithCode(1),
              literal("0\n") + fatalReport("Input should be either 'true' or 'false'."));
  EXPECT_EXIT(
      runToFailure(head + "False false 0\n"), ExitedWithCode(1),
      fatalReport("Error in input file: At least one of Terrain and Roughness has to be true"));
  EXPECT_EXIT(runToFailure(head + "true True 5\n"), ExitedWithCode(1),
              fatalReport("The Spectrum type should be 0, 1, or 2 corresponding to Kaimal, "
                          "Simiu or ESDU"));
}

// ---------------------------------------------------------------- terrain

TEST(CorvelTerrain, PrintsTheAlongWindSpeedAtTheFirstPointAndHeight) {
  // An empty wave-number range leaves the terrain line as the only output: the
  // first item of the file's first row has the wind (7.262, 0, 0.0001075).
  const RunOutput r =
      run("terrain\n" + kHillFile + "\n1\nTrue\nfalse\n0\nspec\n1\n1 1\n1 0.1 1\n");
  EXPECT_EQ(r.out, "7.262\n");
  EXPECT_EQ(r.echo.substr(0, 17), "KESTAVHeightNo 1\n");
}

TEST(CorvelTerrain, TheRoughnessOptionTakesTheLevelFromTheTable) {
  // Far in the inertial range (k L above 100) the roughness table holds its
  // last entry. There the memory is short, so the level is the local one,
  // 1.7 (0.4 z)^(4/3) (S0 + Sp)^2 with S0 = ustar / (0.4 z) at the site height z
  // and Sp the shear of the chosen row (0.125 at the first point of row 1). The
  // spectrum must be that of this constant level, not of the site's alphaeps.
  const float k1 = 10.0f;
  const RunOutput r = run("terrain\n" + kHillFile +
                          "\n1\nfalse\ntrue\n0\nspec\n1\n1 1\n10 10 1\n");
  const auto l = lines(r.out);
  ASSERT_EQ(l.size(), 2u) << r.out;

  std::ostringstream quiet;
  const KestavLine hill = ReadKestavLine(kHillFile, 0, quiet);
  const ModelParameters site = checkedLandParams(hill.site.U0, hill.site.z, hill.site.z0, 0);
  const float L = site.L, Gamma = site.Gamma;
  ASSERT_GT(double(k1) * L, 100.0);
  const double kz = 0.4 * hill.site.z;
  const double S0 = hill.site.ustar / kz;
  const float level = static_cast<float>(1.7 * std::pow(kz, 4.0 / 3.0) * (S0 + 0.125) * (S0 + 0.125));
  std::array<int, 2> uu{0, 0};
  const double expected = phiIntk2k3({level, L, Gamma}, k1, uu, kCorvelTol);
  const double withSiteLevel = phiIntk2k3({site}, k1, uu, kCorvelTol);
  const auto t = tokens(l[1]);
  ASSERT_EQ(t.size(), 2u);
  EXPECT_NEAR(std::stod(t[1]), expected, 1e-3 * expected);
  EXPECT_GT(std::fabs(withSiteLevel / expected - 1), 0.1);  // the two levels differ
}

}  // namespace
}  // namespace wind
