// Large statistical runs of the line and plane engines: spectra checked band
// by band over several decades, and the variance of a large isotropic plane.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <cmath>
#include <vector>

#include "synthesis/incomp_iso.hpp"
#include "synthesis/kaimal1d.hpp"
#include "synthesis/turb1d.hpp"
#include "synthesis/turb2d.hpp"
#include "tensor/tensor_integrals.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

// Periodogram values divided by their expectation, pooled in bands of
// logarithmic width 0.5 decade; each band with enough modes must be Exp(1).
struct Bands {
  double kFirst;
  std::vector<testing::ExpSample> band;
  explicit Bands(double k0) : kFirst(k0), band(40) {}
  void add(double k, double ratio) {
    const int b = int(std::floor(2 * std::log10(k / kFirst)));
    band[std::size_t(b)].add(ratio);
  }
  void check(const char* what) const {
    for (std::size_t b = 0; b < band.size(); ++b) {
      if (band[b].n < 200) continue;
      const std::string label = std::string(what) + ", band " + std::to_string(b);
      testing::expectExpOne(band[b], label.c_str());
    }
  }
};

TEST(TurbKaimal1dSlow, PeriodogramFollowsSpectraOverFourDecades) {
  const int n1 = 1 << 20;
  const float l1 = 2.0e5f, ustar = 0.4f, z = 40.0f, U0 = 12.0f;
  const double dk = double(kTwoPiF) / l1;
  std::vector<Vector> f;
  for (int c = 0; c < 3; ++c) f.push_back(vector(1, n1));
  turbKaimal1d(f, kAllComponents, {n1, l1}, ustar, z, U0, -123457);
  for (int c = 0; c < 3; ++c) {
    const auto h = testing::lineCoefficients(f[c], n1);
    Bands bands(dk);
    for (int m = 1; m < n1 / 2; ++m) {
      const float k = static_cast<float>(m * dk);
      bands.add(m * dk, std::norm(h[m]) / (4 * dk * kaimalSpectrum(c, ustar, z, U0, k)));
    }
    bands.check(c == 0 ? "along-wind" : c == 1 ? "cross-wind" : "vertical");
  }
}

TEST(Turb1dSlow, ShearedPeriodogramFollowsOnePointSpectra) {
  const int n1 = 1 << 16;
  const float l1 = 2.0e4f, alphaeps = 0.05f, L = 35.0f, Gamma = 3.2f;
  const double dk = double(kTwoPiF) / l1;
  // The one-point spectra on a grid of 20 points per decade, interpolated
  // linearly in log-log coordinates (error below 0.2 per cent on these smooth
  // spectra): an independent, finer route than the engine's splines.
  const double lo = std::log(0.5 * dk), hi = std::log(n1 * dk);
  const int np = int((hi - lo) / std::log(10.0) * 20) + 2;
  const double step = (hi - lo) / (np - 1);
  std::vector<std::array<double, 3>> table(np);
  for (int p = 0; p < np; ++p)
    for (int c = 0; c < 3; ++c) {
      std::array<int, 2> pair{c, c};
      table[p][c] = std::log(phiIntk2k3({alphaeps, L, Gamma},
                                        static_cast<float>(std::exp(lo + p * step)), pair, 0.001f));
    }
  auto spectrum = [&](double k, int c) {
    const double x = (std::log(k) - lo) / step;
    const int p = std::min(int(x), np - 2);
    const double t = x - p;
    return std::exp((1 - t) * table[p][c] + t * table[p + 1][c]);
  };
  std::vector<Vector> f;
  for (int c = 0; c < 3; ++c) f.push_back(vector(1, n1));
  Bands bands[3] = {Bands(dk), Bands(dk), Bands(dk)};
  for (int seed : {-61, -62}) {
    turb1d(f, kAllComponents, {alphaeps, L, Gamma}, {n1, l1}, seed);
    for (int c = 0; c < 3; ++c) {
      const auto h = testing::lineCoefficients(f[c], n1);
      for (int m = 1; m < n1 / 2; ++m)
        bands[c].add(m * dk, std::norm(h[m]) / (4 * dk * spectrum(m * dk, c)));
    }
  }
  bands[0].check("along-wind");
  bands[1].check("cross-wind");
  bands[2].check("vertical");
}

TEST(IncompIsoSlow, VarianceApproachesSig2OnALargeGrid) {
  // A box 50 length scales wide resolving k Ls up to 128: the spectrum summed
  // over the grid holds sig2 within a few per cent, and the sample variance
  // scatters around that sum by its standard error (from the shares of the
  // single wave vectors).
  const int n = 2048;
  const float len = 1000.0f, sig2 = 1.9f, ls = 20.0f;
  const double dk = double(kTwoPiF) / len;
  const std::array<int, 2> comps{0, 1};
  std::vector<Matrix> f;
  for (int c = 0; c < 2; ++c) f.push_back(matrix(1, n, 1, n));
  IncompIso(f, comps, {n, n, Pair2(len, len)}, sig2, ls, -8080);
  for (int c = 0; c < 2; ++c) {
    long double expected = 0, varOfVar = 0;
    for (int i = 1; i <= n; ++i) {
      const int m1 = i - 1 < n / 2 ? i - 1 : i - 1 - n;
      for (int l = 1; l <= n / 2 + 1; ++l) {
        const bool line = l == 1 || l == n / 2 + 1;
        if ((line && i > n / 2 + 1) || (i == 1 && l == 1)) continue;
        const Mat2 phi = isoTensor2d(sig2, ls, static_cast<float>(m1 * dk),
                                     static_cast<float>((l - 1) * dk));
        const bool self = line && (i == 1 || i == n / 2 + 1);
        const double share =
            (self ? 0.5 : 2.0) * dk * dk * (c == 0 ? phi[0].first : phi[1].second);
        expected += share;
        varOfVar += (self ? 2.0 : 1.0) * share * share;
      }
    }
    long double var = 0;
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) var += (long double)f[c][i][j] * f[c][i][j];
    var /= (long double)n * n;
    EXPECT_NEAR(double(expected / sig2), 1.0, 0.03) << "c = " << c;
    EXPECT_NEAR(double(var), double(expected), double(4.5L * std::sqrt(varOfVar)))
        << "c = " << c;
  }
}

TEST(Turb2dSlow, PeriodogramFollowsIntegratedSpectraOnALargerGrid) {
  const int n1 = 128, n2 = 64, absentDim = 2;
  const Pair2 lengths(2400.0f, 1200.0f), limNormK(0.0f, 0.0f);
  const float alphaeps = 0.05f, L = 30.0f, Gamma = 2.8f;
  const double dk1 = double(kTwoPiF) / lengths.first;
  const double dk2 = double(kTwoPiF) / lengths.second;
  std::vector<Matrix> f;
  for (int c = 0; c < 3; ++c) f.push_back(matrix(1, n1, 1, n2));
  turb2d(f, kAllComponents, {alphaeps, L, Gamma}, {n1, n2, lengths}, absentDim, -777, limNormK);
  for (int c = 0; c < 3; ++c) {
    const auto h = testing::planeCoefficients(f[c], n1, n2);
    testing::ExpSample power;
    for (int i = 1; i <= n1; ++i) {
      const int m1 = i - 1 < n1 / 2 ? i - 1 : i - 1 - n1;
      const float k1 = static_cast<float>(m1 * dk1);
      for (int l = 2; l <= n2 / 2; ++l) {
        const float k2 = static_cast<float>((l - 1) * dk2);
        const double s = phiIntComp({alphaeps, L, Gamma}, k1, k2, absentDim, 0.001f, c, c);
        power.add(std::norm(h(i, l)) / (4 * dk1 * dk2 * s));
      }
    }
    testing::expectExpOne(power, c == 0 ? "along-wind" : c == 1 ? "cross-wind" : "vertical");
  }
}

}  // namespace
}  // namespace wind
