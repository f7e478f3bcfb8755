#include "fit/command_line.hpp"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string_view>
#include <tuple>
#include <vector>

#include "support/fatal_error.hpp"
#include "support/options.hpp"
#include "support/print_format.hpp"
#include "support/version.hpp"

namespace wind {

namespace {

// The planner's options: all of the first three (with the wind speed from the
// input where it has one) are needed once any is given.
constexpr const char* kPlanRequired[] = {"--hub-height", "--rotor-diameter", "--time"};

double number(const char* option, const std::string& text, bool zeroAllowed = false) {
  double v = 0;
  if (!parseDecimal(text, v) || !std::isfinite(v) || v < 0 || (v == 0 && !zeroAllowed))
    fatalError(std::string(option) + ": '" + text + "' is not a " +
               (zeroAllowed ? "number of at least 0" : "positive number"));
  return v;
}

// Comma-separated numbers, exactly n of them.
std::vector<double> numbers(const char* option, const std::string& text, std::size_t n,
                            const char* form, bool zeroAllowed) {
  std::vector<double> out;
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = text.find(',', from);
    const std::string item =
        text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    double v = 0;
    if (!parseDecimal(item, v) || !std::isfinite(v) || v < 0 || (v == 0 && !zeroAllowed))
      fatalError(std::string(option) + ": '" + text + "' is not " + form);
    out.push_back(v);
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  if (out.size() != n) fatalError(std::string(option) + ": '" + text + "' is not " + form);
  return out;
}

}  // namespace

std::pair<double, double> parseRange(const char* option, const std::string& text) {
  const std::size_t colon = text.find(':');
  double a = 0, b = 0;
  if (colon == std::string::npos || !parseDecimal(text.substr(0, colon), a) ||
      !parseDecimal(text.substr(colon + 1), b) || !(a >= 0) || !(b > a) || !std::isfinite(b))
    fatalError(std::string(option) + ": '" + text + "' is not a range A:B with 0 <= A < B");
  return {a, b};
}

FitCommand parseFitCommandLine(int argc, const char* const argv[]) {
  FitCommand cmd;
  OptionWalk walk(argc, argv);
  bool fileGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    // --name=value or --name value, each at most once (support/options.hpp).
    const auto valueOf = [&](std::string_view name, std::string& value) {
      return walk.value(i, name, value);
    };
    const auto flag = [&](std::string_view name) { return walk.flag(i, name); };
    const auto seriesOption = [&](const char* name) {
      if (cmd.seriesOptionGiven.empty()) cmd.seriesOptionGiven = name;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      cmd.help = true;
    } else if (arg == "--version") {
      cmd.version = true;
    } else if (valueOf("--segment", v)) {
      cmd.series.segment = number("--segment", v);
      seriesOption("--segment");
    } else if (valueOf("--window", v)) {
      cmd.series.window = number("--window", v);
      seriesOption("--window");
    } else if (flag("--detrend")) {
      cmd.series.detrend = true;
      seriesOption("--detrend");
    } else if (valueOf("--frequency-range", v)) {
      std::tie(cmd.series.fMin, cmd.series.fMax) = parseRange("--frequency-range", v);
      seriesOption("--frequency-range");
    } else if (flag("--skip-missing")) {
      cmd.skipMissing = true;
    } else if (valueOf("--bands", v)) {
      const double n = number("--bands", v);
      if (n != std::floor(n) || n > 1000)
        fatalError("--bands: '" + v + "' is not a whole number from 1 to 1000");
      cmd.bands = static_cast<int>(n);
    } else if (valueOf("--k-range", v)) {
      std::tie(cmd.fit.kMin, cmd.fit.kMax) = parseRange("--k-range", v);
    } else if (valueOf("--weights", v)) {
      const auto w = numbers("--weights", v, 4,
                             "four weights U,V,W,UW of at least 0 (1,1,1,0 leaves uw out)", true);
      std::copy(w.begin(), w.end(), cmd.fit.weights.begin());
    } else if (valueOf("--alphaeps", v)) {
      cmd.fit.fixed[0] = number("--alphaeps", v);
    } else if (valueOf("--L", v)) {
      cmd.fit.fixed[1] = number("--L", v);
    } else if (valueOf("--Gamma", v)) {
      cmd.fit.fixed[2] = number("--Gamma", v, true);
    } else if (valueOf("--start", v)) {
      const auto s =
          numbers("--start", v, 3,
                  "three start values alphaeps,L,Gamma (positive, Gamma at least 0)", false);
      cmd.fit.start = ModelParameters{static_cast<float>(s[0]), static_cast<float>(s[1]),
                                      static_cast<float>(s[2])};
    } else if (valueOf("--json", v)) {
      if (v.empty()) fatalError("--json needs a file name");
      cmd.json = v;
    } else if (valueOf("--wind-speed", v)) {
      cmd.windSpeed = number("--wind-speed", v);
    } else if (valueOf("--hub-height", v)) {
      cmd.hubHeight = number("--hub-height", v);
    } else if (valueOf("--rotor-diameter", v)) {
      cmd.rotorDiameter = number("--rotor-diameter", v);
    } else if (valueOf("--time", v)) {
      cmd.time = number("--time", v);
    } else if (valueOf("--dt", v)) {
      cmd.dt = number("--dt", v);
    } else if (valueOf("--margin", v)) {
      cmd.margin = number("--margin", v, true);
    } else if (valueOf("-o", v)) {
      if (v.empty()) fatalError("-o needs a file name");
      cmd.output = v;
    } else if (arg.starts_with("--")) {
      fatalError("Unknown option " + std::string(arg) + " (corvel-fit --help lists the options)");
    } else if (fileGiven) {
      fatalError("corvel-fit takes one file; '" + std::string(arg) +
                 "' is a second (the first is '" + cmd.file + "')");
    } else {
      cmd.file = std::string(arg);
      fileGiven = true;
    }
  }
  if (cmd.help || cmd.version) return cmd;
  if (!fileGiven) fatalError("corvel-fit needs a series or spectra file (corvel-fit --help)");

  // A plan is asked for by any of the planner's options.
  const auto was = [&](const char* name) { return walk.met(name); };
  for (const char* name : {"--hub-height", "--rotor-diameter", "--time", "--dt", "--margin", "-o"})
    cmd.plan = cmd.plan || was(name);
  if (cmd.plan)
    for (const char* name : kPlanRequired)
      if (!was(name))
        fatalError(std::string("A box plan needs ") + name +
                   " too (--hub-height, --rotor-diameter and --time, as vorlan-plan takes them)");
  if (cmd.windSpeed && !cmd.plan)
    fatalError("--wind-speed goes with the box plan's --hub-height, --rotor-diameter and --time");
  return cmd;
}

void printFitVersion(std::ostream& out) { out << "corvel-fit " << kVersion << '\n'; }

void printFitHelp(std::ostream& out) {
  out << R"(Usage: corvel-fit [OPTIONS] FILE

Fits the turbulence model's alphaeps, L and Gamma (the model vorlan and
corvel use) to measured one-point spectra: a sonic anemometer's series of
u, v, w, or spectra computed elsewhere. Prints the parameters with their
standard errors, the misfit of each spectrum, the variances the fit implies
beside the measured ones and a ready 'basic' source for vorlan; with the
planner's options it also writes a whole vorlan parameter file.

FILE, plain text ('#' comments, values separated by blanks or commas):
  series    header 'time u v w' (any order; other columns are read past),
            then one row per sample: time (s, evenly spaced), u v w (m/s,
            any fixed frame)
  spectra   header 'k1' or 'f', then any of F11 F22 F33 F13 (and n, the
            periodogram values each row averages), one of 'one-sided' or
            'two-sided', and with f 'U=<m/s>'; then rows

Series:
  --segment S           segment length (s), default 600; each segment is
                        rotated into its mean wind (double rotation)
  --window S            Welch window (Hann, 50 % overlap or more), default the
                        longest power of two of samples in a segment
  --detrend             remove a linear trend per segment
  --frequency-range A:B frequencies used (Hz)
Both:
  --skip-missing        leave out segments (series) or rows (spectra) with
                        missing values or gaps, instead of refusing the file
  --bands N             bands a decade (series default 10; spectra: one per row)
  --k-range A:B         wave numbers fitted (rad/m)
  --weights U,V,W,UW    weight of each spectrum (default 1,1,1,1; 0 leaves
                        one out)
  --alphaeps A  --L L  --Gamma G
                        hold a parameter at a value
  --start A,L,G         start values (default: a scan over L and Gamma)
  --json FILE           the whole result as JSON (vorlan-look FILE draws it)
A box for the fitted model, planned as vorlan-plan plans it:
  --wind-speed V --hub-height Z --rotor-diameter D --time T [--dt S]
  [--margin F] [-o FILE]
                        writes the parameter file FILE (default plan.inp)
                        with the fitted 'basic' source; V defaults to the
                        measured mean wind speed
  --help, -h            this text
  --version             the version
)";
}

}  // namespace wind
