#pragma once
// One-dimensional fields of the sheared spectral tensor model.
//
// turb1d synthesises one, two or three velocity components along a line of N1
// points parallel to axis 1 (the mean wind), periodic with period L1. A line
// sees the one-point (cross-)spectra F_ab(k1) = int int Phi_ab dk2 dk3
// (phiIntk2k3, tol 0.001). Each costs a two-dimensional adaptive integral, so
// they are evaluated only on a coarse logarithmic grid of k1 (turb1dSplineGrid,
// five points per decade from just below 2pi/L1 to just above the Nyquist wave
// number pi N1/L1) and interpolated to the Fourier wave numbers with cubic
// splines in F k^(5/3), which is nearly constant in the inertial range (natural
// end at the bottom, zero slope at the top). At every k_m = m 2pi/L1,
// m = 1 .. N1/2 - 1, the spectral matrix is factored (sqrtSym3, sqrtSym2, or
// the square root of F_cc) and
//   u_c(x) = sum_m Re[ D (M(k_m) (xr + i xi))_c exp(-i k_m x) ],
//   D = 2 sqrt(0.5) sqrt(2pi/L1),
// whose expected variance is sum_m 2 dk F_cc(k_m). The mean and the Nyquist
// coefficient are zero; for N1 = 2 the whole line is zero.
//
// Arguments:
//   fields  ncomp vectors [1 .. N1]; element j is the component at
//           x = (j - 1) L1/N1, in m/s. Overwritten.
//   comps   the components of fields[0 .. ncomp-1] (synthesis/grid.hpp);
//           ncomp = comps.size() is 1, 2 or 3, else "Number of components
//           passed to turb1d not correct". The pairs (0, 1) and (1, 2) have
//           no cross-spectrum on a line.
//   model   the tensor model (tensor/model.hpp); its tables are checked once
//           before any integral (TensorModel::checkTables).
//   grid    N1, a power of two, at least 2, and the line length L1 (m)
//           (LineGrid, synthesis/grid.hpp).
//   seed    negative random seed; the engine runs its own generator from it:
//           per wave number, in rising order, xr[c] then xi[c] for
//           c = 0 .. ncomp - 1.
//
// Cost: ncomp (ncomp + 1)/2 spectra at nk grid points (nk about 5 log10 N1 +
// 1), then a spline evaluation and a small matrix root per wave number.
// Allocates the spline grid and tables once per call. Ends the run through
// fatalError on a bad ncomp (before any integral), on field arrays that do not
// match ncomp and N1, on N1 < 2 or not a power of two, on a model without the
// tables it needs, and with the messages of the integrals, the splines and
// sqrtSym3.
#include <cstdint>
#include <span>

#include "numerics/arrays.hpp"
#include "synthesis/grid.hpp"
#include "tensor/model.hpp"

namespace wind {

// The spline abscissas kgrid[1 .. nk] of a line of N1 points and length L1:
//   kmin = 2pi 0.99/L1,
//   n = ceil(log10(pi N1 1.01/L1/kmin) / 0.2),  nk = n + 1,
//   kgrid[j] = kmin 10^((j - 1) 0.2),
// with 2pi, pi and 0.2 in single precision and kmin and kgrid rounded to float.
Vector turb1dSplineGrid(int N1, float L1);

void turb1d(std::span<Vector> fields, std::span<const int> comps, const TensorModel& model,
            LineGrid grid, std::int32_t seed);

}  // namespace wind
