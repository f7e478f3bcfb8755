#include "fit/series_file.hpp"

#include <cmath>
#include <string>
#include <vector>

#include "fit/text_table.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

constexpr double kGridTolerance = 0.01;  // of dt
constexpr const char* kExpected = "time u v w, in any order";

std::string seconds(double t) { return formatG6(t) + " s"; }

}  // namespace

SonicSeries readSeriesFile(const std::string& file, bool skipMissing) {
  TextTable table(file, "the series file", kExpected);
  const std::string at = table.where(table.headerLine());
  static constexpr const char* kNames[4] = {"time", "u", "v", "w"};
  int column[4] = {-1, -1, -1, -1};
  const auto& header = table.header();
  for (std::size_t q = 0; q < header.size(); ++q)
    for (int k = 0; k < 4; ++k)
      if (header[q] == kNames[k]) {
        if (column[k] >= 0) fatalError(at + ": the header names " + kNames[k] + " twice");
        column[k] = static_cast<int>(q);
      }
  for (int k = 0; k < 4; ++k)
    if (column[k] < 0)
      fatalError(at + ": the header names no " + kNames[k] + " column (it needs " + kExpected +
                 ")");

  SonicSeries s;
  std::vector<std::string> words;
  long line = 0, previousLine = 0;
  double previousTime = 0;
  std::size_t rows = 0;
  while (table.next(words, line)) {
    const std::string where = table.where(line);
    if (words.size() != header.size())
      fatalError(where + ": " + std::to_string(words.size()) + " values where the header has " +
                 std::to_string(header.size()) + " columns");
    double v[4];
    bool missing = false;
    for (int k = 0; k < 4; ++k) {
      const std::string& word = words[static_cast<std::size_t>(column[k])];
      if (!parseDecimal(word, v[k]))
        fatalError(where + ", column " + kNames[k] + ": '" + word + "' is not a number");
      if (k == 0 && !std::isfinite(v[0]))
        fatalError(where + ": the time '" + word + "' is not a finite number");
      if (k > 0 && !std::isfinite(v[k])) {
        if (!skipMissing)
          fatalError(where + ", column " + kNames[k] + ": '" + word +
                     "' is not a finite number: mend the row, or leave out the segments that hold "
                     "missing values");
        missing = true;
      }
    }
    const double t = v[0];
    if (rows == 1) {
      if (!(t > previousTime))
        fatalError(where + ": time " + seconds(t) + " does not come after " +
                   seconds(previousTime) + " (line " + std::to_string(previousLine) +
                   "); times must rise");
      s.dt = t - s.t0;
    }
    if (rows >= 1) {
      // The sample this row is, counted from t0 on the grid of dt.
      const double position = (t - s.t0) / s.dt;
      const double index = std::round(position);
      if (!(std::fabs(position - index) <= kGridTolerance) || !(t > previousTime))
        fatalError(where + ": time " + seconds(t) + " after " + seconds(previousTime) + " (line " +
                   std::to_string(previousLine) + ") is not the next step of " + seconds(s.dt) +
                   " or a whole number of steps later: the series must be evenly sampled");
      const double gap = index - double(s.u.size());
      if (gap > double(kMaxGapSamples))
        fatalError(where + ": time " + seconds(t) + " leaves a gap of " + formatG6(gap) +
                   " samples after " + seconds(previousTime) + ": a mistyped time?");
      if (gap > 0) {
        if (!skipMissing)
          fatalError(where + ": time " + seconds(t) + " follows " + seconds(previousTime) +
                     ", a gap of " + formatG6(gap) + " missing sample" + (gap > 1 ? "s" : "") +
                     " at a step of " + seconds(s.dt) +
                     ": fill the gap, or leave out the segments that hold one");
        const auto n = static_cast<std::size_t>(gap);
        for (auto* c : {&s.u, &s.v, &s.w}) c->insert(c->end(), n, std::nan(""));
      }
    } else {
      s.t0 = t;
    }
    const double nan = std::nan("");
    s.u.push_back(missing ? nan : v[1]);
    s.v.push_back(missing ? nan : v[2]);
    s.w.push_back(missing ? nan : v[3]);
    previousTime = t;
    previousLine = line;
    ++rows;
  }
  if (rows < 2) fatalError(file + " holds fewer than two rows of values");
  return s;
}

}  // namespace wind
