#include "handover/placement.hpp"

#include <cmath>
#include <limits>

#include "support/fatal_error.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

std::string metres(double v) { return formatG6(v) + " m"; }

// Half the usable height, (N3 - 1) dz / 2.
double halfHeight(const BoxGrid& grid) { return (grid.N3 - 1) * spacingUp(grid) / 2.0; }

GridPlacement withBottom(const BoxGrid& grid, const WindAtHub& hub, double bottom) {
  GridPlacement p;
  p.windSpeed = hub.windSpeed;
  p.hubHeight = hub.hubHeight;
  p.gridBottom = bottom;
  p.gridTop = bottom + 2.0 * halfHeight(grid);
  p.referenceHeight = bottom + halfHeight(grid);
  return p;
}

void checkWindAtHub(const WindAtHub& hub) {
  if (!(hub.windSpeed > 0.0) || !std::isfinite(hub.windSpeed))
    fatalError("The mean wind speed U must be a positive number of m/s, not " +
               formatG6(hub.windSpeed));
  if (!(hub.hubHeight > 0.0) || !std::isfinite(hub.hubHeight))
    fatalError("The hub height must be a positive number of metres, not " +
               formatG6(hub.hubHeight));
}

// What would put the lowest row of a grid centred on the hub above ground:
// a smaller dz (for the same N3), or a smaller power of two N3 (for the same dz).
std::string whatWouldFit(const BoxGrid& grid, double hubHeight) {
  const double dz = spacingUp(grid);
  const double dzMax = 2.0 * hubHeight / (grid.N3 - 1);
  std::string s = "make dz smaller than " + metres(dzMax) + " (LMax3 below " +
                  metres(dzMax * grid.N3) + " at N3 = " + std::to_string(grid.N3) + ")";
  int n3 = 0;
  for (int n = 2; n < grid.N3; n *= 2)
    if ((n - 1) * dz < 2.0 * hubHeight) n3 = n;
  if (n3 >= 2)
    s += ", or N3 = " + std::to_string(n3) + " at dz = " + metres(dz) + " (LMax3 = " +
         metres(dz * n3) + ")";
  return s + ", or give --grid-bottom";
}

}  // namespace

BoxGrid boxGridOf(const SimulationInput& in) {
  return BoxGrid{in.NPoint[0], in.NPoint[1], in.NPoint[2],
                 Vector3(in.LMax[0], in.LMax[1], in.LMax[2])};
}

double spacingAlong(const BoxGrid& grid) { return double(grid.Lbox.x) / grid.N1; }
double spacingAcross(const BoxGrid& grid) { return double(grid.Lbox.y) / grid.N2; }
double spacingUp(const BoxGrid& grid) { return double(grid.Lbox.z) / grid.N3; }
double timeStep(const BoxGrid& grid, double windSpeed) { return spacingAlong(grid) / windSpeed; }

double parsePositiveNumber(const char* option, const std::string& text) {
  double v = 0.0;
  if (!parseDecimal(text, v) || !(v > 0.0) || !std::isfinite(v))
    fatalError(std::string(option) + ": '" + text + "' is not a positive number");
  // The files and the record hold it (or what follows from it) in single
  // precision: a value that is infinite or zero there is refused.
  if (v > double(std::numeric_limits<float>::max()) ||
      v < double(std::numeric_limits<float>::min()))
    fatalError(std::string(option) + ": '" + text +
               "' is beyond single precision: give a positive number from 1.17549e-38 to "
               "3.40282e+38");
  return v;
}

std::optional<WindAtHub> sourceWindAtHub(const SimulationInput& in) {
  switch (in.source) {
    case ParameterSource::iec:
      return WindAtHub{shortestDecimal(in.iec.V_hub), shortestDecimal(in.iec.z_hub)};
    case ParameterSource::land:
    case ParameterSource::sea:
      return WindAtHub{shortestDecimal(in.U0), shortestDecimal(in.z)};
    default:
      return std::nullopt;
  }
}

const char* sourceHeightLabel(const SimulationInput& in) {
  return in.source == ParameterSource::iec ? "z_hub" : "z";
}

WindAtHub resolveWindAtHub(const SimulationInput& in, std::optional<double> windSpeedOption,
                           std::optional<double> hubHeightOption, const std::string& what) {
  const std::optional<WindAtHub> own = sourceWindAtHub(in);
  const std::string source = sourceKeyword(in.source);
  if (own) {
    const bool iec = in.source == ParameterSource::iec;
    if (windSpeedOption)
      fatalError("--wind-speed: the " + source + " source gives the wind speed (" +
                 (iec ? "V_hub" : "U0") + " = " + formatG6(own->windSpeed) +
                 " m/s); leave the option out");
    if (hubHeightOption)
      fatalError("--hub-height: the " + source + " source gives the hub height (" +
                 sourceHeightLabel(in) + " = " + metres(own->hubHeight) +
                 "); leave the option out");
    return *own;
  }
  if (!windSpeedOption)
    fatalError(what + " needs --wind-speed for the " + source + " source");
  if (!hubHeightOption)
    fatalError(what + " needs --hub-height for the " + source + " source");
  return WindAtHub{*windSpeedOption, *hubHeightOption};
}

GridPlacement placeGrid(const BoxGrid& grid, const WindAtHub& hub,
                        std::optional<double> gridBottom) {
  checkWindAtHub(hub);
  if (gridBottom) {
    if (!(*gridBottom > 0.0) || !std::isfinite(*gridBottom))
      fatalError("--grid-bottom: the grid's lowest row must be above ground, not at " +
                 metres(*gridBottom));
    GridPlacement p = withBottom(grid, hub, *gridBottom);
    if (hub.hubHeight < p.gridBottom || hub.hubHeight > p.gridTop)
      fatalError("--grid-bottom " + formatG6(*gridBottom) + " puts the grid's rows from " +
                 metres(p.gridBottom) + " to " + metres(p.gridTop) + ": the hub at " +
                 metres(hub.hubHeight) + " lies outside them");
    return p;
  }
  const GridPlacement p = withBottom(grid, hub, hub.hubHeight - halfHeight(grid));
  if (!(p.gridBottom > 0.0))
    fatalError("The grid's lowest row would be at " + metres(p.gridBottom) +
               ", not above ground (hub height " + metres(hub.hubHeight) + ", N3 = " +
               std::to_string(grid.N3) + ", dz = " + metres(spacingUp(grid)) + "): " +
               whatWouldFit(grid, hub.hubHeight));
  return p;
}

GridPlacement placeGridHubOnRow(const BoxGrid& grid, const WindAtHub& hub) {
  checkWindAtHub(hub);
  const double dz = spacingUp(grid);
  const GridPlacement p = withBottom(grid, hub, hub.hubHeight - (grid.N3 / 2 - 1) * dz);
  if (!(p.gridBottom > 0.0))
    fatalError("--hub-on-row puts the grid's lowest row at " + metres(p.gridBottom) +
               ", not above ground (hub height " + metres(hub.hubHeight) + ", N3 = " +
               std::to_string(grid.N3) + ", dz = " + metres(dz) + "): make dz smaller than " +
               metres(hub.hubHeight / (grid.N3 / 2 - 1)) + ", or leave --hub-on-row out");
  return p;
}

GridPlacement proposePlacement(const BoxGrid& grid, const WindAtHub& hub,
                               const std::string& heightLabel) {
  const GridPlacement centred = withBottom(grid, hub, hub.hubHeight - halfHeight(grid));
  if (centred.gridBottom > 0.0) return centred;
  const double dz = spacingUp(grid);
  GridPlacement lifted = withBottom(grid, hub, dz);
  lifted.warning = "The source's height " + heightLabel + " = " + metres(hub.hubHeight) +
                   " as the reference height would put the grid's lowest row at " +
                   metres(centred.gridBottom) + ", not above ground; proposed instead: the "
                   "reference height " + metres(lifted.referenceHeight) +
                   ", which puts the lowest row one spacing dz = " + metres(dz) +
                   " above ground (the hub is then " +
                   metres(lifted.referenceHeight - hub.hubHeight) +
                   " below the grid's middle row).";
  return lifted;
}

}  // namespace wind
