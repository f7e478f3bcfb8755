#include "synthesis/incomp_iso.hpp"

#include <cmath>

#include "numerics/constants.hpp"
#include "support/fatal_error.hpp"
#include "synthesis/fourier_grid.hpp"
#include "tensor/spectral_tensor.hpp"

namespace wind {

namespace {

constexpr double kMinusThreeHalves = -1.5;
constexpr const char* kWho = "IncompIso";

}  // namespace

float isoSpectrum2d(float sig2, float Ls, float k) {
  const float kLs = static_cast<float>(double(k) * double(Ls));
  const double ls2 = double(Ls) * double(Ls);
  const double kLs2 = double(kLs) * double(kLs);
  return static_cast<float>(double(sig2) * ls2 * double(k) * std::pow(1.0 + kLs2, kMinusThreeHalves));
}

Mat2 isoTensor2d(float sig2, float Ls, float k1, float k2) {
  const double k1k1 = double(k1) * double(k1);
  const double k2k2 = double(k2) * double(k2);
  const float kabs = static_cast<float>(std::sqrt(k1k1 + k2k2));
  const float kk = static_cast<float>(double(kabs) * double(kabs));
  const float offDiagonal = static_cast<float>(-(double(k1) * double(k2)));
  const Mat2 q(Pair2(static_cast<float>(double(kk) - k1k1), offDiagonal),
               Pair2(offDiagonal, static_cast<float>(double(kk) - k2k2)));
  const float s = static_cast<float>(double(isoSpectrum2d(sig2, Ls, kabs)) /
                                     (std::pow(double(kabs), 3) * double(kPiF)));
  return s * q;
}

void IncompIso(std::span<Matrix> fields, std::span<const int> comps, PlaneGrid grid, float sig2,
               float Ls, std::int32_t seed) {
  const int N1 = grid.N1, N2 = grid.N2;
  const int ncomp =
      detail::componentCount(comps, 2, "Number of components not correct (pellam IncompIso)");
  detail::checkGridSize(N1, kWho);
  detail::checkGridSize(N2, kWho);
  detail::checkPlaneFields(fields, ncomp, N1, N2, kWho);
  // Only the two in-plane components exist; fields[c] receives component
  // comps[c], in the order listed, as in every other engine.
  for (int c = 0; c < ncomp; ++c)
    if (comps[std::size_t(c)] < 0 || comps[std::size_t(c)] > 1)
      fatalError(ncomp == 1 ? "IncompIso: the component of a one-component field has to be 0 or 1"
                            : "IncompIso: the components of a two-component field have to be 0 or 1");
  const int c0 = comps[0];
  const int c1 = ncomp == 2 ? comps[1] : c0;

  detail::synthesizePlane(fields, ncomp, grid, seed, [&](float k1, float k2) -> Mat3 {
    const Mat2 phi = isoTensor2d(sig2, Ls, k1, k2);
    return detail::amplitudeFromElements(ncomp, c0, c1, [&](int a, int b) {
      const Pair2 row = phi[a];
      return b == 0 ? row.first : row.second;
    });
  });
}

}  // namespace wind
