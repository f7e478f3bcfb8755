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
#include "vorlan/command_line.hpp"

namespace wind {

namespace {

// Wind speeds in one table at most: a typo in a list, not a design.
constexpr std::size_t kMaxTableSpeeds = 1000;

std::vector<double> parseSpeedList(const std::string& text) {
  std::vector<double> speeds;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    speeds.push_back(parsePositiveNumber("--speeds", text.substr(start, comma - start)));
    if (speeds.size() > kMaxTableSpeeds)
      fatalError("--speeds: more than 1000 wind speeds in '" + text + "'");
    if (comma == std::string::npos) return speeds;
    start = comma + 1;
  }
}

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
  std::vector<std::string> given;  // the value options met so far
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
    if (word == "--hub-on-row") {
      r.hubOnRow = true;
      continue;
    }
    static constexpr const char* kValued[] = {
        "--wind-speed", "--hub-height", "--rotor-diameter", "--time", "--class", "--roughness",
        "--dt",         "--margin",     "-o",               "--speeds", "--seeds", "--table"};
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
    if (word == "--wind-speed") r.windSpeed = parsePositiveNumber("--wind-speed", value);
    else if (word == "--hub-height") r.hubHeight = parsePositiveNumber("--hub-height", value);
    else if (word == "--rotor-diameter") r.rotorDiameter = parsePositiveNumber("--rotor-diameter", value);
    else if (word == "--time") r.time = parsePositiveNumber("--time", value);
    else if (word == "--class") r.turbulenceClass = value;
    else if (word == "--roughness") r.roughness = parsePositiveNumber("--roughness", value);
    else if (word == "--dt") r.dt = parsePositiveNumber("--dt", value);
    else if (word == "--margin") r.margin = parseMargin(value);
    else if (word == "--speeds") r.speeds = parseSpeedList(value);
    else if (word == "--seeds") r.seeds = parseSeedList(value);
    else if (word == "--table") {
      if (value.empty()) fatalError("--table needs a folder name");
      r.table = value;
    } else if (value.empty()) fatalError("-o needs a file name");
    else r.output = value;
  }
  if (r.help || r.version) return r;
  const auto has = [&](const char* option) {
    return std::find(given.begin(), given.end(), option) != given.end();
  };
  // A table plans every speed of --speeds into its folder; a single plan one
  // --wind-speed into -o.
  const bool table = has("--table");
  const std::vector<const char*> other =
      table ? std::vector<const char*>{"--wind-speed", "-o"}
            : std::vector<const char*>{"--speeds", "--seeds"};
  for (const char* option : other)
    if (has(option))
      fatalError(table ? std::string(option) + ": a table (--table) takes its speeds from --speeds "
                             "and writes its rows into its folder; leave " + option + " out"
                       : std::string(option) + " plans a table: give --table DIR, or plan one "
                             "box with --wind-speed");
  const std::vector<const char*> required =
      table ? std::vector<const char*>{"--speeds", "--seeds", "--hub-height", "--rotor-diameter",
                                       "--time"}
            : std::vector<const char*>{"--wind-speed", "--hub-height", "--rotor-diameter",
                                       "--time"};
  for (const char* option : required)
    if (!has(option)) fatalError(std::string("vorlan-plan needs ") + option + " (see vorlan-plan --help)");
  return r;
}

void printPlanHelp(std::ostream& out) {
  out << R"(Usage: vorlan-plan --wind-speed V --hub-height Z --rotor-diameter D --time T
                   [--class A|B|C|Iref] [--roughness Z0] [--dt S] [--margin F]
                   [--hub-on-row] [-o FILE]
       vorlan-plan --speeds V1,V2,... --seeds S1,S2,... --table DIR
                   --hub-height Z --rotor-diameter D --time T [the same options]

Plans a turbulence box for a load simulation and writes it as a vorlan
parameter file (default plan.inp): the box spans V T along the wind (the whole
simulated time; a periodic wind file never runs out), its time step is S
(default 0.1 s) or finer, and its grid across the wind and up covers the rotor
diameter D with the margin F (default 0.1, a fraction of D) over the grid's
points, centred on the hub, with its lowest row above ground.

With --table DIR it plans a load-case table instead: every wind speed of
--speeds (m/s, comma-separated) with every seed of --seeds (negative, e.g.
-1,-2,-3 or -1:-6), one row each, named v<speed>_s<|seed|>. Each row is a
folder DIR/<row> with box.inp, planned for its own speed, whose outputs are
named after the row; DIR/table.txt lists the rows for the batch recipes
(examples/batch/run_parallel.sh, slurm_array.sh) and DIR/plan.txt holds the
table's summary (rows, grid per speed, memory, estimated time), also printed.

  --class A|B|C|Iref  IEC 61400-1 turbulence (the iec source); without it the
                      land source at the hub with roughness length Z0
  --roughness Z0      land source only (default 0.03 m, open flat country)
  --hub-on-row        a grid row exactly at the hub: the grid sized so that the
                      rotor and its margin fit with row N/2 at the hub; run
                      vorlan with --hub-on-row too (InflowWind centres the
                      grid across the wind: with N even the hub lies between
                      the two middle columns)
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
  const std::string options = planRunOptions(r);
  if (!r.table.empty()) {
    const TablePlan t = planTable(r);
    writeTable(t);
    printTable(out, t);
    out << "Wrote " << t.rows.size() << " rows and " << r.table << "/table.txt (summary in "
        << r.table << "/plan.txt). Run them, the files named after each row, with\n"
        << "  run_parallel.sh " << r.table << " -- --format bts --openfast-input --hub-series"
        << options << "\n"
        << "  sbatch --array=1-" << t.rows.size() << " slurm_array.sh " << r.table
        << " --format bts --openfast-input --hub-series" << options << "\n"
        << "(the recipes are in examples/batch/; --format wnd for .wnd files)\n";
    return 0;
  }
  const BoxPlan p = planBox(r);
  PendingOutputs outputs;
  outputs.create(r.output, "parameter file").stream() << planParameterText(p);
  outputs.commit();
  printPlan(out, p);
  out << "Wrote " << r.output << "; run it with: vorlan --format bts " << r.output << options
      << "  (or --format wnd; --layout inflowwind for the raw files)\n";
  return 0;
}

}  // namespace wind
