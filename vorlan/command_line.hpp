#pragma once
// The simulator's command line.
//
// Classic form: `vorlan [FILE]`. The parameter file is argv[1] when exactly one
// argument is given, otherwise kDefaultInputFile; this never changes.
//
// Options extend it. Each recognised option (and its value) is taken out of
// the argument list first; the classic rule then applies to what is left, so a
// command line without options behaves exactly as it always did, and an
// unrecognised word is still taken for a file name.
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
//   --wind-speed U         the mean wind speed U (m/s) that convects the box,
//   --hub-height Z         and the hub height (m), for sources that state
//                          neither (basic, terrain); each a positive number
//   --grid-bottom H        the height (m, positive) of the grid's lowest row;
//                          default: the grid centred on the hub
//                          (vorlan/placement.hpp)
//   --constraints FILE     measured series the box must hold
//                          (vorlan/constraints_file.hpp)
// Each option also takes the form --name=value.
//
// Failure: a missing or malformed option value ends the run through fatalError
// with a message that names the option and the value.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace wind {

enum class OutputLayout { classic, inflowwind };

struct VorlanOptions {
  std::string inputFile;
  bool help = false;
  bool version = false;
  std::vector<long> seeds;  // empty: the parameter file's seed
  int threads = 0;          // 0: the OpenMP default
  OutputLayout layout = OutputLayout::classic;
  std::optional<double> windSpeed, hubHeight, gridBottom;  // m/s, m, m
  std::string constraintsFile;                             // empty: none
};

VorlanOptions parseVorlanCommandLine(int argc, const char* const argv[]);

// The text of --help and of --version, each ending in a newline.
void printVorlanHelp(std::ostream& out);
void printVorlanVersion(std::ostream& out);

// The comma-separated seed list of --seeds (see above). Each seed must be
// negative and at least -2147483648, else "--seeds: <s> is not a seed (a
// negative integer, at least -2147483648)".
std::vector<long> parseSeedList(const std::string& text);

// The output name of a file for one seed of --seeds: "_seed<|seed|>" inserted
// before the extension of the last path component ("out/u.bin", -3 ->
// "out/u_seed3.bin"), or appended when it has none ("u" -> "u_seed3"; a
// leading dot, as in ".u", is not an extension).
std::string seededFileName(const std::string& name, long seed);

}  // namespace wind
