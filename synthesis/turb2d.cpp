#include "synthesis/turb2d.hpp"

#include "numerics/fatal_error.hpp"
#include "synthesis/fourier_grid.hpp"
#include "tensor/spectral_tensor.hpp"
#include "tensor/tensor_integrals.hpp"

namespace wind {

namespace {

constexpr float kCellTol = 0.0025f;  // cell averages (two-dimensional integrals)
constexpr float kLineTol = 0.001f;   // line integrals
constexpr const char* kWho = "turb2d";

}  // namespace

void turb2d(std::span<Matrix> fields, int ncomp, std::span<const int> comps, int absentDim, int N1,
            int N2, Pair2 lengths, float alphaeps, float L, float Gamma, int seed, Pair2 LimNormK,
            bool Terrain, const UpstreamTables* tables) {
  if (ncomp < 1 || ncomp > 3) fatalError("Number of components not correct");
  detail::checkGridSize(N1, kWho);
  detail::checkGridSize(N2, kWho);
  detail::checkPlaneFields(fields, ncomp, N1, N2, kWho);
  detail::checkComponentList(comps, ncomp, kWho);

  const float l1 = lengths.first, l2 = lengths.second;
  const int c0 = ncomp < 3 ? comps[0] : 0;
  const int c1 = ncomp == 2 ? comps[1] : 1;

  detail::synthesizePlane(fields, ncomp, N1, N2, lengths, seed, [&](float k1, float k2) -> Mat3 {
    const bool cell = detail::insideCellLimit(k1, L, LimNormK.first) &&
                      detail::insideCellLimit(k2, L, LimNormK.second);
    // The spectral element (a, b) of the plane at (k1, k2).
    auto element = [&](int a, int b) -> double {
      if (cell)
        return phiIntkxSinc(alphaeps, L, Gamma, k1, k2, l2, absentDim, Terrain, kCellTol, a, b,
                            tables);
      if (ncomp == 1)
        return phiIntCompAlias(alphaeps, L, Gamma, k1, k2, absentDim, l1, l2, Terrain, kLineTol,
                               a, b, tables);
      return phiIntComp(alphaeps, L, Gamma, k1, k2, absentDim, Terrain, kLineTol, a, b, tables);
    };
    return detail::amplitudeFromElements(ncomp, c0, c1, element);
  });
}

}  // namespace wind
