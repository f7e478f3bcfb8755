#pragma once
// The run record: one JSON file beside the first output file, named
// "<first output file>.json", that says what a run wrote and how to read it:
// the program and its version, the parameter file and the parsed input, the
// model parameters, the grid and its layout, one entry per output file with
// its units, value type, byte order and statistics (none when a .bts or .wnd
// file replaces the raw files), the scaling to IEC's target standard
// deviations (IEC source only), the wind file, the grid's placement and the
// turbulence at the hub, the constraints, and the values an InflowWind input
// needs to read the files (record/record_blocks.hpp). docs/run-record.md
// describes every key.
//
// The record is the last of a run's pending outputs (simulation/output_files.hpp):
// created with the field files, written once they are, and put under its name
// after them, when the whole run has succeeded; a run that fails leaves the
// earlier run's record and files as they were. An existing file under the
// record's name is replaced only when it is a vorlan run record
// (checkRecordReplaceable, before any work). Names that are not UTF-8 are
// kept byte for byte (record/json_bytes.hpp).
//
// Numbers: input floats are written as the shortest decimal that reads back to
// the same float (0.1f as 0.1); statistics as doubles.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "handover/hand_over.hpp"
#include "numerics/small_types.hpp"
#include "simulation/field_arrays.hpp"
#include "simulation/layout.hpp"
#include "simulation/plane_statistics.hpp"
#include "simulation/simulation_input.hpp"
#include "synthesis/constraints.hpp"
#include "synthesis/turb3d.hpp"

namespace wind {

struct BoxConstraints;

// What the record needs beyond the input.
struct RunDescription {
  std::string parameterFile;  // as given on the command line
  OutputLayout layout = OutputLayout::classic;
  Vector3 limNormK;
  std::array<ComponentStatistics, 3> statistics;
  RandomStreamKind random = RandomStreamKind::classic;  // the stream that made the field
  std::string program = "vorlan";  // the program that wrote the record
  int processes = 0;               // processes of an MPI run (a "processes" key), else 0
  const HandOver* handOver = nullptr;  // the run's hand-over (none: the classic files alone)
  HandOverRecord handed;               // what it did
  // --constraints: the series and what the synthesis made of them (both or neither).
  const BoxConstraints* constraints = nullptr;
  const Turb3dConstraintOutcome* constraintOutcome = nullptr;
};

// The hub figures with the box's own standard deviations (the statistics of
// the record's files) as the record gives them; none without a placement.
std::optional<HubFigures> recordedHubFigures(const RunDescription& run);

// "<fname[0]>.json".
std::string runRecordName(const SimulationInput& in);

// Whether a run writes a record: unless its first output is a device or a pipe
// (/dev/null, say), where "<name>.json" would be a file beside the device.
bool writesRunRecord(const SimulationInput& in);

// Whether the file begins as a run record does: {"record": "vorlan run record"
// (white space aside).
bool isRunRecord(const std::string& name);

// Ends the run through fatalError if a file exists under the record's name
// and is not a run record: "The run record would replace <name>, which is not
// a vorlan run record". Reads, writes nothing.
void checkRecordReplaceable(const std::string& name);

// The guard every run passes before its outputs are committed: ends the run
// through fatalError, before anything appears under its name, when a
// component's statistics are not finite ("The box's u component holds values
// that are not finite numbers (its mean is nan): ...") or any other figure of
// the record is not ("The run's hub.std[2] is inf, not a finite number: ..."),
// so that no box, wind-file header or record holding NaN or infinity is ever
// written. The statistics are sums in double of the floats, finite exactly
// when every value of the box is.
void checkFiniteRun(const SimulationInput& in, const RunDescription& run);

// The record's text (JSON, indented, ending in a newline). Relative names are
// taken relative to the current working directory; "path" is relative to the
// record's folder as the system resolves it.
std::string runRecordText(const SimulationInput& in, const RunDescription& run);

}  // namespace wind
