#include "handover/constraints_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>
#include <nlohmann/json.hpp>

#include "tests/support.hpp"

using namespace wind;
using ::testing::ExitedWithCode;
using wind::testing::fatalMessage;
namespace fs = std::filesystem;

namespace {

ConstraintSeries parse(const std::string& text) {
  std::istringstream in(text);
  return parseConstraints(in, "mast.txt");
}

std::string refusal(const std::string& text) {
  return fatalMessage([&] { parse(text); });
}

// A basic box of N1 x 8 x 8 points over N1 x 28 x 28 m (dy = dz = 3.5 m),
// U = 2 m/s and the grid centred on a hub at 30 m: rows from 17.75 to 42.25 m,
// across from -12.25 to 12.25 m, dt = dx / U = 0.5 s.
SimulationInput box(int N1 = 64, int nComp = 3) {
  SimulationInput in;
  in.fieldDim = 3;
  in.nComp = nComp;
  in.NPoint[0] = N1;
  in.NPoint[1] = 8;
  in.NPoint[2] = 8;
  in.LMax[0] = float(N1);
  in.LMax[1] = 28.0f;
  in.LMax[2] = 28.0f;
  return in;
}

GridPlacement placed(const SimulationInput& in) {
  return placeGrid(boxGridOf(in), WindAtHub{2.0, 30.0}, std::nullopt);
}

using wind::testing::rows;

}  // namespace

TEST(ConstraintFile, HeaderRowsCommentsAndSeparators) {
  const ConstraintSeries s = parse(
      "\xEF\xBB\xBF" "# mast\n\n  time, u(0,90)  v( -2.5 , 60.25 ) w(1e1,7)  # three series\n"
      "0, 10.5, -0.25, 0.125\n0.5 11 1e-1 -2  # a comment\n\n1.5\t9.75\t0\t0\r\n");
  ASSERT_EQ(s.columns.size(), 3u);
  EXPECT_EQ(s.columns[0].name, "u(0,90)");
  EXPECT_EQ(s.columns[1].name, "v(-2.5,60.25)");
  EXPECT_EQ(s.columns[1].comp, 1);
  EXPECT_EQ(s.columns[1].y, -2.5);
  EXPECT_EQ(s.columns[1].z, 60.25);
  EXPECT_EQ(s.columns[2].comp, 2);
  EXPECT_EQ(s.columns[2].y, 10.0);
  EXPECT_EQ(s.times, (std::vector<double>{0.0, 0.5, 1.5}));
  EXPECT_EQ(s.columns[0].values, (std::vector<double>{10.5, 11.0, 9.75}));
  EXPECT_EQ(s.columns[1].values, (std::vector<double>{-0.25, 0.1, 0.0}));
}

TEST(ConstraintFile, MalformedFilesAreRefusedWithLineAndColumn) {
  const std::string h = "time u(0,90) w(0,90)\n";
  EXPECT_EQ(refusal("# nothing\n\n"),
            "Constraint file mast.txt has no header line ('time' followed by the names of the "
            "series)");
  EXPECT_EQ(refusal("t u(0,90)\n"),
            "Constraint file mast.txt, line 1: the header must start with 'time', not 't'");
  EXPECT_EQ(refusal("# c\ntime\n"),
            "Constraint file mast.txt, line 2: the header names no series after 'time'");
  for (const char* bad : {"x(0,90)", "u(0)", "u(a,90)", "u(0,nan)", "u(0;90)", "U(0,90)", "u(0,90"})
    EXPECT_EQ(refusal(std::string("time ") + bad + "\n0 1\n1 1\n"),
              std::string("Constraint file mast.txt, line 1: column '") + bad +
                  "' is not u(y,z), v(y,z) or w(y,z) (y and z in metres)")
        << bad;
  EXPECT_EQ(refusal(h + "0 1 2\n0.5 1\n"),
            "Constraint file mast.txt, line 3: 2 values where the header has 3 columns (time and "
            "2 series)");
  EXPECT_EQ(refusal(h + "0 1 2\n0.5 1 x2\n"),
            "Constraint file mast.txt, line 3, column w(0,90): 'x2' is not a number");
  EXPECT_EQ(refusal(h + "0 1 2\n0.5 nan 2\n"),
            "Constraint file mast.txt, line 3, column u(0,90): 'nan' is not a finite number");
  EXPECT_EQ(refusal(h + "0 1 2\n0.5 1 -inf\n"),
            "Constraint file mast.txt, line 3, column w(0,90): '-inf' is not a finite number");
  EXPECT_EQ(refusal(h + "0 1 2\n\n1e999 1 2\n"),
            "Constraint file mast.txt, line 4, column time: '1e999' is not a number");
  EXPECT_EQ(refusal(h + "0 1 2\n0.5 1 2\n0.5 1 2\n"),
            "Constraint file mast.txt, line 4: time 0.5 s does not come after 0.5 s (line 3); "
            "times must increase");
  EXPECT_EQ(refusal(h + "0 1 2\n"), "Constraint file mast.txt holds fewer than two rows of values");
  EXPECT_EQ(fatalMessage([] { readConstraintFile("/nonexistent/mast.txt"); }),
            "Could not open the constraint file: /nonexistent/mast.txt: No such file or "
            "directory");
  EXPECT_EQ(refusal(h + "0 1 2\n0.5 1 1001\n"),
            "Constraint file mast.txt, line 3, column w(0,90): '1001' m/s is no wind speed (at "
            "most 1000 m/s in magnitude): the values are in m/s");
}

// Decimal commas: "1,0 10,84" would be read as four values. A row that mixes
// commas and blanks between its values is refused; one kind alone, commas
// with blanks around them, and the commas of a name's parentheses are fine.
TEST(ConstraintFile, ARowThatMixesCommasAndBlanksIsRefused) {
  const std::string h = "time u(0,90) w(0,90)\n";
  EXPECT_EQ(refusal(h + "0 1 2\n1,0 10,84\n"),
            "Constraint file mast.txt, line 3: '1,0 10,84' separates its values both by commas "
            "and by white space, which leaves a decimal comma (1,5) ambiguous: separate them one "
            "way only, and write decimals with a point");
  EXPECT_NE(refusal(h + "0\t1,2\n1 1 2\n"), "");
  EXPECT_EQ(parse(h + "0,1,2\n1 , 1 ,\t2\n2  1  2 # a, b c\n").times,
            (std::vector<double>{0.0, 1.0, 2.0}));
  EXPECT_EQ(parse("time u( 0 , 90 ),w(0,90)\n0,1,2\n1,1,2\n").columns[0].z, 90.0);
}

// The reader holds at most a line of 1 MiB and a file of 64 MiB: /dev/zero,
// or a file that is no file of series, stops there.
TEST(ConstraintFile, TheReadingIsBoundedByLineAndFile) {
  EXPECT_EQ(refusal(std::string(kMaxConstraintLine + 1, '\0')),
            "Constraint file mast.txt, line 1 is longer than 1048576 characters: not a file of "
            "series (a header and rows of numbers)");
  EXPECT_EQ(refusal("time u(0,90)\n" + std::string(kMaxConstraintLine, '1') + "\n"), 
            "Constraint file mast.txt, line 2: 1 values where the header has 2 columns (time and "
            "1 series)");
  // Comment lines of 1000 characters, endlessly.
  struct Comments : std::streambuf {
    std::string line = std::string(999, '#') + "\n";
    int_type underflow() override {
      setg(line.data(), line.data(), line.data() + line.size());
      return traits_type::to_int_type(line[0]);
    }
  } comments;
  std::istream endless(&comments);
  EXPECT_EQ(fatalMessage([&] { parseConstraints(endless, "big.txt"); }),
            "Constraint file big.txt, line 67109: the file is larger than 64 MiB; cut the series "
            "to the box's duration");
}

// Points: y from the grid's lateral centre, z above ground, into grid spacings
// from the first row and column; grid points and the ends of the span.
TEST(ConstraintFile, PointsArePlacedInTheGridFromItsCentreAndTheGround) {
  const SimulationInput in = box();
  const ConstraintSeries s = parse(rows("time u(-5.25,31.75) v(0,30) w(12.25,17.75)", 64, 0.0,
                                        0.5, 3, [](double t, int c) { return t + c; }));
  const BoxConstraints b = placeConstraints(s, in, placed(in), OutputLayout::classic);
  ASSERT_EQ(b.columns.size(), 3u);
  EXPECT_TRUE(b.columns[0].across.node && b.columns[0].up.node);
  EXPECT_EQ(b.columns[0].across.index, 2);
  EXPECT_EQ(b.columns[0].up.index, 4);
  EXPECT_FALSE(b.columns[1].across.node);  // the centre of an even grid lies between points
  EXPECT_DOUBLE_EQ(b.columns[1].across.spacings, 3.5);
  EXPECT_DOUBLE_EQ(b.columns[1].up.spacings, 3.5);
  EXPECT_EQ(b.columns[2].across.index, 7);
  EXPECT_EQ(b.columns[2].up.index, 0);
  EXPECT_DOUBLE_EQ(b.lines.lines[1].y, 12.25);
  EXPECT_DOUBLE_EQ(b.lines.lines[0].z, 14.0);
}

TEST(ConstraintFile, PointsComponentsAndDuplicatesThatDoNotFitAreRefused) {
  const auto message = [](const std::string& header, int nComp = 3) {
    const SimulationInput in = box(64, nComp);
    const ConstraintSeries s =
        parse(rows(header, 64, 0.0, 0.5, 2, [](double t, int) { return t; }));
    return fatalMessage([&] { placeConstraints(s, in, placed(in), OutputLayout::classic); });
  };
  EXPECT_EQ(message("time u(0,30) u(12.3,30)"),
            "Constraint file mast.txt, column u(12.3,30): y = 12.3 m lies outside the grid's "
            "lateral extent, -12.25 m to 12.25 m (the span of its points)");
  EXPECT_EQ(message("time u(0,30) w(0,17.7)"),
            "Constraint file mast.txt, column w(0,17.7): z = 17.7 m lies outside the grid's "
            "rows, 17.75 m to 42.25 m above ground");
  EXPECT_EQ(message("time u(0,30) u(0,42.3)"),
            "Constraint file mast.txt, column u(0,42.3): z = 42.3 m lies outside the grid's "
            "rows, 17.75 m to 42.25 m above ground");
  EXPECT_EQ(message("time u(0,30) u(0.0,30.0)"),
            "Constraint file mast.txt: columns u(0,30) and u(0.0,30.0) constrain u at the same "
            "point");
  EXPECT_EQ(message("time u(0,30) w(0,30)", 1),
            "Constraint file mast.txt, column w(0,30): the box has no w component (it holds u)");
  // Another component at the same point is a different constraint.
  EXPECT_EQ(message("time u(0,30) v(0,30)"), "");
}

// N1 = 64 samples of dt = 0.5 s need times to 31.5 s after the first; rows
// after the last one the samples take are not used.
TEST(ConstraintFile, SeriesMustReachTheBoxsLastSampleAndAreCutToItsDuration) {
  const SimulationInput in = box();
  const auto place = [&](int count, double step) {
    const ConstraintSeries s =
        parse(rows("time u(0,30)", count, 100.0, step, 1, [](double t, int) { return t; }));
    return placeConstraints(s, in, placed(in), OutputLayout::classic);
  };
  EXPECT_EQ(fatalMessage([&] { place(63, 0.5); }),
            "Constraint file mast.txt: the series end 31 s after their first time; the box needs "
            "N1 = 64 samples at dt = 0.5 s, times from the first to 31.5 s after it (a duration "
            "of N1 dt = 32 s)");
  const BoxConstraints exact = place(64, 0.5);
  EXPECT_EQ(exact.rowsUsed, 64);
  EXPECT_EQ(exact.rows, 64);
  const BoxConstraints longer = place(100, 0.5);
  EXPECT_EQ(longer.rowsUsed, 64);
  EXPECT_EQ(longer.rows, 100);
  EXPECT_EQ(longer.sampling, ConstraintSampling::asGiven);
  std::ostringstream summary;
  printConstraintSummary(summary, longer);
  EXPECT_EQ(summary.str(),
            "Constraints: mast.txt, 1 series: u(0,30)\n"
            "Constraints: U = 2 m/s, hub height 30 m; the grid's points from -12.25 to 12.25 m "
            "across, 17.75 to 42.25 m above ground\n"
            "Constraints: N1 = 64 samples at dt = 0.5 s; the series' step 0.5 s, resampling: "
            "none; means removed\n"
            "Constraints: the series run 49.5 s from their first time; the box (N1 dt = 32 s) "
            "takes 64 of their 100 rows\n");
}

// The row after the box's last sample time ends the segment the last sample
// is interpolated in: it counts as used, and it is the only one after it that
// changes the box. Rows every 0.5 s on a box of N1 = 1024 samples at dt =
// 0.125 s: the last sample, at 127.875 s, lies between the rows at 127.5 s
// and at N1 dt = 128 s.
TEST(ConstraintFile, TheRowThatEndsTheLastSamplesSegmentIsUsedAndCounted) {
  SimulationInput in = box(1024);
  in.LMax[0] = 256.0f;  // dx = 0.25 m, dt = 0.125 s at 2 m/s
  const auto place = [&](double rowAt128, double rowAfter) {
    std::string text = rows("time u(0,30)", 256, 0.0, 0.5, 1, [](double t, int) { return t; });
    text += "128 " + std::to_string(rowAt128) + "\n128.5 " + std::to_string(rowAfter) + "\n";
    return placeConstraints(parse(text), in, placed(in), OutputLayout::classic);
  };
  const BoxConstraints plain = place(128.0, 128.5);
  EXPECT_EQ(plain.sampling, ConstraintSampling::linear);
  EXPECT_EQ(plain.rows, 258);
  EXPECT_EQ(plain.rowsUsed, 257);  // through the row at 128 s
  // Sample n = N1 - 1 lies in classic plane 2 (index 1).
  const auto lastSample = [](const BoxConstraints& b) {
    return b.lines.lines[0].values[1] + b.columns[0].mean;
  };
  EXPECT_DOUBLE_EQ(lastSample(plain), 127.875);
  EXPECT_DOUBLE_EQ(lastSample(place(138.0, 128.5)), 127.5 + 0.75 * 10.5);
  EXPECT_EQ(place(128.0, -50.0).lines.lines[0].values, plain.lines.lines[0].values);
}

// The three samplings against closed forms, with the sample of time t0 + n dt
// in classic plane (N1 - n) mod N1 + 1 and the mean removed:
//   rows at the box's times          taken as they are;
//   rows every dt/4 of f = t^2       the mean of the linear interpolant over
//                                    [tn - dt/2, tn + dt/2]: tn^2 + dt^2/12 + h^2/6
//                                    (the trapezoid rule's excess h^2/6 on t^2),
//                                    the first window cut at t0;
//   rows every 3 dt/2 of a line      the line itself.
TEST(ConstraintFile, SeriesAreResampledToTheBoxStepAndTheirMeansRemoved) {
  const SimulationInput in = box(16);
  const double dt = 0.5;
  const auto place = [&](int count, double step, auto f) {
    const ConstraintSeries s = parse(rows("time u(0,30)", count, 0.0, step, 1, f));
    return placeConstraints(s, in, placed(in), OutputLayout::classic);
  };
  const auto sample = [](const BoxConstraints& b, int n) {
    return b.lines.lines[0].values[std::size_t((16 - n) % 16)] + b.columns[0].mean;
  };
  const BoxConstraints given = place(16, dt, [](double t, int) { return 3.0 + 2.0 * t * t; });
  EXPECT_EQ(given.sampling, ConstraintSampling::asGiven);
  double mean = 0.0;
  for (int n = 0; n < 16; ++n) mean += (3.0 + 2.0 * (n * dt) * (n * dt)) / 16;
  EXPECT_NEAR(given.columns[0].mean, mean, 1e-12);
  for (int n = 0; n < 16; ++n) EXPECT_NEAR(sample(given, n), 3.0 + 2.0 * (n * dt) * (n * dt), 1e-12);

  const double h = dt / 4;
  const BoxConstraints finer = place(64, h, [](double t, int) { return t * t; });
  EXPECT_EQ(finer.sampling, ConstraintSampling::stepMeans);
  // First window [0, dt/2]: the mean of the interpolant, t^2 over [0, dt/2] with
  // the trapezoid excess: dt^2/12 + h^2/6.
  EXPECT_NEAR(sample(finer, 0), dt * dt / 12 + h * h / 6, 1e-12);
  for (int n = 1; n < 16; ++n) {
    const double tn = n * dt;
    EXPECT_NEAR(sample(finer, n), tn * tn + dt * dt / 12 + h * h / 6, 1e-12) << n;
  }

  const BoxConstraints coarser = place(12, 1.5 * dt, [](double t, int) { return 4.0 - 0.75 * t; });
  EXPECT_EQ(coarser.sampling, ConstraintSampling::linear);
  for (int n = 0; n < 16; ++n) EXPECT_NEAR(sample(coarser, n), 4.0 - 0.75 * n * dt, 1e-12) << n;
  double sum = 0.0;
  for (double v : coarser.lines.lines[0].values) sum += v;
  EXPECT_NEAR(sum, 0.0, 1e-12);
}

// Sample n in classic plane (N1 - n) mod N1 + 1, and with the inflowwind layout
// (whose plane n + 1 is classic plane N1 - n) in classic plane
// (N1 - 1 - n) mod N1 + 1, which InflowWind reads at t = n dt.
TEST(ConstraintFile, TimeRunsThroughThePlanesAsEachLayoutsReaderSeesThem) {
  const SimulationInput in = box(16);
  const ConstraintSeries s =
      parse(rows("time u(0,30)", 16, 7.0, 0.5, 1, [](double t, int) { return (t - 7.0) / 0.5; }));
  const BoxConstraints classic = placeConstraints(s, in, placed(in), OutputLayout::classic);
  const BoxConstraints iw = placeConstraints(s, in, placed(in), OutputLayout::inflowwind);
  EXPECT_DOUBLE_EQ(classic.columns[0].mean, 7.5);
  for (int n = 0; n < 16; ++n) {
    EXPECT_DOUBLE_EQ(classic.lines.lines[0].values[std::size_t((16 - n) % 16)], n - 7.5) << n;
    EXPECT_DOUBLE_EQ(iw.lines.lines[0].values[std::size_t(15 - n)], n - 7.5) << n;
  }
}

// With --constraints the grid stands where it is placed, as for a wind file:
// a lowest row at or below ground is refused, not moved up.
TEST(ConstraintFile, AGridReachingTheGroundIsRefusedAsForAWindFile) {
  SimulationInput in = box();
  in.source = ParameterSource::basic;
  HandOverOptions o;
  o.constraintsFile = "mast.txt";
  o.windSpeed = 10.0;
  o.hubHeight = 20.0;
  in.LMax[2] = 48.0f;  // 8 rows over 48 m: the centred grid's lowest row at -1 m
  EXPECT_EQ(fatalMessage([&] { planHandOver(in, o); }),
            "The grid's lowest row would be at -1 m, not above ground (hub height 20 m, N3 = 8, "
            "dz = 6 m): make dz smaller than 5.71429 m (LMax3 below 45.7143 m at N3 = 8), or N3 "
            "= 4 at dz = 6 m (LMax3 = 24 m), or give --grid-bottom");
  o.constraintsFile.clear();
  EXPECT_FALSE(planHandOver(in, o).placement->warning.empty());  // raw alone: moved, with a word
  o.constraintsFile = "mast.txt";
  o.windSpeed.reset();
  EXPECT_EQ(fatalMessage([&] { planHandOver(in, o); }),
            "--constraints needs --wind-speed for the basic source");
}

TEST(ConstraintFile, RunOptionsAreCheckedBeforeAnyOutputExists) {
  SimulationInput in = box();
  in.fname[0] = "u.bin";
  in.fname[1] = "v.bin";
  in.fname[2] = "w.bin";
  const HandOver none;  // a basic box knows no wind speed and hub height
  HandOverOptions o;
  const RandomStreamKind classic = RandomStreamKind::classic;
  EXPECT_FALSE(runConstraints(o, classic, in, none).has_value());
  o.constraintsFile = "mast.txt";
  EXPECT_EQ(fatalMessage([&] { runConstraints(o, classic, in, none); }),
            "--constraints needs the wind speed and the hub height: the basic source gives "
            "none; give --wind-speed and --hub-height");
  EXPECT_EQ(fatalMessage([&] { runConstraints(o, RandomStreamKind::counter, in, none); }),
            "--constraints draws from the classic random stream: leave --random counter out");
  SimulationInput plane = in;
  plane.fieldDim = 2;
  EXPECT_EQ(fatalMessage([&] { runConstraints(o, classic, plane, none); }),
            "--constraints needs a three-dimensional field (fieldDim 3)");
}

