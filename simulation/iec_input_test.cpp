// The iec parameter source in the simulator's parameter file.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "simulation/simulation_input.hpp"
#include "sources/iec.hpp"
#include "support/print_format.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

TEST(IecInput, DerivesTheModelWhileReadingAndSummarisesItLikeLandAndSea) {
  std::istringstream file("3 3 8 8 8\n100 50 50\niec\nB 10 50\n-3\n");
  std::ostringstream echo;
  SimulationInput in;
  UpstreamTables tables;
  int steps = 0;
  readSimulationInput(file, echo, in, tables,
                      [&](SimulationInput&, UpstreamTables&, std::ostream&) { ++steps; });
  EXPECT_EQ(steps, 0);  // derived in the reader, no site step
  EXPECT_EQ(echo.str(), "strlen  3  line specifying ParameterSource: iec\nseed -3\n");
  EXPECT_EQ(in.source, ParameterSource::iec);
  EXPECT_EQ(in.iec.category, 'B');
  // z_hub 50 m: Lambda_1 = 35 m, L = 28 m; sigma_1 = 0.14 (7.5 + 5.6) = 1.834 m/s.
  EXPECT_FLOAT_EQ(in.params.L, 28.0f);
  EXPECT_EQ(in.params.Gamma, 3.9f);
  const double sigmaIso = 0.55 * 1.834;
  EXPECT_NEAR(in.params.alphaeps, sigmaIso * sigmaIso / (0.688344 * std::cbrt(28.0 * 28.0)), 1e-6);

  in.fname[0] = "u.bin";
  in.fname[1] = "v.bin";
  in.fname[2] = "w.bin";
  std::ostringstream summary;
  printSummary(summary, in, limNormK(in));
  std::ostringstream parameters;
  parameters << "Gamma  3.9  L 28  alphaeps " << formatG6(in.params.alphaeps) << "\n";
  EXPECT_NE(summary.str().find("LMax    100 50 50 \n" + parameters.str()), std::string::npos)
      << summary.str();
}

TEST(IecInput, TheKeywordIsMatchedCaseSensitively) {
  const auto read = [](const std::string& text) {
    return testing::fatalMessage([&] {
      std::istringstream file(text);
      std::ostringstream echo;
      SimulationInput in;
      UpstreamTables tables;
      readSimulationInput(file, echo, in, tables, noSourceStep);
    });
  };
  // The value checks themselves are those of sources/iec; here the keyword, and
  // that a bad model ends the reading before the seed (and any file).
  EXPECT_EQ(read("1 1 1 8 100\nIEC\nC 10 50\n-3\n"),
            "ParameterSource has to be either basic, land, sea, terrain, or Kaimal1d (or 2D, or "
            "iec): line 2 holds 'IEC' where the keyword stands, alone on its line and spelt as "
            "here");
  EXPECT_EQ(read("1 1 1 8 100\niec\nA 11.4 1e-10\nnot-a-seed\n"),
            "The length scale L = 5.6e-11 m that z_hub = 1e-10 gives is below 0.001 m, the "
            "smallest the model takes");
}

}  // namespace
}  // namespace wind
