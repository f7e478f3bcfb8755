#pragma once
// vorlan-plan: the box for a load simulation, planned from the run.
//
//   vorlan-plan --wind-speed V --hub-height Z --rotor-diameter D --time T
//               [--class A|B|C|Iref] [--roughness Z0] [--dt S] [--margin F]
//               [--hub-on-row] [-o FILE]
//   vorlan-plan --speeds V1,V2,... --seeds S1,S2,... --table DIR (and the
//               same options but --wind-speed and -o)
//
// Along the wind the box spans the simulated time exactly, LMax_1 = V T: a
// periodic wind file (.bts, .wnd) repeats after T and can never be exhausted.
// N1 is the smallest power of two (at least 2) whose time step T / N1 is the
// requested dt or finer.
//
// Across the wind and up the grid is square, N2 = N3 = N points at spacing d.
// InflowWind reads a grid over its points only, (N - 1) d wide and high, so
// that usable extent is set to the rotor diameter with the margin,
// (1 + F) D; N is the smallest power of two that gives at least
// kIntervalsPerDiameter intervals across D, so d <= D / 16. LMax_2 = LMax_3 =
// N d, stored as the float whose spacing still gives (N - 1) d >= (1 + F) D.
// The grid is centred on the hub; its lowest row, Z - (N - 1) d / 2, must stay
// above ground, else the request is refused with the largest margin that
// would fit (or, when the rotor itself reaches the ground, the hub height it
// needs). With --hub-on-row (vorlan's option of that name, which the run must
// then be given too) row N/2 stands exactly at the hub: N/2 - 1 intervals
// below it and N/2 above, so (N - 2) d >= (1 + F) D keeps the rotor and its
// margin within the rows on both sides, and the lowest row is Z - (N/2 - 1) d.
//
// Source: with --class the iec source (category or Iref, V_hub = V,
// z_hub = Z). Without it the land source at the hub (U0 = V, z = Z) with
// roughness length --roughness (default 0.03 m, open flat country) and Kaimal
// spectra (SpecType 0): it derives the whole model from the site, so a plan
// without a turbine class is still a complete, physical parameter file. Both
// are checked as vorlan checks them (checkIecModel, checkedLandParams) before
// anything is written; with the land source the lowest row must also stand
// above the roughness length, where vorlan's log profile for .bts and .wnd
// starts. Last, the file is read back as vorlan reads it (checkPlanRuns).
//
// The parameter file is a pending output (support/pending_output.hpp): it
// appears under its name only when complete; a failure leaves what was there. Output names are the
// parameter file's stem with _u.bin, _v.bin, _w.bin, without its folder (they
// are opened where vorlan runs), seed -1.
//
// A table (planTable) plans every wind speed alone from the same request (the
// grid across the wind, N1 and the time step are the same for every speed;
// the box's length V T and, for the land source, the model follow the speed)
// and makes one row per speed and seed, named after both: "v<V>_s<|S|>"
// (v11.4_s2). Each row is a folder DIR/<row> with the parameter file box.inp,
// whose outputs are named after the row (<row>_u.bin, ...) so that rows can
// be gathered in one folder, and whose seed is the row's; DIR/table.txt lists
// the row folders one per line (what the batch recipes run, line n being row
// n), and DIR/plan.txt holds the table's summary (printTable). Every row is
// planned and checked before any folder is made; each box.inp appears when
// complete, table.txt and plan.txt last.
//
// Failure: every refusal ends the run through fatalError with a message that
// says what to change; an option given twice, a number beyond single
// precision, a box shorter than 1 mm along an axis among them. --margin takes
// zero in any spelling (0, 0.0).

#include <array>
#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "sources/iec.hpp"
#include "tensor/model.hpp"

namespace wind {

inline constexpr double kDefaultPlanTimeStep = 0.1;   // s
inline constexpr double kDefaultPlanMargin = 0.1;     // fraction of the rotor diameter
inline constexpr double kDefaultPlanRoughness = 0.03; // m, open flat country
inline constexpr int kIntervalsPerDiameter = 16;
inline constexpr int kMaxPlanPoints = 1 << 30;        // along one axis
inline constexpr const char* kTableRowFile = "box.inp";  // in each row's folder
// Seconds per grid point of a three-component box on one core (measured on a
// 2-core machine of the project's kind: 8192 x 32 x 32 in 2.6 s with writing).
inline constexpr double kPlanSecondsPerPoint = 3.1e-7;

struct PlanRequest {
  double windSpeed = 0.0;      // V, m/s
  double hubHeight = 0.0;      // Z, m
  double rotorDiameter = 0.0;  // D, m
  double time = 0.0;           // T, s
  std::optional<std::string> turbulenceClass;  // A, B, C or Iref
  std::optional<double> roughness;             // land source only
  std::optional<ModelParameters> basic;        // the basic source (library callers)
  double dt = kDefaultPlanTimeStep;
  double margin = kDefaultPlanMargin;
  bool hubOnRow = false;                       // row N/2 at the hub
  std::string output = "plan.inp";
  bool help = false, version = false;
  // A table (--table DIR): every speed with every seed.
  std::string table;                           // empty: a single plan
  std::vector<double> speeds;
  std::vector<long> seeds;
};

struct BoxPlan {
  PlanRequest request;
  std::array<int, 3> N{};
  std::array<float, 3> LMax{};     // as written to the parameter file
  std::array<double, 3> spacing{}; // LMax_d / N_d
  double timeStep = 0.0;           // dx / V
  double usableWidth = 0.0;        // (N2 - 1) dy
  double usableHeight = 0.0;       // (N3 - 1) dz
  double gridBottom = 0.0, gridTop = 0.0;
  double roughness = 0.0;          // land source
  double memoryBytes = 0.0;        // the three float fields
  double seconds = 0.0;            // estimated run time on one core
};

// The plan, or a refusal that says what to change.
BoxPlan planBox(const PlanRequest& r);

// The parameter file's text: outputs named after the stem of -o (a stem with
// white space, which vorlan would read as two names, or one too long for a
// file name is refused) with _u.bin, _v.bin, _w.bin, seed -1; or after
// outputStem, with seed.
std::string planParameterText(const BoxPlan& p);
std::string planParameterText(const BoxPlan& p, const std::string& outputStem, long seed);

// The plan's parameter file read back as vorlan reads it, with every check
// vorlan makes (the source's model, the box, the names), and the cell
// integrals of a box much longer than wide (turb3dCellFailure): what the
// planner writes, vorlan runs. planBox calls it last.
void checkPlanRuns(const BoxPlan& p);

// The plan in plain words.
void printPlan(std::ostream& out, const BoxPlan& p);

// The vorlan options the plan needs besides the file (" --hub-on-row" or "").
std::string planRunOptions(const PlanRequest& r);

// A load-case table: one plan per speed, one row per speed and seed.
struct TableRow {
  std::string name;     // v<V>_s<|S|>
  std::size_t plan = 0; // index into TablePlan::plans
  long seed = -1;
};
struct TablePlan {
  PlanRequest request;
  std::vector<BoxPlan> plans;  // one per speed, in the order given
  std::vector<TableRow> rows;  // speed by speed, each with every seed
};

// The table, or a refusal that names the speed (and what to change); a speed
// or a seed listed twice is refused.
TablePlan planTable(const PlanRequest& r);

// The row's name: "v" and the speed's shortest decimal, "_s" and |seed|.
std::string tableRowName(double speed, long seed);

// The table's summary in plain words (also DIR/plan.txt).
void printTable(std::ostream& out, const TablePlan& t);

// Writes the table's folders and files (see above) under r.table.
void writeTable(const TablePlan& t);

}  // namespace wind
