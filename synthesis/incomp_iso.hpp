#pragma once
// Two-dimensional isotropic incompressible random velocity fields.
//
// The model is closed-form, with a variance sig2 and a length scale Ls:
//   E(k) = sig2 Ls^2 k (1 + (k Ls)^2)^(-3/2),  int_0^inf E dk = sig2,
//   Phi_ij(k) = E(|k|)/(pi |k|^3) (|k|^2 delta_ij - k_i k_j),
// the isotropic tensor of a plane flow without divergence: each diagonal
// element integrated over the plane is sig2, and k.Phi = 0.
//
// IncompIso synthesises one or both in-plane components on an N1 x N2 grid,
// periodic with periods L1, L2: for every wave vector k of the half plane a
// coefficient D M(k) (xr + i xi), M = sqrtSym2(Phi(k)) (two components) or
// sqrt(Phi_cc(k)) (one), D = 2 sqrt(0.5) sqrt(dk1 dk2), with Hermitian
// completion and one inverse two-dimensional real FFT per component:
//   u_c(x) = sum_k sqrt(dk1 dk2/2) (M(k) (xr + i xi))_c exp(-i k.x)
// over the whole grid, so a wave vector that is not its own mirror carries
// the covariance Phi(k) dk1 dk2. The mean is zero.
//
// Arguments:
//   fields  ncomp matrices [1 .. N1][1 .. N2]; element (i, j) is the velocity
//           at ((i - 1) L1/N1, (j - 1) L2/N2) in m/s. Overwritten.
//   comps   the components, 0 along the first grid axis and 1 along the
//           second; ncomp = comps.size() is 1 or 2, else "Number of
//           components not correct (pellam IncompIso)". fields[c] receives
//           component comps[c]. The amplitude is
//           the root of Phi's block of the listed components, so (1, 0) swaps
//           the two fields' roles and a component listed twice gives the same
//           field twice. Any other number ends the run through fatalError.
//   grid    N1, N2, powers of two, at least 2, and lengths = (L1, L2), the
//           periods in metres (PlaneGrid, synthesis/grid.hpp).
//   sig2    variance of each component (m^2/s^2); Ls the length scale (m).
//   seed    negative random seed; the engine runs its own generator from it.
//           Visiting order: i = 1 .. N1 (k1 index, outer), l = 1 .. N2/2 + 1
//           (k2 = (l - 1) 2pi/L2, inner), k = 0 and, in the lines l = 1 and
//           l = N2/2 + 1, the mirrors i > N1/2 + 1 left out; per wave vector
//           xr[c] then xi[c] for c = 0 .. ncomp - 1.
//
// Allocates one working line of 2 N1 floats per component, once per call.
// Besides the ncomp message, ends the run through fatalError on a component
// other than 0 or 1, on field arrays that do not match the grid,
// or on a grid size below 2 or not a power of two.
#include <cstdint>
#include <span>

#include "numerics/arrays.hpp"
#include "numerics/small_types.hpp"
#include "synthesis/grid.hpp"

namespace wind {

// E(k) above, with k Ls rounded to float; returned as float.
float isoSpectrum2d(float sig2, float Ls, float k);

// Phi(k) above for k = (k1, k2), k != 0: s Q with |k| and |k|^2 rounded to
// float, Q = [[|k|^2 - k1^2, -k1 k2], [-k1 k2, |k|^2 - k2^2]] and
// s = E(|k|)/(|k|^3 pi), pi in single precision.
Mat2 isoTensor2d(float sig2, float Ls, float k1, float k2);

void IncompIso(std::span<Matrix> fields, std::span<const int> comps, PlaneGrid grid, float sig2,
               float Ls, std::int32_t seed);

}  // namespace wind
