#pragma once
// The simulator's parameter-source steps: for the land, sea and terrain
// sources the model parameters alphaeps, L and Gamma are derived from site data
// while the parameter file is read (right after SpecType, before the seed).
//
//   land     checkedLandParams(U0, z, z0, SpecType)
//   sea      checkedSeaParams(U0, z, SpecType)
//   terrain  read the terrain flow-model file; checkedLandParams on its site
//            values (U0, z, z0); turn its vectors and matrices into wind axes;
//            build the stretch tables (Terrain option) and the roughness table
//            (Roughness option) of the run.
//   basic, Kaimal1d, 2D: nothing; the values read are the parameters.
//
// Wind axes. The file gives the mean-wind direction in degrees, the direction
// the wind blows from (270: from the west, along +x of the file). The rotation
// about the vertical
//   psi = (direction + 90) * pi * (-1/180),   R = eulerRotation(0, 0, psi),
// with pi and -1/180 the single-precision constants 3.1415927410125732 and
// -0.0055555556900799274, takes the file's horizontal axes into wind axes
// (x along the mean wind, y across it, z unchanged): a vector v becomes R v and
// a matrix M becomes (R M) R^T. Direction 270 gives the identity up to the
// rounding of the single-precision pi (off-diagonal elements near 1.7e-7).
//
// The engines receive the derived alphaeps also when the roughness table is
// built: the simulator does not switch the tensor model to the table's energy
// level (alphaeps = 0). The table is there for any caller that does.
//
// Failure: every bad site or terrain file ends the run through fatalError with
// the message of the routine that finds it (the site routines, the terrain
// file reader, the table builders). Nothing is printed here besides the echo of
// the terrain file reader.

#include <iosfwd>

#include "numerics/arrays.hpp"
#include "numerics/small_types.hpp"
#include "sources/terrain_file.hpp"
#include "tensor/upstream_tables.hpp"
#include "vorlan/simulation_input.hpp"

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

// The terrain line in wind axes, as the upstream-memory tables take it. All
// arrays 0-based: points j = 0 .. nP-1, heights i = 0 .. nH-1.
//   dist[j]    horizontal distance of point j from point 0
//   U[i][j]    along-wind speed, the x component of R wind[i][j]
//   Su[i][j]   element (0, 0) of the first matrix in wind axes
//   Sv[i][j]   element (1, 1) of the first matrix in wind axes
//   S[i]       element (0, 2) of the second matrix in wind axes at point 0
struct WindAxesLine {
  Vector dist;
  Matrix U, Su, Sv;
  Vector S;
};
WindAxesLine windAxesLine(const KestavLine& line, const Mat3& R);

// Sp[j], element (0, 2) of the second matrix in wind axes at height h (0-based)
// and point j: the shear along the line at the chosen height.
Vector windAxesShear(const KestavLine& line, const Mat3& R, int h);

// S0 = ustar / (0.4 z), the shear of the logarithmic profile at z, with the
// single-precision von Karman constant, rounded to float.
float logProfileShear(float ustar, float z);

// The three steps. landStep and seaStep write input.Gamma, input.L and
// input.alphaeps; terrainStep also fills tables (stretch tables if
// input.Terrain, roughness table if input.Roughness) and echoes the terrain
// file's site values on echo.
void landStep(SimulationInput& input);
void seaStep(SimulationInput& input);
void terrainStep(SimulationInput& input, UpstreamTables& tables, std::ostream& echo);

// The step for any source (declared with the driver): one of the three above,
// or nothing for basic, Kaimal1d and 2D.
void parameterSourceStep(SimulationInput& input, UpstreamTables& tables, std::ostream& echo);

}  // namespace wind
