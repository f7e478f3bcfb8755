// The model's spectra over arrays of wave numbers are the spectrum
// calculator's numbers, element by element, on any thread count; sites are
// read and checked as the parameter files' sources are.
#include "windfield/model.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "support/threads.hpp"
#include "tests/support.hpp"
#include "windfield/errors.hpp"

namespace wind {
namespace {

TEST(ModelSpectra, OverArraysAreCorvelsNumbersOnAnyThreadCount) {
  std::ostringstream echo;
  const Site site = readSite(ParameterSource::iec, "B 9.5 80", echo);
  const TensorModel model = site.model();
  EXPECT_EQ(site.values.params.alphaeps, iecParams(site.values.iec).alphaeps);
  const std::vector<float> k1 = {0.0013f, 0.021f, 0.17f, 1.9f};
  std::array<int, 2> uw{0, 2};
  for (const int threads : {1, 2, 3}) {
    const int before = maxThreads();
    setThreads(threads);
    std::vector<double> F(k1.size());
    std::vector<std::array<double, 4>> chi(k1.size());
    onePointSpectra(model, k1, uw, F);
    crossSpectra(model, k1, 3.5f, 0.0f, uw, chi);
    setThreads(before);
    for (std::size_t n = 0; n < k1.size(); ++n) {
      EXPECT_EQ(F[n], phiIntk2k3(model, k1[n], std::span<int, 2>(uw), kSpectrumTol)) << k1[n];
      Matrix r = matrix(0, 1, 0, 1);
      crossSpectrum(model, k1[n], 3.5f, 0.0f, std::span<const int, 2>(uw), kCrossSpectrumPoints,
                    kSpectrumTol, r);
      EXPECT_EQ(chi[n][2], double(r[1][0])) << k1[n];
    }
  }
  EXPECT_GT(variance(model, {0, 0}), 0.0);
}

TEST(ModelSites, AreCheckedAsTheParameterFilesSources) {
  std::ostringstream echo;
  EXPECT_EQ(catchFatal([&] { readSite(ParameterSource::land, "10 40 50 0", echo); }),
            "The height z has to be above the roughness length z0");
  EXPECT_EQ(catchFatal([&] { readSite(ParameterSource::Kaimal1d, "0.5 40 10", echo); }),
            "The Kaimal1d source has no spectral tensor; take basic, land, sea, terrain or iec");
  const Site basic = readSite(ParameterSource::basic, "0.1 33.6 3.9", echo);
  EXPECT_EQ(basic.values.params.L, 33.6f);
}

}  // namespace
}  // namespace wind
