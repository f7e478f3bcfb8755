#pragma once
// Lines of surface-layer wind from the closed-form Kaimal spectra.
//
// turbKaimal1d synthesises one, two or three velocity components along a line
// of N1 points parallel to the mean wind, periodic with period L1. The
// spectral matrix at every Fourier wave number k_m = m 2pi/L1 is built from
// kaimalSpectrum (diagonal) and kaimalCrossSpectrum (the along-wind/vertical
// pair 0-2, the only correlated one; 0-1 and 1-2 are uncorrelated), factored
// by a symmetric square root M (sqrtSym2, sqrtSym3), and multiplied by complex
// normal deviates:
//     u_c(x) = sum_{m=1}^{N1/2-1} Re[ D (M(k_m) (xr + i xi))_c exp(-i k_m x) ],
//     D = 2 sqrt(0.5) sqrt(2pi/L1) = sqrt(2 dk),
// so that the expected variance is sum_m 2 dk S_cc(k_m), the discretised
// integral of the two-sided spectrum. The mean (k = 0) and the Nyquist
// coefficient are zero; for N1 = 2 the whole line is zero.
//
// Arguments:
//   fields  ncomp vectors [1 .. N1]; element j is the component at
//           x = (j - 1) L1/N1, in m/s. Overwritten.
//   comps   the components of fields[0 .. ncomp-1] (synthesis/grid.hpp);
//           ncomp = comps.size() is 1, 2 or 3, else "Number of components
//           passed to turbKaimal1d not correct". With two components the pair
//           (0, 2) and (2, 0) carry the cross-spectrum alike.
//   grid    N1, a power of two, at least 2, and the line length L1 (m)
//           (LineGrid, synthesis/grid.hpp).
//   ustar   friction velocity (m/s); every output value is linear in it.
//   z       height (m).
//   U0      mean wind speed; handed to the spectra, which do not use it.
//   seed    negative random seed. The engine runs its own generator
//           (numerics/random.hpp) from it: per wave number, in rising order,
//           it draws xr[c] then xi[c] for c = 0 .. ncomp - 1.
//
// Allocates nothing beyond the caller's arrays; ends the run through
// fatalError on a bad ncomp, on field arrays that do not match ncomp and N1,
// or on N1 < 2 or not a power of two.
#include <cstdint>
#include <span>

#include "numerics/arrays.hpp"
#include "synthesis/grid.hpp"

namespace wind {

// Two-sided wave-number spectrum (m^3/s^2) of component c at wave number k
// (rad/m), with f = k z/2pi and u*^2 = ustar^2, both rounded to float:
//   c = 0: u*^2 52.5 z/2pi (1 + 33 f)^(-5/3)
//   c = 1: u*^2 8.5 z/2pi (1 + 9.5 f)^(-5/3)
//   c = 2: u*^2 1.05 z/2pi / (1 + 5.3 f^(5/3))
//   any other c: 0.
// So k S/u*^2 is the familiar Kaimal form 52.5 f/(1 + 33 f)^(5/3), ...
float kaimalSpectrum(int c, float ustar, float z, float U0, float k);

// Cross-spectrum of components 0 and 2:
//   -6 ustar^2 z/2pi (1 + 9.6 z k/2pi)^(-7/3).
float kaimalCrossSpectrum(float ustar, float z, float U0, float k);

void turbKaimal1d(std::span<Vector> fields, std::span<const int> comps, LineGrid grid,
                  float ustar, float z, float U0, std::int32_t seed);

}  // namespace wind
