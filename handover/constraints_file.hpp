#pragma once
// Measured series that a three-dimensional box must hold (`vorlan
// --constraints FILE`): the file, and how its series are placed in the box.
//
// The file is plain text. '#' starts a comment that runs to the end of its
// line; blank lines are skipped. The first other line is the header: the word
// `time`, then one name per series, `u(y,z)`, `v(y,z)` or `w(y,z)`, the
// velocity component and the point: y in metres across the wind, positive to
// the left looking downwind, 0 at the grid's lateral centre, and z in metres
// above ground. Every further line is one time step: the time in seconds,
// then one value (m/s) per series. Values are separated by white space or
// commas (the commas inside a name's parentheses belong to the name), one way
// only within a row. A UTF-8 byte-order mark at the start is skipped.
// Example:
//     # mast, 20 Hz
//     time  u(0,90)  v(0,90)  w(0,90)  u(0,60)
//     0.00  11.62    -0.41    0.12     9.87
//     0.05  11.71    -0.38    0.09     9.90
//
// Refused, each with the file, and the line and column where there is one:
// a file that cannot be read, a line longer than kMaxConstraintLine or a file
// larger than kMaxConstraintBytes (the reading stops there), a header that
// does not start with `time`, a name that is not u(y,z), v(y,z) or w(y,z), no
// series or more than kMaxSeries, a row that separates its values both by
// commas and by white space ("1,0 10,84": decimal commas or separators?), a
// row with another number of values than the header has columns, a value that
// is not a number or not finite (NaN, inf), a series value beyond
// kMaxSeriesSpeed, times that do not increase, fewer than two rows.
//
// Placing the series in a box (placeConstraints):
//   - Time. dt = dx / U, dx = LMax_1 / N1, U the mean wind speed; the series'
//     first time is the box's t = 0, and sample n (time t0 + n dt, n = 0 ..
//     N1 - 1) goes to the plane a reader of the written files sees at
//     t = n dt at x = 0 (docs/axes.md): classic plane i = (N1 - n) mod N1 + 1
//     (also what the .bts and .wnd files take), and with --layout inflowwind,
//     whose reader takes file plane n at t = n dt, classic plane
//     i = (N1 - 1 - n) mod N1 + 1, which the layout writes as its plane n + 1.
//   - Sampling. Rows whose times are the box's (within a thousandth of dt)
//     are taken as they are; otherwise, when the series' mean step is shorter
//     than dt, each sample is the mean of the series (linear between rows)
//     over the box's step centred on its time, within the series' span, so
//     that what the box cannot hold is averaged out rather than folded back;
//     when it is longer, the series are interpolated linearly. The series must
//     reach t0 + (N1 - 1) dt (within a thousandth of dt): a shorter one is
//     refused with the length it needs. The samples take the rows up to the
//     first one at or after the time the last sample reaches (t0 + (N1 - 1)
//     dt, or the end of its step for the step means): a row after it ends the
//     segment the last sample is interpolated in. The rows after that one are
//     not used (rowsUsed counts the others), which the summary says.
//   - Means. Each series' mean over its N1 samples is removed (the box holds
//     fluctuations) and kept for the record.
//   - Points. y_box = y + (N2 - 1) dy / 2 and z_box = z - grid bottom
//     (handover/placement.hpp: the grid centred on the hub unless --grid-bottom),
//     which must lie within the span of the grid's points, 0 .. (N2 - 1) dy
//     and 0 .. (N3 - 1) dz, the part of the box InflowWind reads. A point off
//     the grid points takes the box's trigonometric interpolant there
//     (synthesis/constraints.hpp). Refused: a point outside, a component the
//     box does not have, and two series of one component at the same point.
//
// Failure: every refusal ends the run through fatalError with a message that
// names the file (and the column, the line); nothing here writes a file.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "handover/hand_over.hpp"
#include "handover/placement.hpp"
#include "simulation/simulation_input.hpp"
#include "synthesis/constraints.hpp"
#include "synthesis/turb3d.hpp"

namespace wind {

// Most series one file may hold; its longest line and largest size (a file
// of series is read whole into memory); the largest |value| a series may
// hold, m/s (a faster "wind" is a unit or a column gone wrong).
inline constexpr int kMaxSeries = 1000;
inline constexpr std::size_t kMaxConstraintLine = std::size_t(1) << 20;    // 1 MiB
inline constexpr std::int64_t kMaxConstraintBytes = std::int64_t(1) << 26;  // 64 MiB
inline constexpr double kMaxSeriesSpeed = 1000.0;

struct ConstraintColumn {
  std::string name;            // as in the header, e.g. "u(0,90)"
  int comp = 0;                // 0 u, 1 v, 2 w
  double y = 0.0, z = 0.0;     // m across (left positive, 0 at the centre), m above ground
  std::vector<double> values;  // one per row, m/s
};

struct ConstraintSeries {
  std::string file;
  std::vector<double> times;  // s, one per row, increasing
  std::vector<ConstraintColumn> columns;
};

// Reads and checks a constraint file; parseConstraints reads the text of one
// (name for the messages).
ConstraintSeries readConstraintFile(const std::string& name);
ConstraintSeries parseConstraints(std::istream& in, const std::string& name);

enum class ConstraintSampling { asGiven, stepMeans, linear };

// A series placed in the box.
struct PlacedColumn {
  std::string name;
  int comp = 0;
  double y = 0.0, z = 0.0;  // as given
  AxisPoint across, up;     // in grid spacings from the grid's first row and column
  double mean = 0.0;        // removed, m/s
};

struct BoxConstraints {
  std::string file;
  Turb3dConstraints lines;  // for the engine: one line per column, in the file's order
  std::vector<PlacedColumn> columns;
  OutputLayout layout = OutputLayout::classic;
  GridPlacement placement;      // U, the hub height and the grid's rows
  int N1 = 0, N2 = 0;
  double halfWidth = 0.0;       // (N2 - 1) dy / 2, m
  double dt = 0.0;              // the box's time step, s
  double seriesStep = 0.0;      // the series' mean step, s
  double seriesSpan = 0.0;      // last time - first time, s
  int rows = 0, rowsUsed = 0;   // rows in the file, rows the samples take (see above)
  ConstraintSampling sampling = ConstraintSampling::asGiven;
};

// The series resampled to the box's time step, means removed, placed in its
// grid and time order for the layout (above). in is a three-dimensional
// input, placement the grid's (placeGrid).
BoxConstraints placeConstraints(const ConstraintSeries& series, const SimulationInput& in,
                                const GridPlacement& placement, OutputLayout layout);

// "means over each box step", "linear interpolation", "none".
const char* samplingName(ConstraintSampling s);

// The constraints of a run, read and placed before any output exists: none
// without --constraints; with it, a three-dimensional input ("--constraints
// needs a three-dimensional field (fieldDim 3)") drawn from the classic
// random stream (the conditioning visits the planes in mirror pairs, whose
// deviates it takes from recorded states of that stream), the grid placed by
// the run's hand-over (handover/hand_over.hpp: U and the hub height from the
// source or --wind-speed and --hub-height, centred on the hub or at
// --grid-bottom), the file read and placed for the layout its files are
// written in (the classic one for a .bts or .wnd); series given in memory
// (HandOverOptions::constraintSeries) are placed as the file's are. That no output is the
// constraint file is checked with the other names (checkRunNames,
// runner/driver.hpp).
std::optional<BoxConstraints> runConstraints(const HandOverOptions& options, RandomStreamKind random,
                                             const SimulationInput& in, const HandOver& handOver);

// The summary's lines about the constraints: the file and series, the
// sampling, and when the series are longer than the box, the cut.
void printConstraintSummary(std::ostream& echo, const BoxConstraints& c);

// After a run: the largest |box - data| over the lines and the nugget, one line.
void printConstraintOutcome(std::ostream& echo, const Turb3dConstraintOutcome& outcome);

}  // namespace wind
