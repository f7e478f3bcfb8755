#pragma once
// The wind at the hub as InflowWind returns it from the full field, and the
// hub-height file of InflowWind's uniform wind (WindType 2) written from it
// (vorlan's --hub-series, "<box>.hh").
//
// The series. InflowWind interpolates the full field bilinearly across the
// wind and up between the four grid points around a point. At the hub
// (y = 0, z = hub height) these are columns j0, j0 + 1 and rows k0, k0 + 1 of
// hubPoints (handover/hub_figures.hpp): with N2 even the hub lies halfway
// between the two columns (weights 1/2, 1/2), and at the fraction
// wz = (hub height - z_k0) / dz of the way from row k0 to row k0 + 1 (1 - wz,
// wz; wz = 0 with the hub on row k0, --hub-on-row). Each component is
//   c(t) = sum over the four points of their weight times (the box's value at
//          the point, plus for u the mean wind of the point's row),
// the mean wind of a row being the profile's at its height for a .bts or .wnd
// (whose u holds the profile) and U for the raw files (to which InflowWind
// adds its own profile, U at the hub). At t = n dt, dt = dx / U, the hub sees
// the box's plane (N1 - n) mod N1, as it does in the .bts and .wnd
// (handover/wind_file.hpp) and in the raw files of the inflowwind layout; the
// classic layout is read mirrored (docs/axes.md). The series holds
// n = 0 .. N1: the last line repeats the first, closing the period, since the
// uniform-wind reader interpolates between lines and holds the last one.
//
// The file. Text that InflowWind's uniform-wind reader takes: comment lines
// beginning with '!', then one line per time with 8 numbers separated by
// blanks: time (s), horizontal speed sqrt(u^2 + v^2) (m/s), direction
// atan2(v, u) (degrees, positive counter-clockwise seen from above, 0 along
// +x), vertical speed w (m/s), horizontal linear shear 0, the power-law
// exponent of the box's profile at the hub (power:ALPHA gives ALPHA, log:Z0
// the slope 1 / ln(hub height / Z0) of the log profile there, none 0), linear
// vertical shear 0 and gust speed 0. InflowWind then gives RefHt_Uni the hub
// height. The uniform wind carries no turbulence across the rotor: it serves
// controller tuning and hub-height checks, not loads.
//
// Numbers: computed in double from the float box; times to 9 significant
// digits, the rest to 7. Allocates the series (N1 + 1 values per component).

#include <array>
#include <string>
#include <vector>

#include "handover/hub_figures.hpp"
#include "handover/mean_profile.hpp"
#include "handover/placement.hpp"
#include "synthesis/grid.hpp"

namespace wind {

struct HubSeries {
  double height = 0.0;     // m
  double windSpeed = 0.0;  // U, m/s
  double dt = 0.0;         // s
  double rowWeight = 0.0;  // wz, the weight of the upper row k0 + 1
  HubPoints points;
  double shearExponent = 0.0;       // the profile's power-law exponent at the hub
  std::vector<double> u, v, w;      // at t = n dt, n = 0 .. N1; u with its mean
};

// The series of a box of the three components u, v, w from the four lines
// around the hub of each (lines[c], in the order of HubLines); meanInFile:
// the rows carry the profile (a .bts or .wnd), else U.
HubSeries hubSeries(const std::array<HubLines, 3>& lines, const BoxGrid& grid,
                    const GridPlacement& placement, const MeanProfile& profile, bool meanInFile);

// The hub-height file's text; about names the box in its comment lines.
std::string hubSeriesText(const HubSeries& s, const std::string& about);

// "<box>.hh".
std::string hubSeriesName(const std::string& box);

}  // namespace wind
