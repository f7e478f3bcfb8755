// The iec parameter source in the spectrum calculator's parameter file.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "corvel/spectrum_input.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

std::string read(const std::string& text, SpectrumInput& input) {
  return testing::fatalMessage([&] {
    std::istringstream in(text);
    std::ostringstream out, echo;
    UpstreamTables tables;
    readSpectrumInput(in, out, echo, input, tables);
  });
}

TEST(CorvelIec, ReadsTheCategoryAndDerivesTheModel) {
  SpectrumInput in;
  ASSERT_EQ(read("iec\n0.18 9 30\nsigma2\n1\n1 1\n", in), "");
  EXPECT_EQ(in.source, SpectrumSource::iec);
  EXPECT_EQ(in.iec.category, 0);
  EXPECT_FLOAT_EQ(in.iec.Iref, 0.18f);
  // z_hub 30 m: Lambda_1 = 21 m, L = 16.8 m; sigma_1 = 0.18 (6.75 + 5.6) = 2.223 m/s.
  EXPECT_FLOAT_EQ(in.params.L, 16.8f);
  EXPECT_EQ(in.params.Gamma, 3.9f);
  const double sigmaIso = 0.55 * 0.18 * (0.75 * 9 + 5.6);
  EXPECT_NEAR(in.params.alphaeps, sigmaIso * sigmaIso / (0.688344 * std::cbrt(16.8 * 16.8)), 1e-6);
}

TEST(CorvelIec, ModelAndRangeAreRefusedBeforeAnyResult) {
  const auto refusal = [](const std::string& text) {
    std::ostringstream out;
    const std::string message = testing::fatalMessage([&] {
      std::istringstream in(text);
      std::ostringstream echo;
      SpectrumInput input;
      UpstreamTables tables;
      readSpectrumInput(in, out, echo, input, tables);
    });
    EXPECT_EQ(out.str(), "") << text;
    return message;
  };
  const std::string request = "\nspec\n1\n1 1\n0.001 1 0.25\n";
  EXPECT_EQ(refusal("iec\nA 11.4 1e-10" + request),
            "The length scale L = 5.6e-11 m that z_hub = 1e-10 gives is below 0.001 m, the "
            "smallest the model takes");
  // z_hub 1 m: L = 0.56 m, so kmin has to be at least 0.005 / 0.56 rad/m.
  EXPECT_EQ(refusal("iec\nA 11.4 1" + request),
            "The wave number kmin = 0.001 rad/m is below 0.005 / L = 0.00892857 rad/m (L = 0.56 "
            "m): there the eddy lifetime of the sheared model is held constant, and its spectra "
            "cannot be integrated");
  // Without shear the lifetime does not enter: any kmin will do; nor do the
  // cross-spectra's line integrals stop there.
  EXPECT_EQ(refusal("basic\n0.1 0.56 0\nspec\n1\n1 1\n1e-6 1 0.25\n"), "");
  EXPECT_EQ(refusal("basic\n0.1 33.6 3.9\nxspec\n1\n1 1\n1e-4 1e-3 0.5\n0 5\n"), "");
}

}  // namespace
}  // namespace wind
