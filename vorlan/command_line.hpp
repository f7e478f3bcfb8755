#pragma once
// The simulator's command line.
//
// Classic form: `vorlan [FILE]`. The parameter file is argv[1] when exactly one
// argument is given, otherwise kDefaultInputFile; this never changes.
//
// Options extend it. Each recognised option (and its value) is taken out of
// the argument list first; the classic rule then applies to what is left, so a
// command line without options behaves exactly as it always did. A word that
// begins with "--" is always an option: one the program does not know ends the
// run ("Unknown option --seed (vorlan --help lists the options)") instead of
// being taken for a file name, which would leave the classic rule to read the
// default file. Other words ("-5", "box.inp") are what they always were.
//
//   --help, -h             usage and the parameter file format in brief
//   --version              the program's version
//   --seeds LIST           run the parameter file once per seed; LIST is a
//                          comma-separated list of seeds or inclusive ranges
//                          A:B (step +-1), e.g. -1,-2,-5:-8; the files of
//                          seed S get "_seed|S|" before their extension
//   --threads N            number of threads (N >= 1); default OMP_NUM_THREADS,
//                          or all cores
//   --layout NAME          output layout: classic (default) or inflowwind
//   --random NAME          random stream: classic (default) or counter
//                          (synthesis/turb3d.hpp; three-dimensional fields)
//   --format NAME          raw (the float32 files; default), bts (TurbSim's
//                          full-field binary) or wnd (Bladed-style .wnd/.sum)
//   --wind-speed V         mean wind speed U (m/s) and hub height (m) of a
//   --hub-height Z         source that states none (handover/placement.hpp)
//   --grid-bottom B        height of the grid's lowest row (m); default: the
//                          grid centred on the hub
//   --hub-on-row           row N3/2 exactly at the hub height
//   --profile P            mean wind profile of a .bts or .wnd file:
//                          power:ALPHA, log:Z0 or none (handover/mean_profile.hpp)
//   --scale iec            each component scaled to IEC's target standard
//                          deviation before anything is written (iec source)
//   --hub-series           the hub-height series of InflowWind's uniform wind
//                          (handover/hub_series.hpp)
//   --openfast-template F  a copy of the InflowWind input F filled in for what
//                          the run writes (handover/inflowwind_template.hpp)
//   --openfast-input       the same from the shipped InflowWind input
//   --constraints FILE     measured series the box must hold
//                          (handover/constraints_file.hpp)
// Each option also takes the form --name=value.
//
// Failure: a missing or malformed option value ends the run through fatalError
// with a message that names the option and the value (a number beyond single
// precision among them); a value option given twice (in either form) ends it
// with "The option --seeds is given twice".
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "runner/driver.hpp"

namespace wind {

// A run's options (runner/driver.hpp: RunOptions, with the hand-over's
// HandOverOptions), and the two that end the program at once.
struct VorlanOptions : RunOptions {
  std::vector<std::string> fileArguments;  // the words that are no options, as given
  bool help = false;
  bool version = false;
};

VorlanOptions parseVorlanCommandLine(int argc, const char* const argv[]);

// What an open failure of the parameter file adds when the classic rule chose
// the default file: " (vorlan takes one parameter file; given 2, a.inp b.inp,
// it reads the default c:/Temp/sim.inp)"; "" when one file was given.
std::string defaultFileHint(const VorlanOptions& options);

// The text of --help and of --version, each ending in a newline.
void printVorlanHelp(std::ostream& out);
void printVorlanVersion(std::ostream& out);

// The comma-separated seed list of --seeds (see above). Each seed must be
// negative and at least -2147483648, else "--seeds: <s> is not a seed (a
// negative integer, at least -2147483648)", and given once, else "--seeds: the
// seed <s> comes twice in '<list>': list each seed once".
std::vector<long> parseSeedList(const std::string& text);

// The whole program: the command line parsed, --help or --version printed on
// listing, or the parameter file read (runner/driver.hpp: readParameterFile)
// and run (runSimulation); returns the exit status 0 (failures do not return).
// The echo and the summary go to echo; the Kaimal1d listing goes to listing
// (standard output in the overload without it).
int runVorlan(int argc, const char* const argv[], const SimulatorSteps& steps, std::ostream& echo,
              std::ostream& listing);
int runVorlan(int argc, const char* const argv[], const SimulatorSteps& steps, std::ostream& echo);

}  // namespace wind
