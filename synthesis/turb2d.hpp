#pragma once
// Two-dimensional fields of the sheared spectral tensor model.
//
// turb2d synthesises one, two or three velocity components on a periodic
// N1 x N2 grid (PlaneGrid, synthesis/grid.hpp) in a plane that contains axis 1 (the mean wind) and
// one of the axes 2 or 3. The other axis, the absent one, is not resolved: the plane sees the
// three-dimensional tensor Phi_ab integrated over the wave number along the absent axis
// (tensor/tensor_integrals.hpp). For every wave vector k = (k1, k2) of the half plane,
//   - inside the box |k1 L| < LimNormK.first and |k2 L| < LimNormK.second
//     (float products, strict comparisons), where a grid cell is not small
//     compared with the scale of the spectrum, the spectral matrix is the cell
//     average phiIntkxSinc (window centre k2, window length L2, tol 0.0025);
//   - outside it phiIntComp (tol 0.001) for two or three components, and
//     phiIntCompAlias with periods (L1, L2) for one component, so a
//     one-component field need not have the spectrum of the same component in
//     a multi-component run;
// then M = sqrtSym3, sqrtSym2 or the square root of that matrix, and the
// coefficient D M (xr + i xi), D = 2 sqrt(0.5) sqrt(dk1 dk2), with Hermitian
// completion and one inverse two-dimensional real FFT per component:
//   u_c(x) = sum_k sqrt(dk1 dk2/2) (M(k) (xr + i xi))_c exp(-i k.x).
// The mean of every component is zero.
//
// Arguments:
//   fields    ncomp matrices [1 .. N1][1 .. N2]; element (i, j) is the velocity
//             at ((i - 1) L1/N1, (j - 1) L2/N2): first coordinate along axis
//             1, second along axis 3 (absentDim 1) or axis 2 (absentDim 2).
//   comps     the components of fields[0 .. ncomp-1] (synthesis/grid.hpp);
//             ncomp = comps.size() is 1, 2 or 3, else "Number of components
//             not correct".
//   model     the tensor model (tensor/model.hpp); its tables are checked
//             once before any work (TensorModel::checkTables).
//   grid      N1, N2, powers of two, at least 2, and lengths = (L1, L2), the
//             periods in metres.
//   absentDim zero-based absent axis, handed to the integrals as
//             IntegrateComp: only 1 and 2 are valid; anything else ends the run
//             at the first wave vector with "IntegrateComp has to be 1 or 2
//             (corresponding to k_2 or k_3)", before any output is written.
//   seed      negative random seed; the engine runs its own generator from it.
//             Visiting order: i = 1 .. N1 (k1 = m(i) 2pi/L1, outer),
//             l = 1 .. N2/2 + 1 (k2 = (l - 1) 2pi/L2, inner), k = 0 and, in
//             the lines l = 1 and l = N2/2 + 1, the mirrors i > N1/2 + 1 left
//             out; per wave vector xr[c] then xi[c] for c = 0 .. ncomp - 1.
//   LimNormK  limits of |k1 L| and |k2 L| below which the cell average is used;
//             (0, 0) switches it off.
//
// Cost: up to six adaptive integrals per wave vector, N1 (N2/2 + 1) wave
// vectors. Allocates one working line of 2 N1 floats per component, once per
// call. Ends the run through fatalError on a bad ncomp or absentDim, on field
// arrays that do not match the grid, on a grid size below 2 or not a power of
// two, on a model without the tables it needs, and with the messages of the
// integrals and of sqrtSym3.
#include <cstdint>
#include <span>

#include "numerics/arrays.hpp"
#include "numerics/small_types.hpp"
#include "synthesis/grid.hpp"
#include "tensor/model.hpp"

namespace wind {

void turb2d(std::span<Matrix> fields, std::span<const int> comps, const TensorModel& model,
            PlaneGrid grid, int absentDim, std::int32_t seed, Pair2 LimNormK);

}  // namespace wind
