#pragma once
// What a run hands over to an aeroelastic code beyond the classic files: its
// options (HandOverOptions: vorlan's --layout, --format, --wind-speed,
// --hub-height, --grid-bottom, --hub-on-row, --profile, --scale iec,
// --openfast-template and --constraints) resolved against the input, and the steps of a run that carry
// them out.
//
//   planHandOver     after the parameter file is read, before any file is
//                    created: every refusal of the options (a format for a
//                    field that is not a box of three components, --layout
//                    inflowwind with a wind file, --scale iec without the iec
//                    source, a grid whose lowest row is at or below ground for
//                    a wind file or --constraints, a log profile whose Z0 is
//                    not below the lowest row and the hub, whatever the
//                    format, a wind file, filled template or seed's file to be
//                    named after a device, a template that cannot be read or
//                    lacks a key) happens here.
//   runOutputNames   the names a run writes: the classic files, or the .bts,
//                    or the .wnd and .sum; the hub series (--hub-series,
//                    handover/hub_series.hpp); then the filled InflowWind input.
//   handOverBox      after synthesis, on the classic layout: --scale iec and
//                    the hub figures; returns what the run record says of them.
//   writeWindFile    then the .bts or .wnd/.sum.
//
// Placement of the grid (handover/placement.hpp): a wind file needs the mean
// wind speed U and the hub height, from the source (iec, land, sea) or the
// options, and its lowest row above ground (placeGrid refuses otherwise). The
// classic files of a box whose U and hub height are known get a proposed
// placement for the record (proposePlacement: the reference height is moved up,
// with a warning, where the grid centred on the hub would reach the ground),
// or the placement of --grid-bottom; with --constraints they are placed as a
// wind file is (the series go where the grid stands).
//
// A wind file replaces the three raw files of the run: the run writes the
// .bts (or the .wnd and .sum) named after its box (boxName: "iec" for the
// outputs iec_u.bin, iec_v.bin, iec_w.bin), and its record, named after the
// first output as always, lists no raw files.
#include <array>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "handover/bts_file.hpp"
#include "handover/hub_figures.hpp"
#include "handover/hub_series.hpp"
#include "handover/iec_scaling.hpp"
#include "handover/inflowwind_template.hpp"
#include "handover/mean_profile.hpp"
#include "handover/netcdf_file.hpp"
#include "handover/placement.hpp"
#include "handover/wind_file.hpp"
#include "handover/wnd_file.hpp"
#include "simulation/field_arrays.hpp"
#include "simulation/layout.hpp"
#include "simulation/simulation_input.hpp"
#include "sources/iec.hpp"

namespace wind {

class OutputFiles;
struct ConstraintSeries;

// The options of the hand-over, as a command line gives them (vorlan's
// --layout, --format, --wind-speed, --hub-height, --grid-bottom, --hub-on-row,
// --profile, --scale, --hub-series, --openfast-template, --openfast-input and
// --constraints) or a library caller sets them; nothing set is a classic run.
struct HandOverOptions {
  OutputLayout layout = OutputLayout::classic;
  WindFileFormat format = WindFileFormat::raw;
  std::optional<double> windSpeed, hubHeight, gridBottom;
  bool hubOnRow = false;  // a grid row exactly at the hub height
  std::optional<MeanProfile> profile;
  bool scaleIec = false;
  bool hubSeries = false;        // the hub-height file of InflowWind's uniform wind
  std::string openfastTemplate;  // empty: none
  bool openfastInput = false;    // the shipped InflowWind input, filled
  std::string constraintsFile;   // empty: none
  // Series given in memory instead of a file (a library caller), read and
  // checked as the file is (parseConstraints, handover/constraints_file.hpp).
  std::shared_ptr<const ConstraintSeries> constraintSeries;
  bool constrained() const { return !constraintsFile.empty() || constraintSeries != nullptr; }
};

struct HandOver {
  WindFileFormat format = WindFileFormat::raw;
  std::optional<GridPlacement> placement;  // boxes whose U and hub height are known
  MeanProfile profile;
  bool scaleIec = false;
  bool hubSeries = false;    // --hub-series: "<box>.hh"
  std::string templateFile;  // --openfast-template; empty: none
  bool shippedTemplate = false;  // --openfast-input: the shipped input instead
  std::string templateText;  // its bytes, read once (or the shipped input's)
  bool fillsTemplate() const { return shippedTemplate || !templateFile.empty(); }
  std::optional<IecModel> iec;  // the iec source's model and targets, derived once
  std::string templateWarning;  // inflowWindScalingWarning; empty: none
};

HandOver planHandOver(const SimulationInput& in, const HandOverOptions& options);

// The files a run writes besides its record (see above), in creation order.
std::vector<std::string> runOutputNames(const SimulationInput& run, const HandOver& h);

// The wind file(s) of a run: the .bts, or the .wnd and .sum of its root.
std::vector<std::string> windFileNames(const SimulationInput& run, WindFileFormat f);

// What names the template in messages: its file, or "shipped with vorlan".
std::string templateLabel(const HandOver& h);

// The filled template's name, or "" when the run fills none: after the first
// output and the template for --openfast-template, "<box>_InflowWind.dat" for
// --openfast-input.
std::string filledTemplateOf(const SimulationInput& run, const HandOver& h);

// What InflowWind must be told of a run's files: their names relative to the
// folder of the file `from` (the filled template, which InflowWind reads names
// relative to), or absolute when from is empty (the run record).
InflowWindSettings inflowWindSettings(const SimulationInput& run, const HandOver& h,
                                      const std::string& from);

// One line on the echo after the summary when the run writes other files than
// the classic ones: "Writes <names>" (the wind files and the filled InflowWind
// input of the input's names), then "Warning: " and the template's warning if
// it has one; nothing otherwise, so that a classic run's echo stays as it was.
void printHandOver(std::ostream& echo, const SimulationInput& in, const HandOver& h);

// What the run record says of the hand-over.
struct HandOverRecord {
  std::optional<HubFigures> hub;
  std::optional<IecScaling> scaling;  // --scale iec applied
  std::optional<BtsQuantisation> bts;
  std::optional<WndQuantisation> wnd;
  std::optional<HubSeries> hubSeries;  // --hub-series
};

// --scale iec and the hub figures (and series), on the fields in the classic
// layout (before any other layout is made).
HandOverRecord handOverBox(const SimulationInput& run, const HandOver& h, FieldArrays& fields);

// The hub figures, and the hub series with --hub-series, into r from the four
// lines around the hub of each component (lines[c] of component
// run.components[c]; handover/hub_figures.hpp), however they were gathered.
void handOverHub(const std::array<HubLines, 3>& lines, const SimulationInput& run,
                 const HandOver& h, HandOverRecord& r);

// What the run hands over its box in, for descriptions: the .bts, the .wnd
// root, or the raw files' names.
std::string handedOverFiles(const SimulationInput& run, const HandOver& h);

// The hub series' text of a run (--hub-series), from what handOverHub found.
std::string hubSeriesTextOf(const SimulationInput& run, const HandOver& h,
                            const HandOverRecord& r);

// The .bts, the .wnd and .sum or the NetCDF file of a run (nothing for raw
// files) into the files created for it, from the fields in the classic
// layout after handOverBox (r: its hub figures and scaling, which the NetCDF
// file states); what the record says of them goes into r. random names the
// stream that made the box.
void writeWindFile(const SimulationInput& run, const HandOver& h, const FieldArrays& fields,
                   OutputFiles& files, const std::string& parameterFile, RandomStreamKind random,
                   HandOverRecord& r);

// Whether a format stores quantised total velocities, placed on the grid with
// the mean profile (bts, wnd), rather than the box's floats (raw, netcdf).
bool quantisedFormat(WindFileFormat f);

// What the NetCDF file of a run states (handover/netcdf_file.hpp), the
// statistics those of the values it holds.
NetcdfRun netcdfRun(const SimulationInput& run, const HandOver& h, const std::string& parameterFile,
                    RandomStreamKind random, const std::array<ComponentStatistics, 3>& statistics,
                    const HandOverRecord& r);
}  // namespace wind
