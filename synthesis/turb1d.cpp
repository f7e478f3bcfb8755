#include "synthesis/turb1d.hpp"

#include <array>
#include <cmath>

#include "numerics/constants.hpp"
#include "numerics/interpolation.hpp"
#include "support/fatal_error.hpp"
#include "synthesis/fourier_grid.hpp"
#include "tensor/spectral_tensor.hpp"
#include "tensor/tensor_integrals.hpp"

namespace wind {

namespace {

constexpr double kBelowFundamental = 0.99;   // kmin = 0.99 2pi/L1
constexpr double kAboveNyquist = 1.01;       // the grid ends above 1.01 pi N1/L1
constexpr float kDecadeStep = 0.2f;          // log10 step: five points per decade
constexpr double kStepsPerDecade = 4.999999925494195;  // 1/0.2f
constexpr double kFiveThirds = 1.6666666666666667;
constexpr double kMinusFiveThirds = -1.6666666666666667;
constexpr float kSpectrumTol = 0.001f;
constexpr float kTopSlope = 0.0f;  // zero first derivative at the top of the grid
constexpr const char* kWho = "turb1d";

}  // namespace

Vector turb1dSplineGrid(int N1, float L1) {
  const float kmin =
      static_cast<float>(double(kTwoPiF) * kBelowFundamental / double(L1));
  const double span = double(kPiF) * double(N1) * kAboveNyquist / double(L1) / double(kmin);
  const int n = static_cast<int>(std::ceil(std::log10(span) * kStepsPerDecade));
  const int nk = n + 1;
  Vector kgrid = vector(1, nk);
  for (int j = 1; j <= nk; ++j)
    kgrid[j] = static_cast<float>(double(kmin) *
                                  std::pow(10.0, double(j - 1) * double(kDecadeStep)));
  return kgrid;
}

void turb1d(std::span<Vector> fields, std::span<const int> comps, const TensorModel& model,
            LineGrid grid, std::int32_t seed) {
  const int N1 = grid.N1;
  const float L1 = grid.L1;
  const int ncomp =
      detail::componentCount(comps, 3, "Number of components passed to turb1d not correct");
  detail::checkGridSize(N1, kWho);
  detail::checkLineFields(fields, ncomp, N1, kWho);
  model.checkTables();

  // One-point spectra times k^(5/3) on the logarithmic grid, and their splines.
  const Vector kgrid = turb1dSplineGrid(N1, L1);
  const int nk = kgrid.hi();
  F3tensor spec = f3tensor(0, ncomp - 1, 0, ncomp - 1, 1, nk);
  F3tensor curv = f3tensor(0, ncomp - 1, 0, ncomp - 1, 1, nk);
  auto row = [nk](F3tensor& t, int a, int b) { return std::span<float>(&t(a, b, 1), nk); };
  const std::span<const float> ks(kgrid.data(), nk);

  for (int a = 0; a < ncomp; ++a)
    for (int b = a; b < ncomp; ++b) {
      std::array<int, 2> pair = ncomp == 3 ? std::array<int, 2>{a, b}
                                           : std::array<int, 2>{comps[a], comps[b]};
      for (int j = 1; j <= nk; ++j)
        spec(a, b, j) = static_cast<float>(phiIntk2k3(model, kgrid[j], pair, kSpectrumTol) *
                                           std::pow(double(kgrid[j]), kFiveThirds));
    }
  for (int a = 0; a < ncomp; ++a)
    for (int b = a; b < ncomp; ++b)
      splineSetup(ks, row(spec, a, b), kNaturalSpline, kTopSlope, row(curv, a, b));

  detail::synthesizeLine(fields, ncomp, grid, seed, [&](float k) -> Mat3 {
    const double kPower = std::pow(double(k), kMinusFiveThirds);
    auto value = [&](int a, int b) {
      return static_cast<float>(
          double(splint(ks, row(spec, a, b), row(curv, a, b), k)) * kPower);
    };
    // The spline arrays are indexed by position in the component list.
    return detail::amplitudeFromElements(ncomp, 0, 1, value);
  });
}

}  // namespace wind
