#include "handover/constraints_file.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <ostream>
#include <string_view>
#include <utility>

#include "handover/placement.hpp"
#include "support/fatal_error.hpp"
#include "support/input_file.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

// Times within this share of the box's step count as the same time.
constexpr double kTimeTolerance = 1e-3;

// Characters of a refused row shown in its report.
constexpr std::size_t kShownLine = 80;

constexpr const char* kComponentLetters = "uvw";

std::string seconds(double t) { return formatG6(t) + " s"; }
std::string metres(double v) { return formatG6(v) + " m"; }

// The words of a line: separated by white space or commas, except inside
// parentheses (so that "u(0, 90)" is one word).
std::vector<std::string> words(std::string_view line) {
  std::vector<std::string> out;
  std::string word;
  int depth = 0;
  for (char ch : line) {
    const bool separator = ch == ',' || std::isspace(static_cast<unsigned char>(ch));
    if (separator && depth == 0) {
      if (!word.empty()) out.push_back(word);
      word.clear();
      continue;
    }
    if (ch == '(') ++depth;
    if (ch == ')' && depth > 0) --depth;
    if (!std::isspace(static_cast<unsigned char>(ch))) word += ch;
  }
  if (!word.empty()) out.push_back(word);
  return out;
}

// A row whose values are separated both by commas and by white space alone
// ("1,0 10,84") cannot tell a decimal comma from a separator. A run of
// separator characters between two values (outside parentheses) is a comma
// separator when it holds a comma, else a blank one.
bool mixedSeparators(std::string_view line) {
  bool comma = false, blank = false, inRun = false, runComma = false, seenWord = false;
  int depth = 0;
  for (char ch : line) {
    const bool separator =
        depth == 0 && (ch == ',' || std::isspace(static_cast<unsigned char>(ch)));
    if (separator) {
      if (seenWord) inRun = true;
      runComma = runComma || ch == ',';
      continue;
    }
    if (inRun) {
      (runComma ? comma : blank) = true;
      inRun = false;
    }
    runComma = false;
    seenWord = true;
    if (ch == '(') ++depth;
    if (ch == ')' && depth > 0) --depth;
  }
  return comma && blank;
}

// The next line into `line` (without its '\n'), at most kMaxConstraintLine
// characters: returns false at the end of the input, and ends the run naming
// the line when it is longer.
bool boundedLine(std::istream& in, std::string& line, const std::string& file, int lineNo) {
  line.clear();
  int c = in.get();
  if (c == std::char_traits<char>::eof()) return false;
  for (; c != std::char_traits<char>::eof() && c != '\n'; c = in.get()) {
    if (line.size() == kMaxConstraintLine)
      fatalError("Constraint file " + file + ", line " + std::to_string(lineNo) +
                 " is longer than " + std::to_string(kMaxConstraintLine) +
                 " characters: not a file of series (a header and rows of numbers)");
    line += static_cast<char>(c);
  }
  return true;
}

// The whole word as a decimal number (finiteness checked by the caller).
bool number(const std::string& word, double& value) { return parseDecimal(word, value); }

// "u(y,z)" -> component and point; false when it is not such a name.
bool columnName(const std::string& word, ConstraintColumn& c) {
  if (word.size() < 6 || word[1] != '(' || word.back() != ')') return false;
  const char* letter = word[0] == '\0' ? nullptr : std::strchr(kComponentLetters, word[0]);
  if (letter == nullptr) return false;
  const std::string inside = word.substr(2, word.size() - 3);
  const std::size_t comma = inside.find(',');
  if (comma == std::string::npos) return false;
  if (!number(inside.substr(0, comma), c.y) || !number(inside.substr(comma + 1), c.z) ||
      !std::isfinite(c.y) || !std::isfinite(c.z))
    return false;
  c.name = word;
  c.comp = int(letter - kComponentLetters);
  return true;
}

[[noreturn]] void refuse(const std::string& file, const std::string& what) {
  fatalError("Constraint file " + file + what);
}

// The header's columns.
std::vector<ConstraintColumn> header(const std::vector<std::string>& w, const std::string& file,
                                     int lineNo) {
  const std::string at = ", line " + std::to_string(lineNo);
  if (w.front() != "time")
    refuse(file, at + ": the header must start with 'time', not '" + w.front() + "'");
  if (w.size() == 1) refuse(file, at + ": the header names no series after 'time'");
  if (w.size() - 1 > std::size_t(kMaxSeries))
    refuse(file, at + ": the header names " + std::to_string(w.size() - 1) +
                     " series, more than " + std::to_string(kMaxSeries));
  std::vector<ConstraintColumn> columns(w.size() - 1);
  for (std::size_t q = 1; q < w.size(); ++q)
    if (!columnName(w[q], columns[q - 1]))
      refuse(file, at + ": column '" + w[q] +
                       "' is not u(y,z), v(y,z) or w(y,z) (y and z in metres)");
  return columns;
}

}  // namespace

ConstraintSeries parseConstraints(std::istream& in, const std::string& name) {
  ConstraintSeries s;
  s.file = name;
  std::string line;
  int lineNo = 0, lastRowLine = 0;
  std::int64_t bytes = 0;
  bool haveHeader = false;
  while (boundedLine(in, line, name, lineNo + 1)) {
    ++lineNo;
    bytes += std::int64_t(line.size()) + 1;
    if (bytes > kMaxConstraintBytes)
      refuse(name, ", line " + std::to_string(lineNo) + ": the file is larger than " +
                       std::to_string(kMaxConstraintBytes >> 20) +
                       " MiB; cut the series to the box's duration");
    // A byte-order mark, as some editors write UTF-8, is no part of the text.
    if (lineNo == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string_view text = std::string_view(line).substr(0, line.find('#'));
    const std::vector<std::string> w = words(text);
    if (w.empty()) continue;
    if (!haveHeader) {
      s.columns = header(w, name, lineNo);
      haveHeader = true;
      continue;
    }
    const std::string at = ", line " + std::to_string(lineNo);
    if (mixedSeparators(text)) {
      std::string shown(text.substr(0, kShownLine));
      while (!shown.empty() && std::isspace(static_cast<unsigned char>(shown.back()))) shown.pop_back();
      refuse(name, at + ": '" + shown + (text.size() > kShownLine ? "..." : "") +
                       "' separates its values both by commas and by white space, which leaves "
                       "a decimal comma (1,5) ambiguous: separate them one way only, and write "
                       "decimals with a point");
    }
    if (w.size() != s.columns.size() + 1)
      refuse(name, at + ": " + std::to_string(w.size()) + " values where the header has " +
                       std::to_string(s.columns.size() + 1) + " columns (time and " +
                       std::to_string(s.columns.size()) + " series)");
    for (std::size_t q = 0; q < w.size(); ++q) {
      const std::string column = q == 0 ? "time" : s.columns[q - 1].name;
      double v = 0.0;
      if (!number(w[q], v))
        refuse(name, at + ", column " + column + ": '" + w[q] + "' is not a number");
      if (!std::isfinite(v))
        refuse(name, at + ", column " + column + ": '" + w[q] + "' is not a finite number");
      if (q > 0 && !(std::fabs(v) <= kMaxSeriesSpeed))
        refuse(name, at + ", column " + column + ": '" + w[q] + "' m/s is no wind speed (at " +
                         "most " + formatG6(kMaxSeriesSpeed) + " m/s in magnitude): the " +
                         "values are in m/s");
      if (q == 0) {
        if (!s.times.empty() && !(v > s.times.back()))
          refuse(name, at + ": time " + seconds(v) + " does not come after " +
                           seconds(s.times.back()) + " (line " + std::to_string(lastRowLine) +
                           "); times must increase");
        s.times.push_back(v);
      } else {
        s.columns[q - 1].values.push_back(v);
      }
    }
    lastRowLine = lineNo;
  }
  if (in.bad()) refuse(name, " could not be read");
  if (!haveHeader)
    refuse(name, " has no header line ('time' followed by the names of the series)");
  if (s.times.size() < 2) refuse(name, " holds fewer than two rows of values");
  return s;
}

ConstraintSeries readConstraintFile(const std::string& name) {
  std::ifstream in = openInputFile(name, "Could not open the constraint file");
  return parseConstraints(in, name);
}

const char* samplingName(ConstraintSampling s) {
  switch (s) {
    case ConstraintSampling::asGiven: return "none";
    case ConstraintSampling::stepMeans: return "means over each box step";
    case ConstraintSampling::linear: return "linear interpolation";
  }
  return "";
}

namespace {

// The N1 samples of one series at t0 + n dt.
std::vector<double> resampled(const std::vector<double>& t, const std::vector<double>& f, int N1,
                              double dt, ConstraintSampling how) {
  std::vector<double> out(static_cast<std::size_t>(N1));
  const std::size_t rows = t.size();
  // The series, linear between rows, at time x within segment r.
  const auto at = [&](std::size_t r, double x) {
    return f[r] + (x - t[r]) / (t[r + 1] - t[r]) * (f[r + 1] - f[r]);
  };
  std::size_t r = 0;  // t[r] <= the current time, r + 1 < rows
  for (int n = 0; n < N1; ++n) {
    const double tn = t[0] + n * dt;
    if (how == ConstraintSampling::asGiven) {
      out[std::size_t(n)] = f[std::size_t(n)];
      continue;
    }
    if (how == ConstraintSampling::linear) {
      while (r + 2 < rows && t[r + 1] <= tn) ++r;
      out[std::size_t(n)] = at(r, std::min(tn, t[rows - 1]));
      continue;
    }
    // The mean over [tn - dt/2, tn + dt/2] within the series' span.
    const double a = std::max(tn - 0.5 * dt, t[0]), b = std::min(tn + 0.5 * dt, t[rows - 1]);
    while (r + 2 < rows && t[r + 1] <= a) ++r;
    double sum = 0.0;
    for (std::size_t q = r; q + 1 < rows && t[q] < b; ++q) {
      const double x0 = std::max(a, t[q]), x1 = std::min(b, t[q + 1]);
      if (x1 > x0) sum += (x1 - x0) * 0.5 * (at(q, x0) + at(q, x1));
    }
    out[std::size_t(n)] = b > a ? sum / (b - a) : at(r, a);
  }
  return out;
}

// The sampling the rows need for N1 steps of dt from their first time.
ConstraintSampling samplingOf(const std::vector<double>& t, int N1, double dt) {
  bool same = t.size() >= std::size_t(N1);
  for (int n = 0; same && n < N1; ++n)
    same = std::fabs(t[std::size_t(n)] - (t[0] + n * dt)) <= kTimeTolerance * dt;
  if (same) return ConstraintSampling::asGiven;
  const double step = (t.back() - t.front()) / double(t.size() - 1);
  return step < dt ? ConstraintSampling::stepMeans : ConstraintSampling::linear;
}

std::string componentList(const SimulationInput& in) {
  std::string s;
  for (int c = 0; c < in.nComp; ++c) s += std::string(c > 0 ? ", " : "") + kComponentLetters[in.components[c]];
  return s;
}

}  // namespace

namespace {

// A column's point in the grid; refuses a component the box lacks, a point
// outside the span of the grid's points, and a second series of one
// component at one point.
PlacedColumn placedColumn(const ConstraintColumn& c, const std::string& file,
                          const SimulationInput& in, const GridPlacement& placement,
                          const std::vector<PlacedColumn>& before) {
  const BoxGrid grid = boxGridOf(in);
  const double dy = spacingAcross(grid), dz = spacingUp(grid);
  const double halfWidth = (grid.N2 - 1) * dy / 2.0;
  const std::string at = ", column " + c.name + ": ";
  bool held = false;
  for (int q = 0; q < in.nComp; ++q) held = held || in.components[q] == c.comp;
  if (!held)
    refuse(file, at + "the box has no " + kComponentLetters[c.comp] + " component (it holds " +
                     componentList(in) + ")");
  PlacedColumn p;
  p.name = c.name;
  p.comp = c.comp;
  p.y = c.y;
  p.z = c.z;
  p.across = axisPoint(c.y + halfWidth, dy);
  p.up = axisPoint(c.z - placement.gridBottom, dz);
  if (!insideAxis(p.across, grid.N2))
    refuse(file, at + "y = " + metres(c.y) + " lies outside the grid's lateral extent, " +
                     metres(-halfWidth) + " to " + metres(halfWidth) + " (the span of its points)");
  if (!insideAxis(p.up, grid.N3))
    refuse(file, at + "z = " + metres(c.z) + " lies outside the grid's rows, " +
                     metres(placement.gridBottom) + " to " + metres(placement.gridTop) +
                     " above ground");
  for (const PlacedColumn& o : before)
    if (o.comp == p.comp && std::fabs(o.across.spacings - p.across.spacings) <= kNodeTolerance &&
        std::fabs(o.up.spacings - p.up.spacings) <= kNodeTolerance)
      refuse(file, ": columns " + o.name + " and " + p.name + " constrain " +
                       kComponentLetters[p.comp] + " at the same point");
  return p;
}

// The time step of the box, the series' rows and span, the rows used and the
// sampling; refuses series that do not reach the box's last sample.
void timeOf(BoxConstraints& box, const ConstraintSeries& series, const BoxGrid& grid,
            double windSpeed) {
  const int N1 = grid.N1;
  box.N1 = N1;
  box.N2 = grid.N2;
  box.dt = timeStep(grid, windSpeed);
  box.rows = int(series.times.size());
  box.seriesSpan = series.times.back() - series.times.front();
  box.seriesStep = box.seriesSpan / (box.rows - 1);
  const double need = (N1 - 1) * box.dt;
  if (box.seriesSpan < need - kTimeTolerance * box.dt)
    refuse(series.file, ": the series end " + seconds(box.seriesSpan) +
                            " after their first time; the box needs N1 = " + std::to_string(N1) +
                            " samples at dt = " + seconds(box.dt) + ", times from the first to " +
                            seconds(need) + " after it (a duration of N1 dt = " +
                            seconds(N1 * box.dt) + ")");
  box.sampling = samplingOf(series.times, N1, box.dt);
  // The rows the samples take: up to the first row at or after the time the
  // last sample reaches (its own time, or the end of its step for the step
  // means), the end of the segment that holds it.
  const std::vector<double>& t = series.times;
  const double last =
      box.sampling == ConstraintSampling::asGiven ? t[std::size_t(N1) - 1]
      : box.sampling == ConstraintSampling::linear
          ? t.front() + (N1 - 1) * box.dt
          : std::min(t.front() + (N1 - 1) * box.dt + 0.5 * box.dt, t.back());
  box.rowsUsed = std::min(int(std::lower_bound(t.begin(), t.end(), last) - t.begin()) + 1,
                          box.rows);
}

}  // namespace

BoxConstraints placeConstraints(const ConstraintSeries& series, const SimulationInput& in,
                                const GridPlacement& placement, OutputLayout layout) {
  const BoxGrid grid = boxGridOf(in);
  const int N1 = grid.N1;
  BoxConstraints box;
  box.file = series.file;
  box.layout = layout;
  box.placement = placement;
  box.halfWidth = (grid.N2 - 1) * spacingAcross(grid) / 2.0;
  timeOf(box, series, grid, placement.windSpeed);
  for (const ConstraintColumn& c : series.columns)
    box.columns.push_back(placedColumn(c, series.file, in, placement, box.columns));

  // Samples, means removed, in the planes the layout's reader sees at their times.
  const int shift = layout == OutputLayout::inflowwind ? 1 : 0;
  for (std::size_t q = 0; q < series.columns.size(); ++q) {
    const std::vector<double> v =
        resampled(series.times, series.columns[q].values, N1, box.dt, box.sampling);
    double mean = 0.0;
    for (double x : v) mean += x;
    mean /= N1;
    ConstraintLine line;
    line.comp = series.columns[q].comp;
    line.y = box.columns[q].across.spacings * spacingAcross(grid);
    line.z = box.columns[q].up.spacings * spacingUp(grid);
    line.values.assign(std::size_t(N1), 0.0);
    for (int n = 0; n < N1; ++n)
      line.values[std::size_t((N1 - (n + shift) % N1) % N1)] = v[std::size_t(n)] - mean;
    box.columns[q].mean = mean;
    box.lines.lines.push_back(std::move(line));
  }
  return box;
}

std::optional<BoxConstraints> runConstraints(const HandOverOptions& options, RandomStreamKind random,
                                             const SimulationInput& in, const HandOver& handOver) {
  if (!options.constrained()) return std::nullopt;
  if (in.fieldDim != 3) fatalError("--constraints needs a three-dimensional field (fieldDim 3)");
  if (random != RandomStreamKind::classic)
    fatalError("--constraints draws from the classic random stream: leave --random counter out");
  if (!handOver.placement)
    fatalError("--constraints needs the wind speed and the hub height: the " +
               std::string(sourceKeyword(in.source)) +
               " source gives none; give --wind-speed and --hub-height");
  // A wind file is written from the box in the classic layout.
  const OutputLayout layout =
      handOver.format == WindFileFormat::raw ? options.layout : OutputLayout::classic;
  if (options.constraintSeries)
    return placeConstraints(*options.constraintSeries, in, *handOver.placement, layout);
  return placeConstraints(readConstraintFile(options.constraintsFile), in, *handOver.placement,
                          layout);
}

void printConstraintSummary(std::ostream& echo, const BoxConstraints& c) {
  echo << "Constraints: " << c.file << ", " << c.columns.size() << " series:";
  for (const PlacedColumn& p : c.columns) echo << " " << p.name;
  echo << "\n";
  echo << "Constraints: U = " << formatG6(c.placement.windSpeed) << " m/s, hub height "
       << formatG6(c.placement.hubHeight) << " m; the grid's points from "
       << formatG6(-c.halfWidth) << " to " << formatG6(c.halfWidth) << " m across, "
       << formatG6(c.placement.gridBottom) << " to " << formatG6(c.placement.gridTop)
       << " m above ground\n";
  echo << "Constraints: N1 = " << c.N1 << " samples at dt = " << formatG6(c.dt)
       << " s; the series' step " << formatG6(c.seriesStep) << " s, resampling: "
       << samplingName(c.sampling) << "; means removed\n";
  if (c.rowsUsed < c.rows)
    echo << "Constraints: the series run " << formatG6(c.seriesSpan)
         << " s from their first time; the box (N1 dt = " << formatG6(c.N1 * c.dt)
         << " s) takes " << c.rowsUsed << " of their " << c.rows << " rows\n";
  echo.flush();
}

void printConstraintOutcome(std::ostream& echo, const Turb3dConstraintOutcome& outcome) {
  double largest = 0.0;
  for (double d : outcome.largestDifference) largest = std::max(largest, d);
  echo << "Constraints: largest |box - data| " << formatG6(largest) << " m/s; ";
  if (outcome.nuggetWaveNumbers == 0)
    echo << "no nugget\n";
  else
    echo << "a nugget at " << outcome.nuggetWaveNumbers << " wave numbers, at most "
         << formatG6(outcome.largestNugget) << " of the mean diagonal\n";
  echo.flush();
}

}  // namespace wind
