#include "vorlan/command_line.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <ostream>
#include <string_view>

#include "handover/placement.hpp"
#include "simulation/simulation_input.hpp"
#include "support/fatal_error.hpp"
#include "support/input_file.hpp"
#include "support/version.hpp"

namespace wind {

namespace {

// Seed lists longer than this are almost certainly a typo in a range.
constexpr long kMaxSeeds = 100000;

// A whole decimal integer (optional sign), or nullopt-like failure via ok.
bool parseLong(std::string_view text, long& value) {
  if (text.empty()) return false;
  const std::string s(text);
  char* end = nullptr;
  errno = 0;
  value = std::strtol(s.c_str(), &end, 10);
  return errno == 0 && end == s.c_str() + s.size();
}

RandomStreamKind parseRandomStream(const std::string& value) {
  if (value == "classic") return RandomStreamKind::classic;
  if (value == "counter") return RandomStreamKind::counter;
  fatalError("--random: '" + value + "' is not a random stream (classic or counter)");
}

}  // namespace

void printVorlanVersion(std::ostream& out) { out << "vorlan " << kVersion << '\n'; }

void printVorlanHelp(std::ostream& out) {
  out << R"(Usage: vorlan [OPTIONS] [FILE]

Synthesises a periodic Gaussian turbulent wind field from the parameter file
FILE (default c:/Temp/sim.inp) and writes one raw float32 file per velocity
component (little-endian, no header, last index fastest). The echo of the
input and a summary go to standard error.

Options:
  --seeds LIST      one run per seed, e.g. -1,-2,-3 or -1:-6 (ranges inclusive;
                    seeds negative, at least -2147483648); the parameter file's
                    seed is not used, and each seed S writes its files with
                    _seed|S| before the extension (u.bin -> u_seed3.bin for -3)
                    and its own run record; the amplitudes are computed once
  --threads N       number of threads (default OMP_NUM_THREADS, else all cores)
  --layout NAME     classic (default) or inflowwind (for OpenFAST's InflowWind)
  --random NAME     classic (default) or counter: each wave vector's deviates
                    from a counter-based generator, so that no stage is
                    sequential (three-dimensional fields; another field than
                    the classic stream's for the same seed)
  --format NAME     raw (the float32 files, default), bts (TurbSim's .bts),
                    wnd (Bladed-style .wnd and .sum), periodic, with the mean
                    wind profile added, or netcdf (the .nc an LES code's
                    synthetic-turbulence inflow reads, without the mean
                    wind); named after the box (iec_u.bin,
                    iec_v.bin, iec_w.bin give iec.bts)
  --wind-speed V    mean wind speed (m/s) and hub height (m) where the source
  --hub-height Z    gives none (basic, terrain)
  --grid-bottom B   height of the lowest grid row (m); default: grid centred
                    on the hub
  --hub-on-row      a grid row exactly at the hub height (row N3/2, the grid
                    half a spacing higher than centred); across the wind
                    InflowWind centres the grid, so with N2 even the hub lies
                    between the two middle columns
  --profile P       mean profile of .bts/.wnd: power:ALPHA, log:Z0 or none
                    (default power:0.2; land and sea log with their z0)
  --scale iec       scale u, v, w to IEC's sigma_1, 0.8 and 0.5 sigma_1 (iec)
  --hub-series      write <box>.hh, the wind InflowWind returns at the hub as
                    the series its uniform wind (WindType 2) reads
  --openfast-input  write <box>_InflowWind.dat, a complete InflowWind input
                    (the one shipped with vorlan, examples/InflowWind.dat)
                    filled in for the files of the run, its output point at
                    the hub and, with --hub-series, its uniform wind's file
  --openfast-template FILE
                    the same from your own InflowWind input FILE, beside the
                    first output (only the lines of the run's files change)
  --constraints FILE
                    series the box must hold at given points (met mast,
                    lidar): a header 'time u(y,z) v(y,z) w(y,z) ...' (y m to
                    the left of the grid's centre, z m above ground), then one
                    row per time (s); three-dimensional boxes
  --help, -h        this text
  --version         the version

Parameter file: values separated by white space, in this order:
  fieldDim          1, 2 or 3
  nComp             1, 2 or 3
  components        nComp numbers 1..3 (only when nComp is 1 or 2)
  absentDim         the missing axis 1..3 (only when fieldDim is 2)
  NPoint            fieldDim powers of two, at least 2
  LMax              fieldDim box lengths (m)
  source            a line: basic, land, sea, terrain, iec, Kaimal1d or 2D
  source values     basic:    alphaeps L Gamma
                    land:     U0 z z0 SpecType   (SpecType 0 Kaimal, 1 Simiu, 2 ESDU)
                    sea:      U0 z SpecType
                    terrain:  terrain file (a line), height number,
                              Terrain (true/false), Roughness (true/false), SpecType
                    iec:      category (A, B, C or Iref) V_hub z_hub
                    Kaimal1d: ustar z U0
                    2D:       sig2_2D L_2D
  seed              a negative integer
  file names        nComp output files, one per component
Components: 1 along the mean wind, 2 across it (to the left looking
downwind), 3 up.
)";
}

std::vector<long> parseSeedList(const std::string& text) {
  std::vector<long> seeds;
  std::string_view rest(text);
  const auto bad = [&] { fatalError("--seeds: cannot read the seed list '" + text + "'"); };
  if (rest.empty()) bad();
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (comma != std::string_view::npos && rest.empty()) bad();
    // A range A:B; the colon cannot be a sign, so the first one splits it.
    const std::size_t colon = item.find(':');
    long a = 0, b = 0;
    if (colon == std::string_view::npos) {
      if (!parseLong(item, a)) bad();
      b = a;
    } else if (!parseLong(item.substr(0, colon), a) || !parseLong(item.substr(colon + 1), b)) {
      bad();
    }
    const long step = a <= b ? 1 : -1;
    for (long s = a;; s += step) {
      if (static_cast<long>(seeds.size()) >= kMaxSeeds)
        fatalError("--seeds: more than 100000 seeds in '" + text + "'");
      seeds.push_back(s);
      if (s == b) break;
    }
  }
  // The same rule as the parameter file's seed: the engines start their
  // generator from a negative 32-bit state.
  for (const long s : seeds)
    if (s >= 0 || s < std::numeric_limits<std::int32_t>::min())
      fatalError("--seeds: " + std::to_string(s) +
                 " is not a seed (a negative integer, at least -2147483648)");
  // A seed twice would write the same files twice.
  std::vector<long> sorted = seeds;
  std::sort(sorted.begin(), sorted.end());
  const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
  if (twice != sorted.end())
    fatalError("--seeds: the seed " + std::to_string(*twice) + " comes twice in '" + text +
               "': list each seed once");
  return seeds;
}

VorlanOptions parseVorlanCommandLine(int argc, const char* const argv[]) {
  VorlanOptions options;
  std::vector<const char*> rest{argc > 0 ? argv[0] : "vorlan"};
  std::vector<std::string_view> given;  // the value options met so far
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    // The value of an option: --name=value, or the next argument. A value
    // option given a second time is refused: which one was meant is unknown.
    const auto valueOf = [&](std::string_view name, std::string& value) {
      const bool bare = arg == name;
      if (!bare && !(arg.size() > name.size() && arg.substr(0, name.size()) == name &&
                     arg[name.size()] == '='))
        return false;
      if (std::find(given.begin(), given.end(), name) != given.end())
        fatalError("The option " + std::string(name) + " is given twice");
      given.push_back(name);
      if (bare) {
        if (i + 1 >= argc) fatalError(std::string(name) + " needs a value");
        value = argv[++i];
      } else {
        value = std::string(arg.substr(name.size() + 1));
      }
      return true;
    };
    std::string value;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--hub-on-row") {
      options.hubOnRow = true;
    } else if (arg == "--hub-series") {
      options.hubSeries = true;
    } else if (arg == "--openfast-input") {
      options.openfastInput = true;
    } else if (valueOf("--seeds", value)) {
      options.seeds = parseSeedList(value);
    } else if (valueOf("--threads", value)) {
      long n = 0;
      if (!parseLong(value, n) || n < 1 || n > 4096)
        fatalError("--threads: '" + value + "' is not a thread count from 1 to 4096");
      options.threads = static_cast<int>(n);
    } else if (valueOf("--layout", value)) {
      if (value == "classic") {
        options.layout = OutputLayout::classic;
      } else if (value == "inflowwind") {
        options.layout = OutputLayout::inflowwind;
      } else {
        fatalError("--layout: '" + value + "' is not a layout (classic or inflowwind)");
      }
    } else if (valueOf("--random", value)) {
      options.random = parseRandomStream(value);
    } else if (valueOf("--format", value)) {
      options.format = parseWindFileFormat(value);
    } else if (valueOf("--wind-speed", value)) {
      options.windSpeed = parsePositiveNumber("--wind-speed", value);
    } else if (valueOf("--hub-height", value)) {
      options.hubHeight = parsePositiveNumber("--hub-height", value);
    } else if (valueOf("--grid-bottom", value)) {
      options.gridBottom = parsePositiveNumber("--grid-bottom", value);
    } else if (valueOf("--profile", value)) {
      options.profile = parseMeanProfile(value);
    } else if (valueOf("--scale", value)) {
      if (value != "iec") fatalError("--scale: '" + value + "' is not a scaling (iec)");
      options.scaleIec = true;
    } else if (valueOf("--openfast-template", value)) {
      if (value.empty()) fatalError("--openfast-template needs a file name");
      options.openfastTemplate = value;
    } else if (valueOf("--constraints", value)) {
      if (value.empty()) fatalError("--constraints needs a file name");
      options.constraintsFile = value;
    } else if (arg.starts_with("--")) {
      // Never a file name: a mistyped option must not leave the classic rule
      // to pick another parameter file.
      fatalError("Unknown option " + std::string(arg) + " (vorlan --help lists the options)");
    } else {
      rest.push_back(argv[i]);
      options.fileArguments.emplace_back(argv[i]);
    }
  }
  options.inputFile = inputFileName(static_cast<int>(rest.size()), rest.data());
  return options;
}

std::string defaultFileHint(const VorlanOptions& options) {
  const std::size_t n = options.fileArguments.size();
  if (n == 1) return "";
  if (n == 0)
    return std::string(" (no parameter file was given, so vorlan reads the default ") +
           kDefaultInputFile + "; run vorlan FILE)";
  std::string given;
  for (const std::string& a : options.fileArguments) given += " " + a;
  return " (vorlan takes one parameter file; given " + std::to_string(n) + ":" + given +
         ", it reads the default " + kDefaultInputFile + ")";
}

int runVorlan(int argc, const char* const argv[], const SimulatorSteps& steps, std::ostream& echo,
              std::ostream& listing) {
  PreparedRuns prepared;
  const VorlanOptions options = parseVorlanCommandLine(argc, argv);
  if (options.help || options.version) {
    if (options.help) printVorlanHelp(listing);
    else printVorlanVersion(listing);
    listing.flush();
    return 0;
  }
  prepared.options = options;
  // The classic rule chose the default file: should it not open, say why it
  // was the one read.
  if (options.fileArguments.size() != 1)
    openInputFile(options.inputFile, "Could not open file (in vorlan)", defaultFileHint(options));
  readParameterFile(prepared, steps.parameterSource, echo);
  return runSimulation(prepared, steps, echo, listing);
}

int runVorlan(int argc, const char* const argv[], const SimulatorSteps& steps, std::ostream& echo) {
  return runVorlan(argc, argv, steps, echo, std::cout);
}

}  // namespace wind
