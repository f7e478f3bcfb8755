#pragma once
// The terrain line in the axes of the mean wind.
//
// A terrain flow-model file (sources/terrain_file.hpp) gives its vectors and
// matrices in its own horizontal axes and the mean-wind direction in degrees,
// the direction the wind blows from (270: from the west, along +x of the file).
// The rotation about the vertical
//   psi = (direction + 90) * pi * (-1/180),   R = eulerRotation(0, 0, psi),
// with pi and -1/180 the single-precision constants 3.1415927410125732 and
// -0.0055555556900799274, takes the file's horizontal axes into wind axes
// (x along the mean wind, y across it, z unchanged): a vector v becomes R v and
// a matrix M becomes (R M) R^T. Direction 270 gives the identity up to the
// rounding of the single-precision pi (off-diagonal elements near 1.7e-7).
//
// The simulator turns the line into wind axes; the spectrum calculator takes
// the file's own axes as wind axes. The latter is not the rotation by an
// identity matrix: the elements are taken as they are, so that a strain of -0
// stays -0 (a product with R would sum it to +0) and no rounding enters.
//
// Nothing here fails or keeps state; the line builders allocate their arrays.

#include <optional>

#include "numerics/arrays.hpp"
#include "numerics/small_types.hpp"
#include "sources/terrain_file.hpp"
#include "sources/upstream_tables.hpp"

namespace wind {

// z-x-z Euler rotation (Goldstein, Classical Mechanics, 4-4): the product
// Rz(psi) Rx(theta) Rz(phi) with Rz(a) = ((cos a, sin a, 0), (-sin a, cos a, 0),
// (0, 0, 1)) and Rx(b) = ((1, 0, 0), (0, cos b, sin b), (0, -sin b, cos b)).
// Sines and cosines are taken of the float angles in double precision; each
// element is rounded to float once.
Mat3 eulerRotation(float phi, float theta, float psi);

// The angle psi (radians, rounded to float) of the rotation into wind axes for
// a wind direction in degrees.
float windAxesAngle(float direction);

// eulerRotation(0, 0, windAxesAngle(direction)).
Mat3 windAxesRotation(float direction);

// (R M) R^T with the Mat3 product, each product rounded to float.
Mat3 toWindAxes(const Mat3& R, const Mat3& M);

// The rotation into wind axes, or none (std::nullopt: the file's axes are
// taken as wind axes, element by element).
using WindAxes = std::optional<Mat3>;

// The terrain line in wind axes, as the upstream-memory tables take it
// (UpstreamLine, sources/upstream_tables.hpp), with h the chosen height
// (0-based, within the file's rows). All arrays 0-based: points j = 0 .. nP-1,
// heights i = 0 .. nH-1.
//   dist[j]    horizontal distance of point j from point 0
//   heights[i] the file's heights
//   U[i][j]    along-wind speed, the x component of R wind[i][j]
//   Su[i][j]   element (0, 0) of the first matrix in wind axes
//   Sv[i][j]   element (1, 1) of the first matrix in wind axes
//   S[i]       element (0, 2) of the second matrix in wind axes at point 0
//   Sp[j]      element (0, 2) of the second matrix in wind axes at height h:
//              the shear along the line at the chosen height
UpstreamLine windAxesLine(const KestavLine& line, const WindAxes& R, int h);

// S0 = ustar / (0.4 z), the shear of the logarithmic profile at z, with the
// single-precision von Karman constant, rounded to float.
float logProfileShear(float ustar, float z);

}  // namespace wind
