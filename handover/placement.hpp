#pragma once
// Where a three-dimensional box stands in a load simulation: the mean wind
// speed U that convects it, the hub height, and the heights of its rows.
//
// A box of N2 x N3 points across the wind and up, spacings dy = LMax_2/N2 and
// dz = LMax_3/N3, is read by InflowWind over its usable extent: the grid points
// themselves, (N2 - 1) dy wide and H = (N3 - 1) dz high, centred laterally on
// the hub (y = 0). Vertically its lowest row (index k = 1) is at the grid
// bottom and the others follow at dz; the reference height is the height of
// the middle row, bottom + H/2 (what InflowWind's raw-file section and the
// Bladed-style .wnd call the grid's centre).
//
//   centred on the hub (the default)  bottom = hub height - H/2
//   a given grid bottom               bottom as given; the hub must lie within
//                                     the rows [bottom, bottom + H]
//   the hub on a row (--hub-on-row)   bottom = hub height - (N3/2 - 1) dz: row
//                                     N3/2 (1-based) exactly at the hub, the
//                                     grid half a spacing higher than centred
//
// Across the wind InflowWind centres the grid on the hub (y = 0) whatever the
// grid, so with N2 even, as every power of two is, no column is at the hub: it
// lies halfway between columns N2/2 and N2/2 + 1 (1-based), and InflowWind
// returns the mean of the two there. Only the rows can be placed.
//
// A grid whose lowest row is at or below ground cannot be read (InflowWind
// stops, or sets the wind below ground to zero): placeGrid refuses it with a
// message that says which dz, LMax_3 or N3 would fit. proposePlacement is the
// gentler form for a run record without a wind file: it keeps the reference
// height at the hub where the grid fits above ground, and otherwise proposes
// the height that puts the lowest row one spacing dz above ground, with a
// warning that says so.
//
// The source states U and the hub height for iec (V_hub, z_hub) and for land
// and sea (U0, z): these are taken as the decimals that were typed. The other
// sources need them from the command line (--wind-speed, --hub-height).
//
// Failure: every refusal ends the run through fatalError with a message that
// names the value; nothing here allocates beyond the message strings.

#include <optional>
#include <string>

#include "simulation/simulation_input.hpp"
#include "synthesis/grid.hpp"

namespace wind {

// The mean wind speed that convects the box and the height it is given at.
struct WindAtHub {
  double windSpeed = 0.0;  // U, m/s
  double hubHeight = 0.0;  // m
};

struct GridPlacement {
  double windSpeed = 0.0;        // U, m/s
  double hubHeight = 0.0;        // m
  double gridBottom = 0.0;       // height of the lowest row (k = 1), m
  double gridTop = 0.0;          // height of the highest row (k = N3), m
  double referenceHeight = 0.0;  // height of the middle row, (bottom + top)/2, m
  std::string warning;           // empty: none
};

// The box grid of a three-dimensional input (NPoint and LMax).
BoxGrid boxGridOf(const SimulationInput& in);

// Spacings of a box grid, LMax_d / N_d in double, and the time step dx / U of
// the box convected at windSpeed (every file and record that states one).
double spacingAlong(const BoxGrid& grid);   // dx
double spacingAcross(const BoxGrid& grid);  // dy
double spacingUp(const BoxGrid& grid);      // dz
double timeStep(const BoxGrid& grid, double windSpeed);

// The positive decimal number of a command-line option's value; anything else
// (empty, trailing text, zero, negative, infinite, NaN) ends the run with
// "<option>: '<text>' is not a positive number", and a number beyond the
// normal single-precision range (above 3.40282e+38, below 1.17549e-38) with
// "<option>: '<text>' is beyond single precision: ...".
double parsePositiveNumber(const char* option, const std::string& text);

// U and the hub height that the source states: iec (V_hub, z_hub), land and sea
// (U0, z); nullopt for the others.
std::optional<WindAtHub> sourceWindAtHub(const SimulationInput& in);

// U and the hub height of a run that writes a wind file (what names it, e.g.
// "--format bts", goes into the messages): the source's, or the options' for
// a source that states none. An option given for a source that states its own
// value is refused ("--wind-speed: the iec source gives the wind speed
// (V_hub = 11.4 m/s); leave the option out"), as is a missing one for a
// source that does not ("--format bts needs --wind-speed for the basic
// source").
WindAtHub resolveWindAtHub(const SimulationInput& in, std::optional<double> windSpeedOption,
                           std::optional<double> hubHeightOption, const std::string& what);

// The placement of a wind file's grid: centred on the hub, or with its lowest
// row at gridBottom. Refuses a lowest row at or below ground, a hub outside the
// rows of a given grid bottom, and a non-positive or non-finite U or hub height.
GridPlacement placeGrid(const BoxGrid& grid, const WindAtHub& hub,
                        std::optional<double> gridBottom);

// The placement that puts row N3/2 (1-based) exactly at the hub height (see
// above); refuses a lowest row at or below ground ("--hub-on-row puts the
// grid's lowest row at ...") and a non-positive or non-finite U or hub height.
GridPlacement placeGridHubOnRow(const BoxGrid& grid, const WindAtHub& hub);

// The reference height a run record proposes (no refusal): the hub height when
// the grid centred there stays above ground, else the height that puts the
// lowest row at dz, with a warning naming heightLabel (e.g. "z", "z_hub").
GridPlacement proposePlacement(const BoxGrid& grid, const WindAtHub& hub,
                               const std::string& heightLabel);

// The source's own name for its height: "z_hub" for iec, "z" for land and sea.
const char* sourceHeightLabel(const SimulationInput& in);

}  // namespace wind
