#include "synthesis/kaimal1d.hpp"

#include <cmath>

#include "numerics/constants.hpp"
#include "support/fatal_error.hpp"
#include "synthesis/fourier_grid.hpp"
#include "tensor/spectral_tensor.hpp"

namespace wind {

namespace {

constexpr double kMinusFiveThirds = -1.6666666666666667;
constexpr double kFiveThirds = 1.6666666666666667;
constexpr double kMinusSevenThirds = -2.3333333333333335;

// Along-wind: 52.5 (double), 33 and 1 (single, exact).
constexpr double kUCoef = 52.5;
constexpr float kUScale = 33.0f;
// Cross-wind: 8.5, 9.5 and 1 (double).
constexpr double kVCoef = 8.5;
constexpr double kVScale = 9.5;
// Vertical: 1.05 and 5.3 (double).
constexpr double kWCoef = 1.05;
constexpr double kWScale = 5.3;
// Along-wind/vertical cross-spectrum: -6 (single), 9.6 (double).
constexpr float kUWCoef = -6.0f;
constexpr double kUWScale = 9.6;

constexpr const char* kWho = "turbKaimal1d";

}  // namespace

float kaimalSpectrum(int c, float ustar, float z, float /*U0*/, float k) {
  const float f = static_cast<float>(double(k) * double(z) / double(kTwoPiF));
  const float u2 = static_cast<float>(double(ustar) * double(ustar));
  switch (c) {
    case 0:
      return static_cast<float>(double(u2) * kUCoef * double(z) / double(kTwoPiF) *
                                std::pow(1.0 + double(kUScale) * double(f), kMinusFiveThirds));
    case 1:
      return static_cast<float>(double(u2) * kVCoef * double(z) / double(kTwoPiF) *
                                std::pow(1.0 + kVScale * double(f), kMinusFiveThirds));
    case 2:
      return static_cast<float>(double(u2) * kWCoef * double(z) / double(kTwoPiF) /
                                (1.0 + kWScale * std::pow(double(f), kFiveThirds)));
    default:
      return 0.0f;
  }
}

float kaimalCrossSpectrum(float ustar, float z, float /*U0*/, float k) {
  const double f = kUWScale * double(z) * double(k) / double(kTwoPiF);
  return static_cast<float>(double(kUWCoef) * double(ustar) * double(ustar) * double(z) /
                            double(kTwoPiF) * std::pow(1.0 + f, kMinusSevenThirds));
}

void turbKaimal1d(std::span<Vector> fields, std::span<const int> comps, LineGrid grid,
                  float ustar, float z, float U0, std::int32_t seed) {
  const int N1 = grid.N1;
  const int ncomp =
      detail::componentCount(comps, 3, "Number of components passed to turbKaimal1d not correct");
  detail::checkGridSize(N1, kWho);
  detail::checkLineFields(fields, ncomp, N1, kWho);

  detail::synthesizeLine(fields, ncomp, grid, seed, [&](float k) -> Mat3 {
    // Element (p, q) of the spectral matrix, p and q positions in the
    // component list. Off the diagonal only the along-wind/vertical
    // cross-spectrum enters, whichever of the two is listed first; a
    // component listed twice counts as uncorrelated with itself.
    auto element = [&](int p, int q) -> float {
      const int a = ncomp == 3 ? p : comps[p];
      const int b = ncomp == 3 ? q : comps[q];
      if (p == q) return kaimalSpectrum(a, ustar, z, U0, k);
      return ((a == 0 && b == 2) || (a == 2 && b == 0)) ? kaimalCrossSpectrum(ustar, z, U0, k)
                                                        : 0.0f;
    };
    return detail::amplitudeFromElements(ncomp, 0, 1, element);
  });
}

}  // namespace wind
