// The two text formats of corvel-fit: series and spectra files.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "fit/series_file.hpp"
#include "fit/spectra_file.hpp"
#include "support/print_format.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

std::string fileWith(const std::string& name, const std::string& text) {
  const auto path = testing::freshDir("fit_files_" + name) / (name + ".txt");
  testing::writeText(path, text);
  return path.string();
}

TEST(SeriesFile, ReadsColumnsInAnyOrderPastOthersWithCommentsAndCommas) {
  const std::string f =
      fileWith("order",
               "# sonic at 90 m\n\nw, T, time, u, v\n-0.1, 288.1, 12.00, 10.5, 0.3  # first\n"
               "0.2 288.2 12.05 10.7 0.1\n0.0 288.0 12.1 10.6 -0.2\n");
  const SonicSeries s = readSeriesFile(f, false);
  EXPECT_EQ(s.t0, 12.0);
  EXPECT_NEAR(s.dt, 0.05, 1e-12);
  EXPECT_EQ(s.u, (std::vector<double>{10.5, 10.7, 10.6}));
  EXPECT_EQ(s.v, (std::vector<double>{0.3, 0.1, -0.2}));
  EXPECT_EQ(s.w, (std::vector<double>{-0.1, 0.2, 0.0}));
}

TEST(SeriesFile, GapsAndMissingValuesAreRefusedWithTheLineOrMadeMissingSamples) {
  const std::string text = "time u v w\n0 10 0 0\n0.1 10.2 0.1 0\n0.4 10.1 0 0.1\n0.5 nan 0 0\n";
  const std::string f = fileWith("gaps", text);
  EXPECT_EQ(testing::fatalMessage([&] { readSeriesFile(f, false); }),
            f + ", line 4: time 0.4 s follows 0.1 s, a gap of 2 missing samples at a step of 0.1 "
                "s: fill the "
                "gap, or leave out the segments that hold one");
  const SonicSeries s = readSeriesFile(f, true);
  ASSERT_EQ(s.u.size(), 6u);
  for (std::size_t i : {2u, 3u, 5u}) EXPECT_TRUE(std::isnan(s.u[i])) << i;
  EXPECT_EQ(s.u[4], 10.1);
  const std::string nanRow = fileWith("nanrow", "time u v w\n0 10 0 0\n0.1 10.2 NaN 0\n");
  EXPECT_EQ(testing::fatalMessage([&] { readSeriesFile(nanRow, false); }),
            nanRow +
                ", line 3, column v: 'NaN' is not a finite number: mend the row, or leave out the "
                "segments "
                "that hold missing values");
}

TEST(SeriesFile, RefusesWhatIsNotAnEvenlySampledSeries) {
  const auto message = [](const std::string& name, const std::string& text) {
    const std::string f = fileWith(name, text);
    return testing::fatalMessage([&] { readSeriesFile(f, true); }).substr(f.size());
  };
  EXPECT_EQ(message("nohead", "# nothing\n"), " has no header line (time u v w, in any order)");
  EXPECT_EQ(message("now", "time u v\n0 1 2\n"),
            ", line 1: the header names no w column (it needs time u v w, in any order)");
  EXPECT_EQ(message("twice", "time u v w u\n"), ", line 1: the header names u twice");
  EXPECT_EQ(message("short", "time u v w\n0 1 2 3\n0.1 1 2\n"),
            ", line 3: 3 values where the header has 4 columns");
  EXPECT_EQ(message("word", "time u v w\n0 1 2 3\n0.1 1 x 3\n"),
            ", line 3, column v: 'x' is not a number");
  EXPECT_EQ(message("back", "time u v w\n0 1 2 3\n0.1 1 2 3\n0.05 1 2 3\n"),
            ", line 4: time 0.05 s after 0.1 s (line 3) is not the next step of 0.1 s or a whole "
            "number of steps "
            "later: the series must be evenly sampled");
  EXPECT_EQ(message("jitter", "time u v w\n0 1 2 3\n0.1 1 2 3\n0.25 1 2 3\n"),
            ", line 4: time 0.25 s after 0.1 s (line 3) is not the next step of 0.1 s or a whole "
            "number of steps "
            "later: the series must be evenly sampled");
  EXPECT_EQ(message("nantime", "time u v w\n0 1 2 3\nnan 1 2 3\n"),
            ", line 3: the time 'nan' is not a finite number");
  EXPECT_EQ(message("far", "time u v w\n0 1 2 3\n0.1 1 2 3\n1e9 1 2 3\n"),
            ", line 4: time 1e+09 s leaves a gap of 1e+10 samples after 0.1 s: a mistyped time?");
  EXPECT_EQ(message("one", "time u v w\n0 1 2 3\n"), " holds fewer than two rows of values");
}

TEST(SpectraFile, ConventionsBecomeTheTwoSidedWaveNumberSpectrum) {
  const double pi = std::numbers::pi;
  // The same spectrum four ways: k1 two-sided F, k1 one-sided 2F, f one-sided
  // S = 4 pi F / U, f two-sided 2 pi F / U, at k1 = 2 pi f / U.
  const double U = 8.0, k = 0.125, F = 3.5;
  const double f = k * U / (2 * pi);
  const std::string k2 = fileWith("k2", "k1 F11 two-sided\n0.125 3.5\n0.25 1\n");
  const std::string k1 = fileWith("k1", "k1 one-sided F11\n0.125 7\n0.25 2\n");
  const std::string f1 = fileWith("f1", "f F11 U=8 one-sided\n" + shortestText(f) + " " +
                                            shortestText(4 * pi * F / U) + "\n1 1\n");
  const std::string f2 = fileWith("f2", "f two-sided U=8 F11\n" + shortestText(f) + " " +
                                            shortestText(2 * pi * F / U) + "\n1 1\n");
  for (const std::string& name : {k2, k1, f1, f2}) {
    const BandSpectra b = tabulatedBandSpectra(readSpectraFile(name, false));
    ASSERT_EQ(b.bands.size(), 2u) << name;
    EXPECT_NEAR(b.bands[0].k1, k, 1e-15) << name;
    EXPECT_NEAR(b.F[0][0], F, 1e-14) << name;
    EXPECT_TRUE(b.F[1].empty() && b.F[3].empty()) << name;
  }
}

TEST(SpectraFile, BandsPoolRowsAsTheSeriesPathDoes) {
  TabulatedSpectra t;
  t.abscissa = {0.11, 0.12, 0.13, 0.2, 0.3};
  t.F[0] = {1, 2, 3, 4, 5};
  t.F[3] = {-1, -1, -2, 0.5, 0};
  t.n = {1, 2, 4, 8, 16};
  const BandSpectra b =
      tabulatedBandSpectra(t, 5);  // bands of 10^(1/5): [0.1, 0.158), [0.158, 0.251), ...
  ASSERT_EQ(b.bands.size(), 3u);
  EXPECT_EQ(b.bands[0].members(), 3);
  EXPECT_NEAR(b.bands[0].k1, std::cbrt(0.11 * 0.12 * 0.13), 1e-15);
  EXPECT_EQ(b.F[0], (std::vector<double>{2, 4, 5}));
  EXPECT_NEAR(b.F[3][0], -4.0 / 3.0, 1e-15);
  EXPECT_EQ(b.dof, (std::vector<double>{7, 8, 16}));
  // Read from a file, n goes with its rows.
  const std::string f = fileWith("count", "k1 n F11 two-sided\n0.11 3 1\n0.2 5 2\n");
  EXPECT_EQ(tabulatedBandSpectra(readSpectraFile(f, false)).dof, (std::vector<double>{3, 5}));
}

TEST(SpectraFile, RefusesHeadersAndRowsItCannotRead) {
  const auto message = [](const std::string& name, const std::string& text, bool skip = false) {
    const std::string f = fileWith(name, text);
    return testing::fatalMessage([&] { readSpectraFile(f, skip); }).substr(f.size());
  };
  EXPECT_EQ(message("first", "freq F11 one-sided\n"),
            ", line 1: the header starts with 'freq', not k1 or f (k1 or f, then any of F11 F22 "
            "F33 F13 (and n), "
            "one-sided or two-sided, and U=<m/s> with f)");
  EXPECT_EQ(message("side", "k1 F11\n"),
            ", line 1: the header must say one-sided or two-sided (the first integrates over "
            "positive wave numbers "
            "or frequencies to the variance, the second over both signs)");
  EXPECT_EQ(message("noU", "f F11 one-sided\n"),
            ", line 1: spectra over f need the mean wind speed U=<m/s> in the header, to turn "
            "frequencies into wave "
            "numbers");
  EXPECT_EQ(message("kU", "k1 F11 one-sided U=3\n"), ", line 1: U= goes with f, not with k1");
  EXPECT_EQ(message("badU", "f F11 one-sided U=-3\n"),
            ", line 1: 'U=-3' is not U=<mean wind speed in m/s>");
  EXPECT_EQ(message("none", "k1 two-sided\n"),
            ", line 1: the header names no spectrum (F11, F22, F33 or F13)");
  EXPECT_EQ(message("dup", "k1 F13 two-sided F13\n"), ", line 1: the header names F13 twice");
  EXPECT_EQ(message("word", "k1 F11 F13 two-sided Fuw\n"),
            ", line 1: 'Fuw' is not a header word (k1 or f, then any of F11 F22 F33 F13 (and n), "
            "one-sided or "
            "two-sided, and U=<m/s> with f)");
  EXPECT_EQ(message("onlyn", "k1 n two-sided\n"),
            ", line 1: the header names no spectrum (F11, F22, F33 or F13)");
  EXPECT_EQ(message("lown", "k1 F11 n two-sided\n0.1 1 4\n0.2 1 0.5\n"),
            ", line 3, column n: 0.5 is not a number of at least 1");
  EXPECT_EQ(message("neg", "k1 F11 F13 two-sided\n0.1 1 -1\n0.2 -1 -1\n"),
            ", line 3, column F11: -1 is not a positive number");
  EXPECT_EQ(message("nan", "k1 F11 F13 two-sided\n0.1 1 nan\n"),
            ", line 2, column F13: nan is not a finite number: mend the row, or leave out rows "
            "with missing values");
  EXPECT_EQ(message("down", "k1 F11 two-sided\n0.1 1\n0.1 1\n"),
            ", line 3: k1 = 0.1 does not come after 0.1 (line 2); it must rise");
  EXPECT_EQ(message("few", "k1 F11 two-sided\n0.1 1\n0.2 nan\n", true),
            " holds fewer than two rows of spectra");
}

}  // namespace
}  // namespace wind
