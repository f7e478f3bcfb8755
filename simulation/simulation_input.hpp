#pragma once
// The simulator's parameter file: the run-configuration record and its reader.
//
// The file holds values only, separated by any white space, in a fixed order:
//
//   fieldDim                      int, 1..3
//   nComp                         int, 1..3
//   components                    nComp ints 1..3 (only when nComp is 1 or 2)
//   absentDim                     int 1..3 (only when fieldDim is 2)
//   NPoint                        fieldDim ints, powers of two, at least 2
//   LMax                          fieldDim floats, metres, at least 1 mm
//   ParameterSource               a whole line: basic, land, sea, terrain,
//                                 Kaimal1d, 2D or iec
//   the source's values           basic:    alphaeps L Gamma
//                                 land:     U0 z z0 SpecType
//                                 sea:      U0 z SpecType
//                                 terrain:  terrainFile (a whole line),
//                                           KESTAVHeightNo, Terrain word (the
//                                           rest of its line is ignored),
//                                           Roughness word, SpecType
//                                 Kaimal1d: ustar z U0
//                                 2D:       sig2_2D L_2D
//                                 iec:      category (A, B, C or Iref),
//                                           V_hub z_hub (sources/iec.hpp)
//   seed                          long, negative
//   fname                         nComp words, one output file per component
//
// Integers are read in the base their prefix selects ("0x"/"0X" hexadecimal, a
// leading 0 octal, else decimal: "010" is 8, "08" is 0 followed by 8). Floats
// are decimal text rounded to single precision. Component numbers, absentDim
// and KESTAVHeightNo are given 1-based and stored 0-based.
//
// Echo on the echo stream (the console's standard error, which flushes after
// every item): the ParameterSource line with its length, the terrain source's
// KESTAVHeightNo, Terrain, Roughness and SpecType, the seed and the output
// names while they are read; the summary (printSummary) after the file is
// closed, floats with at most six significant digits.
//
// A UTF-8 byte-order mark at the start is skipped (support/console.hpp).
//
// Failure: every bad or missing value ends the run through fatalError (exit
// status 1) with a message that names it, with its line where the value
// itself is wrong, e.g. "Could not read NPoint from the input file: line 3
// holds 'x' where an integer is expected", "Number of points in each spatial
// dimension has to be a power of 2: NPoint = 30 on line 3 (value 3 of 3) is
// not one (16 and 32 lie nearest); ...", "The dimension of the field should be
// 1, 2 or 3".

#include <functional>
#include <iosfwd>
#include <string>

#include "numerics/small_types.hpp"
#include "sources/iec.hpp"
#include "sources/site_steps.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind {

class ValueReader;

enum class ParameterSource { basic, land, sea, terrain, Kaimal1d, TwoD, iec };

// Longest accepted file name (input, terrain and output files), in characters.
inline constexpr std::size_t kMaxFileName = 255;

// The simulator's default parameter file, used unless exactly one argument is given.
inline constexpr const char* kDefaultInputFile = "c:/Temp/sim.inp";

struct SimulationInput : SiteValues {
  int fieldDim = 0;
  int nComp = 0;
  int components[3] = {0, 1, 2};  // 0-based; for nComp 3 always 0, 1, 2
  int absentDim = 0;               // 0-based, two-dimensional fields only
  int NPoint[3] = {0, 0, 0};       // first fieldDim entries
  float LMax[3] = {0.0f, 0.0f, 0.0f};
  ParameterSource source = ParameterSource::basic;

  // The site values (SiteValues) hold the model parameters (params: alphaeps, L,
  // Gamma), read for basic and derived by the parameter-source step for land,
  // sea and terrain; Kaimal1d reads U0 and z there too.

  float ustar = 0.0f;                    // Kaimal1d only
  float sig2_2D = 0.0f, L_2D = 0.0f;     // 2D only
  IecSettings iec;                       // iec only

  long seed = 0;
  std::string fname[3];  // output file of each component, in component order
};

// The keyword of a source as written in the file ("basic", ..., "2D").
const char* sourceKeyword(ParameterSource s);

// The parameter-source step: derives alphaeps, L and Gamma from site data into
// the input record and, for terrain, fills the run's upstream-memory tables,
// which the engines then read. The reader calls it exactly once, right after
// the last value of a land, sea or terrain source (after SpecType) and before
// the seed, so its console output and failures come before the seed is read.
// It is not called for basic, Kaimal1d and 2D.
using SourceStep = std::function<void(SimulationInput&, UpstreamTables&, std::ostream& echo)>;

// A step that does nothing (the model parameters stay as read: zero for the
// derived sources).
void noSourceStep(SimulationInput&, UpstreamTables&, std::ostream&);

// Input file name from the command line: argv[1] when exactly one argument is
// given (argc == 2), otherwise kDefaultInputFile.
std::string inputFileName(int argc, const char* const argv[]);

// Reads the file from fieldDim up to and including the seed, checking and
// echoing every value, and calls sourceStep with tables where described above.
// Ends the run through fatalError on the first bad or missing value. The stream
// is switched to prefix-selected integer bases.
void readSimulationInput(std::istream& in, std::ostream& echo, SimulationInput& input,
                         UpstreamTables& tables, const SourceStep& sourceStep);

// Reads the values of input.source (the source's part of the file, in file
// order), checking each as the file's reader does; the source step is not run.
void readSourceValues(ValueReader& r, std::ostream& echo, SimulationInput& input);

// Reads the nComp output names (one word each, at most 255 characters) into
// input.fname, echoing "fname[i] <name>" for each; a missing one is named
// ("Could not read fname (output name 3 of 3) ..."). Nothing is created here:
// the driver first checks the names together (checkOutputNames) and then
// creates the files, so a bad name never costs an existing file its contents.
// Anything after the names is ignored, as files may keep notes there; if there
// is anything, the echo names it: "Ignored after the last output name: <the
// words>" (at most 8 words of at most 40 characters, then " ..."), and a
// second line says that a value too many earlier shifts the seed and the
// names (the words left over are then the last names).
void readOutputNames(std::istream& in, std::ostream& echo, SimulationInput& input);

// Wave-number limits |k_d L| of the three- and two-dimensional engines. Zero in
// every dimension when the box is a cube (three-dimensional field, LMax all
// equal) or a square (two-dimensional field, LMax_1 == LMax_2); otherwise 3 in
// the first dimension and 4 pi L / LMax_d in the others, twice the wave-number
// spacing of dimension d in units of 1/L. Not used for one-dimensional fields
// (all zero). For the 2D source, which has no L, L counts as 0.
Vector3 limNormK(const SimulationInput& in);

// A three-dimensional box whose cell integrals next to the origin do not
// converge (turb3dCellFailure, synthesis/turb3d.hpp: a box far longer along
// the wind than across it) ends the run here, before any file is created,
// naming LMax and what to change; other fields pass. tables are the run's
// upstream-memory tables (the terrain source's).
void checkBoxIntegrals(const SimulationInput& in, const UpstreamTables& tables,
                       const Vector3& limNormK);

// The summary printed after the input file is closed: field shape, grid, model
// parameters (those of the site, and with the Roughness option a line saying
// that the tensor model takes its level from the roughness table instead),
// seed, LimNormK and the output names; the stream is flushed.
void printSummary(std::ostream& echo, const SimulationInput& in, const Vector3& limNormK);

}  // namespace wind
