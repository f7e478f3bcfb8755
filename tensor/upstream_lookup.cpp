#include "tensor/upstream_lookup.hpp"

#include <cmath>

#include "numerics/interpolation.hpp"
#include "support/fatal_error.hpp"

namespace wind {

namespace {

// Ends of the kL grid and the step of its exponent.
constexpr float kKLMinF = 0.005f;
constexpr float kKLMaxF = 100.0f;
constexpr double kOneOver99 = 0.010101010101010102;

// Level factor of the roughness table.
constexpr float kRoughnessFactorF = 1.7f;

// Spline reading of one table: the end values outside the grid.
float readTable(const UpstreamTables::Table& kL, const UpstreamTables::Table& y,
                const UpstreamTables::Table& y2, float x) {
  if (x < kKLMinF) return y[0];
  if (x > kKLMaxF) return y[kKLGridSize - 1];
  return splint(kL, y, y2, x);
}

}  // namespace

float kLGrid(int i) {
  const double logRange = std::log(double(kKLMaxF) / double(kKLMinF));
  return static_cast<float>(kKLMinF * std::exp(logRange * i * kOneOver99));
}

float roughnessAlphaeps(const UpstreamTables& tables, float kL) {
  if (!tables.hasRoughness) fatalError(kRoughnessTableMissing);
  const float e = readTable(tables.kL, tables.energy, tables.energyD2, kL);
  return static_cast<float>(double(kRoughnessFactorF) * e);
}

float stretchFactor(const UpstreamTables& tables, float kL, int c) {
  if (!tables.hasStretch) fatalError(kStretchTablesMissing);
  if (c != 0 && c != 1) fatalError("stretchFactor: component must be 0 or 1");
  const float t = readTable(tables.kL, tables.strain[c], tables.strainD2[c], kL);
  return static_cast<float>(std::exp(double(t)));
}

}  // namespace wind
