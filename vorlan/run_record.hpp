#pragma once
// The run record: one JSON file beside the first output file, named
// "<first output file>.json", that says what a run wrote and how to read it:
// the program and its version, the parameter file and the parsed input, the
// model parameters, the grid and its layout, one entry per output file with
// its units, value type, byte order and statistics, the scaling that would
// bring the field to a target standard deviation (IEC source only) and the
// lines of InflowWind's full-field binary box (WindType 5) that read it.
// docs/run-record.md describes every key.
//
// Order within a run: the stale record of an earlier run is removed as soon as
// the output files have been created (removeStaleRunRecord), so a run that
// fails later leaves none; the record is written only after every output file
// was written and closed. A record that cannot be removed or written ends the
// run through fatalError naming it.
//
// Numbers: input floats are written as the shortest decimal that reads back to
// the same float (0.1f as 0.1); statistics as doubles.

#include <array>
#include <cstdint>
#include <string>

#include "numerics/small_types.hpp"
#include "synthesis/constraints.hpp"
#include "vorlan/command_line.hpp"
#include "vorlan/field_arrays.hpp"
#include "vorlan/simulation_input.hpp"

namespace wind {

struct BoxConstraints;

// Mean, population standard deviation (divided by count), minimum and maximum
// of one component over the whole grid.
struct ComponentStatistics {
  std::int64_t count = 0;
  double mean = 0.0, std = 0.0, min = 0.0, max = 0.0;
};

// One pass over n floats, in double; the sums are taken about the first value
// so that a large mean does not cancel the variance.
ComponentStatistics componentStatistics(const float* data, std::int64_t n);

// Statistics of each of the nComp components, in component order.
std::array<ComponentStatistics, 3> fieldStatistics(const FieldArrays& fields);

// What the record needs beyond the input.
struct RunDescription {
  std::string parameterFile;  // as given on the command line
  OutputLayout layout = OutputLayout::classic;
  Vector3 limNormK;
  std::array<ComponentStatistics, 3> statistics;
  // --constraints: the series and what the synthesis made of them (both or neither).
  const BoxConstraints* constraints = nullptr;
  const Turb3dConstraintOutcome* constraintOutcome = nullptr;
};

// "<fname[0]>.json".
std::string runRecordName(const SimulationInput& in);

// Whether a run writes a record: unless its first output is a device or a pipe
// (/dev/null, say), where "<name>.json" would be a file beside the device.
bool writesRunRecord(const SimulationInput& in);

// Removes the record of an earlier run of the same first output name, if any.
void removeStaleRunRecord(const SimulationInput& in);

// The record's text (JSON, indented, ending in a newline). Relative names are
// taken relative to the current working directory.
std::string runRecordText(const SimulationInput& in, const RunDescription& run);

// Writes runRecordText to runRecordName (where writesRunRecord); failure: "Could not write the run
// record <name>".
void writeRunRecord(const SimulationInput& in, const RunDescription& run);

}  // namespace wind
