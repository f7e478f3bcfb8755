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

}  // namespace
}  // namespace wind
