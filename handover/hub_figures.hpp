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
// halfway between the two middle rows; no grid point is nearest. InflowWind
// returns there the bilinear interpolation of the four grid points around
// it: columns N2/2 - 1 and N2/2 (0-based), weight 1/2 each, and the two rows
// k, k + 1 with z_k <= hub height < z_(k+1) (the top two rows when the hub is
// on the top row), weights 1 - t and t with t = (hub height - z_k) / dz. The
// figure is the standard deviation over time (population form, about its own
// time mean) of that interpolated series, formed in double. The record says
// "bilinear interpolation of the four grid points around it".
//
// The figures are those of the box as it stands (after --scale iec when
// given); u without its mean profile, which does not change a variance in
// time. The figures over the whole box (boxStd, boxTI) are the run record's
// statistics, which the record fills in (withBoxStatistics), so that a box
// cut into slabs across processes gives the same bits.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "handover/placement.hpp"
#include "synthesis/grid.hpp"

namespace wind {

inline constexpr const char* kHubPoints =
    "bilinear interpolation of the four grid points around it, as InflowWind reads the hub";

struct HubFigures {
  double height = 0.0;                       // m
  const char* points = kHubPoints;
  int nComp = 0;
  std::array<int, 3> components{};           // 1 u, 2 v, 3 w
  std::array<double, 3> std{}, TI{};         // at the hub
  std::array<double, 3> boxStd{}, boxTI{};   // over the whole box
  std::optional<std::array<double, 3>> sigmaTarget, TITarget;  // iec only
};

// The four grid points around the hub: columns j0, j0 + 1 and rows k0, k0 + 1
// (0-based), and the hub's place between the rows, t (0 at k0, 1 at k0 + 1),
// as above.
struct HubPoints {
  std::int64_t j0 = 0, k0 = 0;
  double t = 0.0;
};
HubPoints hubPoints(const BoxGrid& grid, const GridPlacement& placement);

// The time series of the four points of one component, N1 values each in
// plane order: (j0, k0), (j0, k0 + 1), (j0 + 1, k0), (j0 + 1, k0 + 1).
using HubLines = std::array<std::vector<float>, 4>;

// Point p's line (in the order above) of the planes i0 .. i0 + n - 1 of a block
// that holds them with element (i, j, k) at ((i - i0) N2 + j) N3 + k; appended.
void appendHubLines(std::span<const float> block, std::int64_t n, const BoxGrid& grid,
                    HubPoints at, HubLines& lines);

// lines[c] are the four points of component components[c] (0-based) at the
// points `at`; sigma1 (IEC's sigma_1) only for the iec source.
HubFigures hubFigures(const std::array<HubLines, 3>& lines, HubPoints at,
                      const std::array<int, 3>& components, int nComp,
                      const GridPlacement& placement, std::optional<double> sigma1);

// The same from a whole box in the classic layout: values[c] is component
// components[c].
HubFigures hubFigures(const std::array<std::span<const float>, 3>& values,
                      const std::array<int, 3>& components, int nComp, const BoxGrid& grid,
                      const GridPlacement& placement, std::optional<double> sigma1);

// The figures with the box's standard deviation of each component (the run
// record's statistics) as boxStd, and boxTI = boxStd / U.
HubFigures withBoxStatistics(HubFigures h, const std::array<double, 3>& boxStd, double U);

}  // namespace wind
