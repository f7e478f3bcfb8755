#pragma once
// Turbulence at the hub: what a load engineer checks first.
//
// For each component, the standard deviation over time at the hub and the
// turbulence intensity TI = std / U, next to the same over the whole box and,
// for the iec source, IEC's targets (sigma_1, 0.8 sigma_1, 0.5 sigma_1 and
// those over V_hub).
//
// At the hub: the box is frozen turbulence convected at U, so a point's time
// series is its line of N1 values along the wind. The hub is at y = 0, halfway
// between the two middle columns (N2 is even), and, on a grid centred on it,
// halfway between the two middle rows; no grid point is nearest. The figure is
// therefore taken over the four grid points around it: columns N2/2 - 1 and
// N2/2 (0-based) and the two rows k, k + 1 with z_k <= hub height < z_(k+1)
// (the top two rows when the hub is on the top row), and it is the square root
// of the mean of their four variances (each about that point's own time mean,
// population form). The record says "mean of the four grid points around it".
//
// The figures are those of the box as it stands (after --scale iec when
// given); u without its mean profile, which does not change a variance in
// time. Nothing is allocated; the box is read once per component.

#include <array>
#include <optional>
#include <span>

#include "synthesis/grid.hpp"
#include "vorlan/placement.hpp"

namespace wind {

inline constexpr const char* kHubPoints = "mean of the four grid points around it";

struct HubFigures {
  double height = 0.0;                       // m
  const char* points = kHubPoints;
  int nComp = 0;
  std::array<int, 3> components{};           // 1 u, 2 v, 3 w
  std::array<double, 3> std{}, TI{};         // at the hub
  std::array<double, 3> boxStd{}, boxTI{};   // over the whole box
  std::optional<std::array<double, 3>> sigmaTarget, TITarget;  // iec only
};

// values[c] is component components[c] (0-based) of a box in the classic
// layout; sigma1 (IEC's sigma_1) only for the iec source.
HubFigures hubFigures(const std::array<std::span<const float>, 3>& values,
                      const std::array<int, 3>& components, int nComp, const BoxGrid& grid,
                      const GridPlacement& placement, std::optional<double> sigma1);

}  // namespace wind
