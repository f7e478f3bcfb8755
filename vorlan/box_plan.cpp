#include "vorlan/box_plan.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string_view>
#include <vector>

#include "numerics/fatal_error.hpp"
#include "numerics/pending_output.hpp"
#include "numerics/print_format.hpp"
#include "numerics/version.hpp"
#include "sources/site_params.hpp"
#include "vorlan/placement.hpp"

namespace wind {

namespace {

namespace fs = std::filesystem;

// Relative tolerance of "T / N1 is dt or finer": the decimals typed for T and
// dt (409.6 s at 0.1 s is 4096 steps, not 8192).
constexpr double kStepTolerance = 1e-9;

std::string seconds(double s) {
  if (s < 120.0) return formatG6(std::round(s * 10.0) / 10.0) + " s";
  if (s < 7200.0) return formatG6(std::round(s / 6.0) / 10.0) + " min";
  return formatG6(std::round(s / 360.0) / 10.0) + " h";
}

std::string bytes(double b) {
  if (b < 1e9) return formatG6(std::round(b / 1e5) / 10.0) + " MB";
  return formatG6(std::round(b / 1e8) / 10.0) + " GB";
}

void requirePositive(const char* option, double v) {
  if (!(v > 0.0) || !std::isfinite(v))
    fatalError(std::string(option) + " must be a positive number, not " + formatG6(v));
}

}  // namespace

PlanRequest parsePlanCommandLine(int argc, const char* const argv[]) {
  PlanRequest r;
  bool seen[4] = {false, false, false, false};
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
    else if (word == "--margin") {
      // Zero is a margin too.
      r.margin = value == "0" ? 0.0 : parsePositiveNumber("--margin", value);
    } else if (value.empty()) fatalError("-o needs a file name");
    else r.output = value;
  }
  if (r.help || r.version) return r;
  const char* required[] = {"--wind-speed", "--hub-height", "--rotor-diameter", "--time"};
  for (int k = 0; k < 4; ++k)
    if (!seen[k]) fatalError(std::string("vorlan-plan needs ") + required[k] + " (see vorlan-plan --help)");
  return r;
}

BoxPlan planBox(const PlanRequest& r) {
  requirePositive("--wind-speed", r.windSpeed);
  requirePositive("--hub-height", r.hubHeight);
  requirePositive("--rotor-diameter", r.rotorDiameter);
  requirePositive("--time", r.time);
  requirePositive("--dt", r.dt);
  if (!(r.margin >= 0.0) || !std::isfinite(r.margin))
    fatalError("--margin must be zero or a positive number, not " + formatG6(r.margin));

  BoxPlan p;
  p.request = r;
  const float V = static_cast<float>(r.windSpeed), Z = static_cast<float>(r.hubHeight);
  if (r.basic) {
    if (r.turbulenceClass || r.roughness)
      fatalError("A plan with the basic source takes neither --class nor --roughness");
    checkModelParameters(*r.basic);
  } else if (r.turbulenceClass) {
    if (r.roughness)
      fatalError("--roughness: the iec source of --class takes no roughness length; leave one "
                 "of them out");
    iecCategory(*r.turbulenceClass);
  } else {
    p.roughness = r.roughness.value_or(kDefaultPlanRoughness);
    checkedLandParams(V, Z, static_cast<float>(p.roughness), 0);  // refuses a site out of range
  }

  // Along the wind: the whole simulated time, at dt or finer.
  int n1 = 2;
  while (r.time / n1 > r.dt * (1.0 + kStepTolerance)) {
    if (n1 >= kMaxPlanPoints)
      fatalError("--time " + formatG6(r.time) + " s at --dt " + formatG6(r.dt) +
                 " s needs more than 2^30 steps: give a larger --dt or a shorter --time");
    n1 *= 2;
  }
  const float l1 = static_cast<float>(r.windSpeed * r.time);
  if (!std::isfinite(l1))
    fatalError("The box along the wind, V T, is too long for a parameter file: give a shorter "
               "--time");

  // Across and up: the rotor with its margin inside the usable extent.
  const double need = (1.0 + r.margin) * r.rotorDiameter;
  int n = 2;
  while (n - 1 < kIntervalsPerDiameter * (1.0 + r.margin)) {
    if (n >= kMaxPlanPoints) fatalError("--margin " + formatG6(r.margin) + " is too large");
    n *= 2;
  }
  float l = static_cast<float>(n * (need / (n - 1)));
  while ((n - 1) * (double(l) / n) < need) l = std::nextafter(l, HUGE_VALF);

  p.N = {n1, n, n};
  p.LMax = {l1, l, l};
  for (int d = 0; d < 3; ++d) p.spacing[d] = double(p.LMax[d]) / p.N[d];
  p.timeStep = p.spacing[0] / r.windSpeed;
  p.usableWidth = (n - 1) * p.spacing[1];
  p.usableHeight = (n - 1) * p.spacing[2];
  // The hub height as vorlan places the grid on it (the decimal written for
  // it), so that the plan's lowest row is the one vorlan checks.
  p.gridBottom = shortestDecimal(Z) - p.usableHeight / 2.0;
  p.gridTop = shortestDecimal(Z) + p.usableHeight / 2.0;
  if (!(p.gridBottom > 0.0)) {
    if (!(r.hubHeight > r.rotorDiameter / 2.0))
      fatalError("The rotor (diameter " + formatG6(r.rotorDiameter) +
                 " m) reaches the ground at the hub height " + formatG6(r.hubHeight) +
                 " m: the hub must stand higher than " + formatG6(r.rotorDiameter / 2.0) + " m");
    fatalError("The grid's lowest row would be at " + formatG6(p.gridBottom) +
               " m, not above ground: give a --margin below " +
               formatG6(2.0 * r.hubHeight / r.rotorDiameter - 1.0) +
               " (the rotor and its margin must fit under twice the hub height) or a greater "
               "hub height");
  }
  const double points = double(n1) * n * n;
  p.memoryBytes = 3.0 * 4.0 * points;
  p.seconds = kPlanSecondsPerPoint * points;
  return p;
}

std::string planParameterText(const BoxPlan& p) {
  const PlanRequest& r = p.request;
  const std::string stem = fs::path(r.output).stem().string();
  std::string t = "3\n3\n" + std::to_string(p.N[0]) + " " + std::to_string(p.N[1]) + " " +
                  std::to_string(p.N[2]) + "\n" + shortestText(p.LMax[0]) + " " +
                  shortestText(p.LMax[1]) + " " + shortestText(p.LMax[2]) + "\n";
  const std::string V = shortestText(static_cast<float>(r.windSpeed));
  const std::string Z = shortestText(static_cast<float>(r.hubHeight));
  if (r.basic)
    t += "basic\n" + shortestText(r.basic->alphaeps) + " " + shortestText(r.basic->L) + " " +
         shortestText(r.basic->Gamma) + "\n";
  else if (r.turbulenceClass)
    t += "iec\n" + *r.turbulenceClass + " " + V + " " + Z + "\n";
  else
    t += "land\n" + V + " " + Z + " " + shortestText(static_cast<float>(p.roughness)) + " 0\n";
  t += "-1\n";
  for (const char* c : {"u", "v", "w"}) t += stem + "_" + c + ".bin\n";
  return t;
}

void printPlan(std::ostream& out, const BoxPlan& p) {
  const PlanRequest& r = p.request;
  const std::string source =
      r.basic ? "the basic source: alphaeps " + formatG6(r.basic->alphaeps) + " m^(4/3) s^-2, L " +
                    formatG6(r.basic->L) + " m, Gamma " + formatG6(r.basic->Gamma)
      : r.turbulenceClass ? "IEC 61400-1 turbulence, " +
                              std::string(iecCategory(*r.turbulenceClass).category != 0 ? "category " : "Iref ") +
                              *r.turbulenceClass + " (the iec source)"
                        : "the land source: roughness length " + formatG6(p.roughness) +
                              " m, Kaimal spectra";
  out << "Plan for " << formatG6(r.time) << " s of wind at " << formatG6(r.windSpeed)
      << " m/s, hub at " << formatG6(r.hubHeight) << " m, rotor of " << formatG6(r.rotorDiameter)
      << " m; " << source << ".\n"
      << "  grid          " << p.N[0] << " x " << p.N[1] << " x " << p.N[2]
      << " points (along the wind, across, up)\n"
      << "  box           " << shortestText(p.LMax[0]) << " m x " << shortestText(p.LMax[1]) << " m x "
      << shortestText(p.LMax[2]) << " m\n"
      << "  spacings      dx " << formatG6(p.spacing[0]) << " m, dy " << formatG6(p.spacing[1])
      << " m, dz " << formatG6(p.spacing[2]) << " m\n"
      << "  time step     " << formatG6(p.timeStep) << " s (requested " << formatG6(r.dt)
      << " s): " << p.N[0] << " steps cover the " << formatG6(r.time)
      << " s exactly, and a periodic wind file then starts again\n"
      << "  usable        " << formatG6(p.usableWidth) << " m wide and "
      << formatG6(p.usableHeight) << " m high (the grid's points; the rotor with a "
      << formatG6(100.0 * r.margin) << " % margin needs " << formatG6((1.0 + r.margin) * r.rotorDiameter)
      << " m)\n"
      << "  rows          from " << formatG6(p.gridBottom) << " m to " << formatG6(p.gridTop)
      << " m above ground, centred on the hub\n"
      << "  memory        about " << bytes(p.memoryBytes) << " for the three fields\n"
      << "  run time      roughly " << seconds(p.seconds)
      << " on one core (less on several; writing included)\n";
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
