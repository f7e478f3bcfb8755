#include "synthesis/turb2d.hpp"

#include "support/fatal_error.hpp"
#include "synthesis/fourier_grid.hpp"
#include "tensor/spectral_tensor.hpp"
#include "tensor/tensor_integrals.hpp"

namespace wind {

namespace {

constexpr float kCellTol = 0.0025f;  // cell averages (two-dimensional integrals)
constexpr float kLineTol = 0.001f;   // line integrals
constexpr const char* kWho = "turb2d";

}  // namespace

void turb2d(std::span<Matrix> fields, std::span<const int> comps, const TensorModel& model,
            PlaneGrid grid, int absentDim, std::int32_t seed, Pair2 LimNormK) {
  const int ncomp = detail::componentCount(comps, 3, "Number of components not correct");
  detail::checkGridSize(grid.N1, kWho);
  detail::checkGridSize(grid.N2, kWho);
  detail::checkPlaneFields(fields, ncomp, grid.N1, grid.N2, kWho);
  model.checkTables();

  const Pair2 lengths = grid.lengths;
  const float l2 = lengths.second;
  const float L = model.params.L;
  const int c0 = ncomp < 3 ? comps[0] : 0;
  const int c1 = ncomp == 2 ? comps[1] : 1;

  detail::synthesizePlane(fields, ncomp, grid, seed, [&](float k1, float k2) -> Mat3 {
    const bool cell = detail::insideCellLimit(k1, L, LimNormK.first) &&
                      detail::insideCellLimit(k2, L, LimNormK.second);
    // The spectral element (a, b) of the plane at (k1, k2).
    auto element = [&](int a, int b) -> double {
      if (cell) return phiIntkxSinc(model, k1, k2, l2, absentDim, kCellTol, a, b);
      if (ncomp == 1) return phiIntCompAlias(model, k1, k2, absentDim, lengths, kLineTol, a, b);
      return phiIntComp(model, k1, k2, absentDim, kLineTol, a, b);
    };
    return detail::amplitudeFromElements(ncomp, c0, c1, element);
  });
}

}  // namespace wind
