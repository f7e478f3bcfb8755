#include "vorlan/plan_command_line.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "handover/placement.hpp"
#include "support/fatal_error.hpp"
#include "support/pending_output.hpp"
#include "support/print_format.hpp"
#include "support/version.hpp"

namespace wind {

namespace {

// --margin: zero, or a positive fraction of the rotor diameter.
double parseMargin(const std::string& text) {
  double v = 0.0;
  if (!parseDecimal(text, v) || !std::isfinite(v) || v < 0.0 ||
      v > double(std::numeric_limits<float>::max()))
    fatalError("--margin: '" + text +
               "' is not a margin (zero or a positive fraction of the rotor diameter, 0.1 for "
               "10 %)");
  return v + 0.0;  // -0 is 0
}

}  // namespace

PlanRequest parsePlanCommandLine(int argc, const char* const argv[]) {
  PlanRequest r;
  bool seen[4] = {false, false, false, false};
  std::vector<std::string> given;  // the options met so far
  for (int a = 1; a < argc; ++a) {
    std::string word = argv[a], value;
    const std::size_t eq = word.find('=');
    const bool inlineValue = word.rfind("--", 0) == 0 && eq != std::string::npos;
    if (inlineValue) {
      value = word.substr(eq + 1);
      word = word.substr(0, eq);
    }
    if (word == "--help" || word == "-h") {
      r.help = true;
      continue;
    }
    if (word == "--version") {
      r.version = true;
      continue;
    }
    static constexpr const char* kValued[] = {"--wind-speed", "--hub-height", "--rotor-diameter",
                                              "--time",       "--class",      "--roughness",
                                              "--dt",         "--margin",     "-o"};
    bool known = false;
    for (const char* k : kValued) known = known || word == k;
    if (!known) fatalError("vorlan-plan: unknown option '" + word + "' (see vorlan-plan --help)");
    // Which of two values was meant is unknown.
    if (std::find(given.begin(), given.end(), word) != given.end())
      fatalError("vorlan-plan: the option " + word + " is given twice; give it once");
    given.push_back(word);
    if (!inlineValue) {
      if (a + 1 >= argc) fatalError(word + " needs a value");
      value = argv[++a];
    }
    if (word == "--wind-speed") r.windSpeed = parsePositiveNumber("--wind-speed", value), seen[0] = true;
    else if (word == "--hub-height") r.hubHeight = parsePositiveNumber("--hub-height", value), seen[1] = true;
    else if (word == "--rotor-diameter") r.rotorDiameter = parsePositiveNumber("--rotor-diameter", value), seen[2] = true;
    else if (word == "--time") r.time = parsePositiveNumber("--time", value), seen[3] = true;
    else if (word == "--class") r.turbulenceClass = value;
    else if (word == "--roughness") r.roughness = parsePositiveNumber("--roughness", value);
    else if (word == "--dt") r.dt = parsePositiveNumber("--dt", value);
    else if (word == "--margin") r.margin = parseMargin(value);
    else if (value.empty()) fatalError("-o needs a file name");
    else r.output = value;
  }
  if (r.help || r.version) return r;
  const char* required[] = {"--wind-speed", "--hub-height", "--rotor-diameter", "--time"};
  for (int k = 0; k < 4; ++k)
    if (!seen[k]) fatalError(std::string("vorlan-plan needs ") + required[k] + " (see vorlan-plan --help)");
  return r;
}

void printPlanHelp(std::ostream& out) {
  out << R"(Usage: vorlan-plan --wind-speed V --hub-height Z --rotor-diameter D --time T
                   [--class A|B|C|Iref] [--roughness Z0] [--dt S] [--margin F] [-o FILE]

Plans a turbulence box for a load simulation and writes it as a vorlan
parameter file (default plan.inp): the box spans V T along the wind (the whole
simulated time; a periodic wind file never runs out), its time step is S
(default 0.1 s) or finer, and its grid across the wind and up covers the rotor
diameter D with the margin F (default 0.1, a fraction of D) over the grid's
points, centred on the hub, with its lowest row above ground.

  --class A|B|C|Iref  IEC 61400-1 turbulence (the iec source); without it the
                      land source at the hub with roughness length Z0
  --roughness Z0      land source only (default 0.03 m, open flat country)
  --help, -h          this text
  --version           the version
)";
}

int runVorlanPlan(int argc, const char* const argv[], std::ostream& out) {
  const PlanRequest r = parsePlanCommandLine(argc, argv);
  if (r.help) {
    printPlanHelp(out);
    return 0;
  }
  if (r.version) {
    out << "vorlan-plan " << kVersion << '\n';
    return 0;
  }
  const BoxPlan p = planBox(r);
  PendingOutputs outputs;
  outputs.create(r.output, "parameter file").stream() << planParameterText(p);
  outputs.commit();
  printPlan(out, p);
  out << "Wrote " << r.output << "; run it with: vorlan --format bts " << r.output
      << "  (or --format wnd; --layout inflowwind for the raw files)\n";
  return 0;
}

}  // namespace wind
