#include "handover/box_plan.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "handover/placement.hpp"
#include "simulation/engines.hpp"
#include "sources/site_params.hpp"
#include "sources/site_steps.hpp"
#include "support/fatal_error.hpp"
#include "support/pending_output.hpp"
#include "support/print_format.hpp"
#include "synthesis/turb3d.hpp"

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

// Where the rows stand, in words.
std::string placementWords(const BoxPlan& p) {
  if (!p.request.hubOnRow) return "centred on the hub";
  return "row " + std::to_string(p.N[2] / 2) + " exactly at the hub (vorlan --hub-on-row)";
}

// The turbulence source of a plan, in words.
std::string sourceWords(const PlanRequest& r, const BoxPlan& p) {
  if (r.basic)
    return "the basic source: alphaeps " + formatG6(r.basic->alphaeps) + " m^(4/3) s^-2, L " +
           formatG6(r.basic->L) + " m, Gamma " + formatG6(r.basic->Gamma);
  if (r.turbulenceClass)
    return "IEC 61400-1 turbulence, " +
           std::string(iecCategory(*r.turbulenceClass).category != 0 ? "category " : "Iref ") +
           *r.turbulenceClass + " (the iec source)";
  return "the land source: roughness length " + formatG6(p.roughness) + " m, Kaimal spectra";
}

void requirePositive(const char* option, double v) {
  if (!(v > 0.0) || !std::isfinite(v))
    fatalError(std::string(option) + " must be a positive number, not " + formatG6(v));
}

}  // namespace

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
  // The source's model, checked as vorlan checks it.
  if (r.basic) {
    if (r.turbulenceClass || r.roughness)
      fatalError("A plan with the basic source takes neither --class nor --roughness");
    checkModelParameters(*r.basic);
  } else if (r.turbulenceClass) {
    if (r.roughness)
      fatalError("--roughness: the iec source of --class takes no roughness length; leave one "
                 "of them out");
    IecSettings s = iecCategory(*r.turbulenceClass);
    s.V_hub = V;
    s.z_hub = Z;
    checkIecModel(s);
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
  if (l1 < kMinLengthScale)
    fatalError("The box along the wind, V T = " + formatG6(l1) + " m, is below " +
               formatG6(kMinLengthScale) + " m, the smallest box vorlan takes: give a longer "
               "--time or a greater --wind-speed");

  // Across and up: the rotor with its margin inside the usable extent, over
  // the intervals that hold it (N - 1, or N - 2 with the hub on a row).
  const double need = (1.0 + r.margin) * r.rotorDiameter;
  const int spare = r.hubOnRow ? 2 : 1;
  int n = 2;
  while (n - spare < kIntervalsPerDiameter * (1.0 + r.margin)) {
    if (n >= kMaxPlanPoints) fatalError("--margin " + formatG6(r.margin) + " is too large");
    n *= 2;
  }
  float l = static_cast<float>(n * (need / (n - spare)));
  while ((n - spare) * (double(l) / n) < need) l = std::nextafter(l, HUGE_VALF);
  if (!(l >= kMinLengthScale) || !std::isfinite(l))
    fatalError("The box across the wind and up, " + formatG6(l) + " m for a rotor of " +
               formatG6(r.rotorDiameter) + " m and its margin, is " +
               (std::isfinite(l) ? "below " + formatG6(kMinLengthScale) +
                                       " m, the smallest box vorlan takes: give the rotor "
                                       "diameter in metres"
                                 : std::string("too wide for a parameter file: give a smaller "
                                               "--rotor-diameter or --margin")));

  p.N = {n1, n, n};
  p.LMax = {l1, l, l};
  for (int d = 0; d < 3; ++d) p.spacing[d] = double(p.LMax[d]) / p.N[d];
  p.timeStep = p.spacing[0] / r.windSpeed;
  p.usableWidth = (n - 1) * p.spacing[1];
  p.usableHeight = (n - 1) * p.spacing[2];
  // The hub height as vorlan places the grid on it (the decimal written for
  // it), so that the plan's lowest row is the one vorlan checks.
  const double below = r.hubOnRow ? (n / 2 - 1) * p.spacing[2] : p.usableHeight / 2.0;
  p.gridBottom = shortestDecimal(Z) - below;
  p.gridTop = p.gridBottom + p.usableHeight;
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
  // The land source's log profile, which vorlan adds for --format bts and wnd,
  // needs the lowest row above its roughness length (handover/mean_profile.hpp).
  const double z0 = shortestDecimal(static_cast<float>(p.roughness));
  if (!r.turbulenceClass && !(z0 < p.gridBottom))
    fatalError("The grid's lowest row would be at " + formatG6(p.gridBottom) +
               " m, not above the roughness length " + formatG6(z0) +
               " m that vorlan's log profile (--format bts or wnd) starts from: give a --margin "
               "below " + formatG6(2.0 * (r.hubHeight - z0) / r.rotorDiameter - 1.0) +
               ", a smaller --roughness or a greater hub height");
  const double points = double(n1) * n * n;
  p.memoryBytes = 3.0 * 4.0 * points;
  p.seconds = kPlanSecondsPerPoint * points;
  checkPlanRuns(p);
  return p;
}

namespace {

// What planParameterText names the outputs after: the stem of -o, which must
// make names that vorlan reads back whole.
std::string outputStem(const PlanRequest& r) {
  const std::string stem = fs::path(r.output).stem().string();
  for (const char c : stem)
    if (std::isspace(static_cast<unsigned char>(c)))
      fatalError("-o " + r.output + ": the output names are made from '" + stem +
                 "' (" + stem + "_u.bin, ...), and a parameter file cannot hold a name with "
                 "white space (vorlan would read it as two names): give -o a name without it");
  if (stem.size() + 6 > kMaxFileName)
    fatalError("-o " + r.output + ": the output names made from it (" + stem +
               "_u.bin, ...) would be longer than 255 characters: give a shorter name");
  return stem;
}

}  // namespace

void checkPlanRuns(const BoxPlan& p) {
  // The file as vorlan reads it: every check vorlan makes of its values.
  std::istringstream text(planParameterText(p));
  std::ostream silent(nullptr);
  SimulationInput in;
  UpstreamTables tables;
  readSimulationInput(text, silent, in, tables, parameterSourceStep);
  readOutputNames(text, silent, in);
  // And the integrals that a box too long for its width fails at first.
  if (const std::optional<Vector3> k =
          turb3dCellFailure(std::span<const int>(in.components, 3), siteTensorModel(in, &tables),
                            boxGridOf(in), limNormK(in)))
    fatalError("The box (" + shortestText(p.LMax[0]) + " m along the wind, " +
               shortestText(p.LMax[1]) + " m across and up) is " +
               formatG6(double(p.LMax[0]) / p.LMax[1]) +
               " times longer than it is wide, and vorlan cannot integrate its cells at k1 = " +
               formatG6(k->x) + " rad/m: give a shorter --time or a greater --rotor-diameter "
               "or --margin");
}

std::string planParameterText(const BoxPlan& p) {
  return planParameterText(p, outputStem(p.request), -1);
}

std::string planParameterText(const BoxPlan& p, const std::string& stem, long seed) {
  const PlanRequest& r = p.request;
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
  t += std::to_string(seed) + "\n";
  for (const char* c : {"u", "v", "w"}) t += stem + "_" + c + ".bin\n";
  return t;
}

void printPlan(std::ostream& out, const BoxPlan& p) {
  const PlanRequest& r = p.request;
  const std::string source = sourceWords(r, p);
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
      << " m above ground, " << placementWords(p) << "\n"
      << "  memory        about " << bytes(p.memoryBytes) << " for the three fields\n"
      << "  run time      roughly " << seconds(p.seconds)
      << " on one core (less on several; writing included)\n";
}

std::string planRunOptions(const PlanRequest& r) { return r.hubOnRow ? " --hub-on-row" : ""; }

std::string tableRowName(double speed, long seed) {
  std::string name = "v";
  name += shortestText(static_cast<float>(speed));
  return name + "_s" + std::to_string(-seed);
}

TablePlan planTable(const PlanRequest& r) {
  if (r.speeds.empty()) fatalError("--speeds lists no wind speed");
  if (r.seeds.empty()) fatalError("--seeds lists no seed");
  TablePlan t;
  t.request = r;
  for (std::size_t a = 0; a < r.speeds.size(); ++a) {
    for (std::size_t b = 0; b < a; ++b)
      if (static_cast<float>(r.speeds[a]) == static_cast<float>(r.speeds[b]))
        fatalError("--speeds: " + formatG6(r.speeds[a]) + " m/s is listed twice");
    PlanRequest one = r;
    one.windSpeed = r.speeds[a];
    t.plans.push_back(planBox(one));
  }
  for (std::size_t a = 0; a < r.seeds.size(); ++a)
    for (std::size_t b = 0; b < a; ++b)
      if (r.seeds[a] == r.seeds[b])
        fatalError("--seeds: " + std::to_string(r.seeds[a]) + " is listed twice");
  for (std::size_t a = 0; a < r.speeds.size(); ++a)
    for (const long seed : r.seeds) t.rows.push_back({tableRowName(r.speeds[a], seed), a, seed});
  return t;
}

void printTable(std::ostream& out, const TablePlan& t) {
  const PlanRequest& r = t.request;
  const BoxPlan& first = t.plans.front();
  std::string seeds;
  for (const long s : r.seeds) seeds += (seeds.empty() ? "" : ", ") + std::to_string(s);
  out << "Table of " << t.rows.size() << " rows in " << r.table << ": " << t.plans.size()
      << " wind speeds x " << r.seeds.size() << " seeds (" << seeds << "); hub at "
      << formatG6(r.hubHeight) << " m, rotor of " << formatG6(r.rotorDiameter) << " m, "
      << formatG6(r.time) << " s of wind; " << sourceWords(r, first) << ".\n"
      << "  every row     " << first.N[0] << " x " << first.N[1] << " x " << first.N[2]
      << " points, time step " << formatG6(first.timeStep) << " s (requested " << formatG6(r.dt)
      << " s), " << formatG6(first.usableWidth) << " m usable across and up, rows from "
      << formatG6(first.gridBottom) << " m to " << formatG6(first.gridTop) << " m, "
      << placementWords(first) << "\n"
      << "  speed (m/s)   box (m)                        dx (m)\n";
  for (const BoxPlan& p : t.plans) {
    const std::string box = shortestText(p.LMax[0]) + " x " + shortestText(p.LMax[1]) + " x " +
                            shortestText(p.LMax[2]);
    const std::string speed = formatG6(p.request.windSpeed);
    out << "  " << speed << std::string(speed.size() < 14 ? 14 - speed.size() : 1, ' ') << box
        << std::string(box.size() < 31 ? 31 - box.size() : 1, ' ') << formatG6(p.spacing[0])
        << "\n";
  }
  out << "  memory        about " << bytes(first.memoryBytes)
      << " a row for the three fields (rows run one per core)\n"
      << "  run time      roughly " << seconds(first.seconds) << " a row on one core, "
      << seconds(first.seconds * double(t.rows.size())) << " for the table\n"
      << "  rows          " << r.table << "/<row>/box.inp, <row> = v<speed>_s<|seed|> ("
      << t.rows.front().name << " ... " << t.rows.back().name << "), listed in " << r.table
      << "/table.txt\n";
}

void writeTable(const TablePlan& t) {
  const fs::path dir(t.request.table);
  const auto folder = [](const fs::path& f) {
    std::error_code ec;
    fs::create_directories(f, ec);
    if (ec || !fs::is_directory(f))
      fatalError("Could not create the table folder " + f.string() + ": " +
                 (ec ? ec.message() : std::string("it is not a folder")));
  };
  folder(dir);
  std::string list;
  for (const TableRow& row : t.rows) {
    folder(dir / row.name);
    PendingOutputs one;
    one.create((dir / row.name / kTableRowFile).string(), "parameter file").stream()
        << planParameterText(t.plans[row.plan], row.name, row.seed);
    one.commit();
    list += row.name + "\n";
  }
  std::ostringstream summary;
  printTable(summary, t);
  PendingOutputs last;
  last.create((dir / "table.txt").string(), "table").stream() << list;
  last.create((dir / "plan.txt").string(), "table summary").stream() << summary.str();
  last.commit();
}

}  // namespace wind
