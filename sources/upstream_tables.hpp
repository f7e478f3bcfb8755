#pragma once
// Builders of the upstream-memory tables (tensor/upstream_lookup.hpp) from the
// arrays of a terrain flow-model line.
//
// The site is point 0 of a line of nP points; dist[j] is the horizontal
// distance of point j from it (dist[0] = 0, strictly rising). An eddy of
// dimensionless wave number kL remembers the flow upstream with the weight
// exp(-t / T), t the travel time from a point and T its memory time, which
// follows from the eddy lifetime tau(kL) (lifeTime, tensor/lifetime.hpp). For
// each of the 100 grid values kL_i the memory-weighted line integral is taken
// with the integral of an interpolating cubic spline over dist (splineIntegral),
// and the finished table gets its own spline over kL (natural start, zero end
// slope) for the lookups.
//
// buildRoughnessTable fills the energy table (roughness option): with
// lambda = tau U0 Gamma / S0 the memory length,
//   E_i = (kappa z)^(4/3) [ (1/lambda) int (S0 + Sp)^2 exp(-x / lambda) dx
//                           + (S0 + Sp[nP-1])^2 exp(-dist[nP-1] / lambda) ],
// the last term standing for everything beyond the line; a memory no longer
// than 5 dist[1] keeps the local level (kappa z)^(4/3) (S0 + Sp[0])^2.
// buildStretchTables fills the two strain tables (terrain option): the strain
// rates Su / U (along-wind) and Sv / U (cross-wind) at the chosen height,
// integrated over travel time with the memory weight. When the memory length
// with the logarithmic-profile speed, T (ustar / kappa) ln(zk / z0), is at most
// a quarter of the first spacing, the table holds instead
// T U[h][0] (f_0 + (f_1 - f_0) / dist[1]), f_j = Su[h][j] / U[h][j] (and the
// same with Sv).
//
// The line: UpstreamLine below. Checks (fatal, through fatalError): fewer
// than two points, distances that do not rise strictly, a height index outside
// 0..nH-1, an along-wind speed that is not positive where the strain tables
// divide by it, or arrays shorter than the counts. The builders allocate their
// work arrays per call and write only the tables they are given; they touch
// no other state.
#include <span>

#include "numerics/arrays.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind {

// The terrain line as the builders read it, in the axes of the mean wind
// (windAxesLine of sources/wind_axes.hpp fills it from a terrain file). All
// arrays 0-based: points j = 0 .. nP-1 along the line, heights i = 0 .. nH-1.
struct UpstreamLine {
  int nP = 0;      // points along the line
  int nH = 0;      // heights
  int h = 0;       // the chosen height (KESTAVHeightNo, 0-based)
  Vector dist;     // [nP] horizontal distance of point j from point 0
  Vector heights;  // [nH] height of each row (rising)
  Matrix U;        // [nH][nP] along-wind speed
  Matrix Su, Sv;   // [nH][nP] along-wind and cross-wind strain rates
  Vector S;        // [nH] vertical shear at point 0
  Vector Sp;       // [nP] vertical shear along the line at height h
};

// Fills tables.kL, tables.energy and tables.energyD2 and sets hasRoughness.
// z: site height; U0: site wind speed; S0 = ustar / (0.4 z), the shear of the
// logarithmic profile; Gamma from the site parameters. Reads nP, dist and Sp
// of the line.
void buildRoughnessTable(UpstreamTables& tables, float z, float U0, float S0, float Gamma,
                         const UpstreamLine& line);

// Fills tables.kL, tables.strain and tables.strainD2 and sets hasStretch.
// z0 and ustar: the site's roughness length and friction velocity, as read from
// the terrain file; Gamma from the site parameters. Reads every array of the
// line but Sp.
void buildStretchTables(UpstreamTables& tables, float z0, float ustar, float Gamma,
                        const UpstreamLine& line);

// Value at height x of the profile ya over the rising heights xa (n of them;
// ya holds at least n values):
// linear interpolation inside, the lowest value below. Above the top the top
// value, or with decay the top value decaying exponentially with the e-folding
// height |ya[n-1] / s|, s the slope of the top interval (0 when the top value
// is 0; a single height has no slope and gives its value).
float profileInterp(std::span<const float> xa, std::span<const float> ya, float x, bool decay);

// Integral from x[0] to x[n-1], n = x.size(), of the cubic spline through
// (x_j, y_j) with second derivatives y2_j (y and y2 hold at least n values):
//   sum_j d_j (12 (y_j + y_{j+1}) - d_j^2 (y2_j + y2_{j+1})) / (24 per),
// d_j = x[j+1] - x[j], the sum taken from the far end (j = n-2) towards j = 0
// and divided once at the end. per = 1 gives the plain integral.
float splineIntegral(std::span<const float> x, std::span<const float> y,
                     std::span<const float> y2, float per = 1.0f);

}  // namespace wind
