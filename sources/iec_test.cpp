#include "sources/iec.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "support/console.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

using testing::fatalMessage;

// alphaeps from sigma_iso^2 = 0.688344 alphaeps L^(2/3), the variance factor
// rounded to six digits (enough for a relative check to 2e-6).
double handAlphaeps(double sigma1, double L) {
  const double sigmaIso = 0.55 * sigma1;
  return sigmaIso * sigmaIso / (0.688344 * std::cbrt(L * L));
}

TEST(Iec, VarianceFactorIsTheBetaFunctionClosedForm) {
  // Gamma(5/2) = (3/4) sqrt(pi); Gamma(1/3) and Gamma(17/6) from tgamma.
  const double beta = 0.75 * std::sqrt(M_PI) * std::tgamma(1.0 / 3.0) / std::tgamma(17.0 / 6.0);
  EXPECT_NEAR(vonKarmanVarianceFactor(), beta / 3.0, 1e-14);
  EXPECT_NEAR(vonKarmanVarianceFactor(), 0.688344, 1e-6);
}

TEST(Iec, CategoriesAndHandComputedParameters) {
  struct Case {
    const char* category;
    float V, z;
    double Iref, Lambda1;
  };
  // Both sides of the 60 m bend of Lambda_1 (0.7 z up to 60 m, 42 m above).
  const Case cases[] = {{"A", 11.4f, 90.0f, 0.16, 42.0},  {"B", 8.5f, 59.0f, 0.14, 41.3},
                        {"C", 25.0f, 61.0f, 0.12, 42.0},  {"A", 6.25f, 60.0f, 0.16, 42.0},
                        {"0.2385", 15.0f, 30.0f, 0.2385, 21.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.category) + " V_hub " + std::to_string(c.V) + " z_hub " +
                 std::to_string(c.z));
    IecSettings s = iecCategory(c.category);
    EXPECT_NEAR(s.Iref, c.Iref, 1e-7);
    EXPECT_EQ(s.category, std::string(c.category).size() == 1 ? c.category[0] : 0);
    s.V_hub = c.V;
    s.z_hub = c.z;
    const IecModel m = iecModel(s);
    const double sigma1 = c.Iref * (0.75 * c.V + 5.6);
    EXPECT_NEAR(m.sigma1, sigma1, 1e-6 * sigma1);
    EXPECT_NEAR(m.Lambda1, c.Lambda1, 1e-12);
    EXPECT_FLOAT_EQ(m.params.L, static_cast<float>(0.8 * c.Lambda1));
    EXPECT_EQ(m.params.Gamma, 3.9f);
    EXPECT_NEAR(m.params.alphaeps, handAlphaeps(sigma1, 0.8 * c.Lambda1),
                2e-6 * handAlphaeps(sigma1, 0.8 * c.Lambda1));
  }
  // The worked case of a class A turbine at 11.4 m/s, 90 m: sigma_1 = 2.264 m/s,
  // L = 33.6 m, alphaeps = 0.2163 m^(4/3) s^-2.
  const IecModel a = iecModel({'A', 0.16f, 11.4f, 90.0f});
  EXPECT_NEAR(a.sigma1, 2.264, 1e-6);
  EXPECT_NEAR(a.params.alphaeps, 0.21633, 1e-5);
  const auto t = iecTargetSigmas(2.264);
  EXPECT_DOUBLE_EQ(t[1], 0.8 * 2.264);
  EXPECT_DOUBLE_EQ(t[2], 0.5 * 2.264);
}

TEST(Iec, BadValuesAreNamed) {
  const auto category = [](const char* w) { return fatalMessage([&] { iecCategory(w); }); };
  // Only plain decimals: "0x10" would be 16, and the others are no numbers.
  for (const char* w : {"D", "a", "-0.1", "0", "0.1x", "nan", "inf", "0x10", "1e", ".", "+"})
    EXPECT_EQ(category(w), std::string("The IEC turbulence category has to be A, B, C or a "
                                       "positive reference intensity Iref, not '") +
                               w + "'")
        << w;
  const auto read = [](const char* text) {
    return fatalMessage([&] {
      std::istringstream in(text);
      ValueReader r(in);
      readIecSource(r);
    });
  };
  EXPECT_EQ(read("B -11.4 90"), "The IEC hub-height wind speed V_hub has to be positive, not -11.4");
  EXPECT_EQ(read("B 11.4 0"), "The IEC hub height z_hub has to be positive, not 0");
  EXPECT_EQ(read("B 11.4"),
            "Could not read z_hub from the input file: the file ends after line 1");
  // A decimal comma in V_hub is blamed on V_hub, not on the z_hub it leaves ',4' to.
  EXPECT_EQ(read("B 11,4 90").substr(0, 71),
            "Could not read V_hub from the input file: line 1 holds '11,4', which is");
  EXPECT_EQ(read("0.14 11.4 90"), "");
  EXPECT_EQ(read("1 11.4 90"), "");
  EXPECT_EQ(read("+.16E0 11.4 90"), "");
  // A percentage, as other generators take it, would be a box of 110 m/s.
  for (const char* w : {"16", "1.0001", "1e30"})
    EXPECT_EQ(category(w), std::string("The reference turbulence intensity Iref = ") + w +
                               " is above 1: Iref is a fraction (0.16, not 16)");
}

TEST(Iec, ModelsOutOfRangeNameTheInputAtFault) {
  const auto read = [](const char* text) {
    return fatalMessage([&] {
      std::istringstream in(text);
      ValueReader r(in);
      readIecSource(r);
    });
  };
  // L = 0.8 * 0.7 z_hub.
  EXPECT_EQ(read("A 11.4 1e-10"), "The length scale L = 5.6e-11 m that z_hub = 1e-10 gives is "
                                  "below 0.001 m, the smallest the model takes");
  // sigma_1 = 0.16 (0.75e30 + 5.6): alphaeps about 1e57, beyond float.
  EXPECT_EQ(read("A 1e30 90"), "The spectral level alphaeps = inf that V_hub = 1e+30 gives has "
                               "to be a positive finite number");
  // sigma_1 about 1.4e-29: alphaeps about 1e-59, below float.
  EXPECT_EQ(read("1e-30 11.4 90"), "The spectral level alphaeps = 0 that Iref = 1e-30 gives has "
                                   "to be a positive finite number");
  EXPECT_EQ(read("1e-10 11.4 1"), "");  // small but representable: a quiet box, not garbage
}

TEST(Iec, ExponentialCoherenceModel) {
  // r = 50 m, f = 0.1 Hz, V_hub 10 m/s, Lambda_1 42 m: L_c = 340.2 m and
  // exp(-12 sqrt(0.5^2 + (6 / 340.2)^2)) = exp(-6.0037315...) by hand.
  EXPECT_NEAR(iecCoherence(50.0, 0.1, 10.0, 42.0), 0.00246952, 1e-8);
  EXPECT_DOUBLE_EQ(iecCoherence(0.0, 0.3, 10.0, 42.0), 1.0);
  // At f = 0 only the length scale is left: exp(-12 0.12 r / L_c).
  EXPECT_NEAR(iecCoherence(100.0, 0.0, 8.0, 0.7 * 40.0), std::exp(-1.44 * 100.0 / (8.1 * 28.0)),
              1e-15);
  EXPECT_DOUBLE_EQ(iecLambda1(40.0), 0.7 * 40.0);
  EXPECT_DOUBLE_EQ(iecLambda1(90.0), 42.0);
  EXPECT_DOUBLE_EQ(iecCoherenceScale(42.0), 340.2);
}

}  // namespace
}  // namespace wind
