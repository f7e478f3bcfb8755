#pragma once
// Upstream-memory tables of the terrain and roughness options, and their
// lookups by dimensionless wave number kL.
//
// An eddy of wave number k arriving at a site remembers the flow it met
// upstream for about one lifetime (lifeTime, tensor/lifetime.hpp). Integrating
// the mean-flow history along a line of upstream points with the weight
// exp(-t / T) gives, per kL, two kinds of table:
//   - roughness: the effective energy level E(kL), the memory-weighted mean of
//     the local equilibrium level (kappa z)^(4/3) S^2; the tensor model uses
//     roughnessAlphaeps(kL) = 1.7 E(kL) in place of a constant alphaeps;
//   - stretch: the accumulated along-wind (component 0) and cross-wind
//     (component 1) strain T_c(kL); the tensor model stretches its wave vector
//     by stretchFactor(kL, c) = exp(T_c(kL)).
// Every table lives on the same 100-point grid kLGrid(0 .. 99), logarithmic
// from 0.005 to 100, and is read by a natural-start cubic spline (Press et al.,
// Numerical Recipes, 3.3); below 0.005 the first entry and above 100 the last
// entry is returned.
//
// Ownership and state. An UpstreamTables object is a plain value holding both
// kinds of table. The terrain step of a driver fills it once with the builders
// of sources/upstream_tables.hpp (buildStretchTables, buildRoughnessTable) and
// from then on hands it read-only, as the `tables` pointer of a TensorModel
// (tensor/model.hpp), to the tensor routines (tensorAmplitude, spectralTensor
// and everything built on them). There is no process-wide table: every
// routine here is reentrant, and lookups allocate nothing.
//
// Failure: looking up a table that no builder has filled ends the run through
// fatalError ("roughness table not built: alphaeps = 0 needs the Roughness
// option" or "stretch tables not built: the Terrain stretch needs the Terrain
// option").
#include <array>

namespace wind {

inline constexpr int kKLGridSize = 100;

// The messages of a lookup in a table that no builder has filled.
inline constexpr const char* kRoughnessTableMissing =
    "roughness table not built: alphaeps = 0 needs the Roughness option";
inline constexpr const char* kStretchTablesMissing =
    "stretch tables not built: the Terrain stretch needs the Terrain option";

// kL_i = 0.005 exp(ln(100 / 0.005) i / 99), i = 0 .. 99, rounded to float.
float kLGrid(int i);

struct UpstreamTables {
  // Element i belongs to kL_i, i = 0 .. 99.
  using Table = std::array<float, kKLGridSize>;

  Table kL{};  // the grid, stored by whichever builder ran

  bool hasRoughness = false;
  Table energy{};    // E_i
  Table energyD2{};  // its spline second derivatives

  bool hasStretch = false;
  Table strain[2]{};    // T_0 (along-wind) and T_1 (cross-wind)
  Table strainD2[2]{};  // their spline second derivatives
};

// 1.7 E(kL).
float roughnessAlphaeps(const UpstreamTables& tables, float kL);

// exp(T_c(kL)), c = 0 along-wind, 1 cross-wind.
float stretchFactor(const UpstreamTables& tables, float kL, int c);

}  // namespace wind
