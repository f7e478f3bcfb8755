#include "fit/series_spectra.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "tests/support.hpp"

namespace wind {
namespace {

constexpr double kPi = std::numbers::pi;

// A series in wind axes, mean U along u and sinusoids of whole cycles per
// window (so their sample means and cross products vanish exactly), turned
// into a sensor frame by pitch then yaw: what a tilted sonic sees.
struct Tones {
  double dt = 0.05, U = 9.3, yawDeg = 31.0, pitchDeg = -4.5;
  long n = 4096;
  double A = 1.31, B = 0.83, C = 0.57;  // amplitudes of u, v, w (m/s)
  long cu = 37, cv = 101, cw = 403;     // cycles per 2048 samples
  SonicSeries series() const {
    SonicSeries s;
    s.dt = dt;
    const double y = yawDeg * kPi / 180, p = pitchDeg * kPi / 180;
    for (long j = 0; j < n; ++j) {
      const double ph = 2 * kPi * double(j) / 2048.0;
      const double u = U + A * std::cos(cu * ph + 0.3), v = B * std::cos(cv * ph + 1.1),
                   w = C * std::sin(cw * ph);
      // Undo the pitch, then the yaw.
      const double u1 = u * std::cos(p) - w * std::sin(p), w1 = u * std::sin(p) + w * std::cos(p);
      s.u.push_back(u1 * std::cos(y) - v * std::sin(y));
      s.v.push_back(u1 * std::sin(y) + v * std::cos(y));
      s.w.push_back(w1);
    }
    return s;
  }
};

SeriesOptions windowsOf(double seconds, double segment) {
  SeriesOptions o;
  o.window = seconds;
  o.segment = segment;
  return o;
}

TEST(SeriesSpectra, DoubleRotationFindsTheMeanWindAndItsAngles) {
  const Tones t;
  const SeriesSpectra r = seriesSpectra(t.series(), windowsOf(102.4, 204.8));
  ASSERT_EQ(r.info.size(), 1u);
  EXPECT_NEAR(r.info[0].windSpeed, t.U, 1e-12);
  EXPECT_NEAR(r.info[0].yaw, t.yawDeg, 1e-10);
  EXPECT_NEAR(r.info[0].pitch, t.pitchDeg, 1e-10);
  // Variances of the rotated components: the tones' A^2 / 2, no covariance.
  EXPECT_NEAR(r.spectra.variance[0], t.A * t.A / 2, 1e-12);
  EXPECT_NEAR(r.spectra.variance[1], t.B * t.B / 2, 1e-12);
  EXPECT_NEAR(r.spectra.variance[2], t.C * t.C / 2, 1e-12);
  EXPECT_NEAR(r.spectra.variance[3], 0.0, 1e-12);
}

TEST(SeriesSpectra, DetrendRemovesALinearDriftOfTheMeanWind) {
  // The wind speeding up by 0.8 m/s over the segment, along the mean wind:
  // with detrend the rotated u is the tone alone again (less the tone's own
  // small share along the ramp, 6e-6 of its variance).
  const Tones t;
  SonicSeries s = t.series();
  const double y = t.yawDeg * kPi / 180, p = t.pitchDeg * kPi / 180;
  for (long j = 0; j < t.n; ++j) {
    const double drift = 0.8 * (double(j) / double(t.n - 1) - 0.5);
    s.u[j] += drift * std::cos(p) * std::cos(y);
    s.v[j] += drift * std::cos(p) * std::sin(y);
    s.w[j] += drift * std::sin(p);
  }
  SeriesOptions o = windowsOf(102.4, 204.8);
  EXPECT_GT(seriesSpectra(s, o).spectra.variance[0], t.A * t.A / 2 + 0.04);
  o.detrend = true;
  const SeriesSpectra r = seriesSpectra(s, o);
  EXPECT_NEAR(r.spectra.variance[0], t.A * t.A / 2, 1e-4);
  EXPECT_NEAR(r.info[0].windSpeed, t.U, 1e-10);
}

TEST(SeriesSpectra, EachToneSumsToItsVarianceAtTaylorsWaveNumber) {
  // 4096 samples in one segment, Hann windows of 2048 with 50 % overlap (3).
  const Tones t;
  const SeriesSpectra r = seriesSpectra(t.series(), windowsOf(102.4, 204.8));
  EXPECT_EQ(r.windowSamples, 2048);
  EXPECT_EQ(r.windowsPerSegment, 3);
  const TabulatedSpectra& raw = r.raw.at(0);
  const double dk = 2 * kPi / (2048 * t.dt * t.U);
  ASSERT_NEAR(raw.abscissa.front(), 2 * dk, 1e-12);
  // The two-sided F integrates over both signs of k1 to the variance: the
  // tone's power sits in its own bin and, through the Hann window, in the two
  // beside it.
  const long tone[3] = {t.cu, t.cv, t.cw};
  const double amp[3] = {t.A, t.B, t.C};
  for (int c = 0; c < 3; ++c) {
    double near = 0, far = 0;
    for (std::size_t i = 0; i < raw.abscissa.size(); ++i) {
      const long m = std::lround(raw.abscissa[i] / dk);
      (std::labs(m - tone[c]) <= 1 ? near : far) += 2 * raw.F[c][i] * dk;
    }
    EXPECT_NEAR(near, amp[c] * amp[c] / 2, 1e-12) << "component " << c;
    EXPECT_NEAR(far, 0.0, 1e-12) << "component " << c;
  }
  // The pooled bands carry the same power.
  double pooled = 0;
  for (std::size_t b = 0; b < r.spectra.bands.size(); ++b)
    pooled += 2 * r.spectra.F[0][b] * r.spectra.bands[b].members() * dk;
  EXPECT_NEAR(pooled, t.A * t.A / 2, 1e-12);
}

TEST(SeriesSpectra, BandsPoolEveryEstimateOnceWithTheirWaveNumbers) {
  const Tones t;
  SeriesOptions o = windowsOf(102.4, 102.4);
  o.bandsPerDecade = 7;
  const SeriesSpectra r = seriesSpectra(t.series(), o);
  ASSERT_EQ(r.segments.size(), 2u);
  long members = 0;
  for (const SpectrumBand& b : r.spectra.bands) {
    members += b.members();
    for (const MemberRun& run : b.runs) {
      // Every member of a band lies in it: floor(7 log10 k) is the band's.
      const long j = std::lround(std::floor(7 * std::log10(b.k1)));
      EXPECT_EQ(std::floor(7 * std::log10(run.kFirst)), j);
      EXPECT_EQ(std::floor(7 * std::log10(run.kFirst + (run.count - 1) * run.kStep)), j);
    }
  }
  // Frequencies 2 .. 1023 of each of the two segments.
  EXPECT_EQ(members, 2 * 1022);
}

TEST(SeriesSpectra, FrequencyRangeKeepsOnlyItsEstimates) {
  const Tones t;
  SeriesOptions o = windowsOf(102.4, 204.8);
  o.fMin = 1.0;
  o.fMax = 3.0;
  const SeriesSpectra r = seriesSpectra(t.series(), o);
  const double fs = 1 / t.dt;
  for (double k : r.raw.at(0).abscissa) {
    const double f = k * t.U / (2 * kPi);
    EXPECT_GE(f, 1.0 - 1e-9);
    EXPECT_LE(f, 3.0 + 1e-9);
  }
  EXPECT_EQ(r.raw.at(0).abscissa.size(),
            std::size_t(std::floor(3.0 * 2048 / fs) - std::ceil(1.0 * 2048 / fs) + 1));
}

TEST(SeriesSpectra, RefusesWhatCannotBeEstimated) {
  const Tones t;
  SonicSeries s = t.series();
  EXPECT_EQ(testing::fatalMessage([&] { seriesSpectra(s, SeriesOptions{}); }),
            "The record lasts 204.8 s (4096 samples), less than one segment of 600 s: a fit needs "
            "a whole "
            "segment; choose segments of at most 204.8 s");
  EXPECT_EQ(testing::fatalMessage([&] { seriesSpectra(s, windowsOf(3.0, 200)); }),
            "The window holds 32 samples (1.6 s), fewer than 64: its spectrum spans too few "
            "frequencies to "
            "fit; choose longer segments or windows");
  EXPECT_EQ(testing::fatalMessage([&] { seriesSpectra(s, windowsOf(300, 200)); }),
            "The window of 300 s is longer than the segment of 200 s: choose a window no longer "
            "than the segment");
  SonicSeries flat = s;
  std::fill(flat.w.begin(), flat.w.begin() + 2048, 0.25);
  EXPECT_EQ(testing::fatalMessage([&] { seriesSpectra(flat, windowsOf(51.2, 102.4)); }),
            "The w series is constant (0.25 m/s) in the segment from t = 0 s: a sensor that "
            "records nothing "
            "cannot be fitted; check the column");
  Tones calm;
  calm.U = 0.6;
  EXPECT_EQ(testing::fatalMessage([&] { seriesSpectra(calm.series(), windowsOf(102.4, 204.8)); }),
            "The mean wind speed in the segment from t = 0 s is 0.6 m/s, not above the standard "
            "deviation "
            "of u (0.92631 m/s): Taylor's hypothesis, which turns frequencies into wave numbers, "
            "does not "
            "hold there; fit segments with a steady mean wind");
}

TEST(SeriesSpectra, MissingSamplesAreRefusedOrTheirSegmentsLeftOut) {
  const Tones t;
  SonicSeries s = t.series();
  s.v[3000] = std::nan("");
  EXPECT_EQ(
      testing::fatalMessage([&] { seriesSpectra(s, windowsOf(51.2, 102.4)); }),
      "The series has a missing or non-finite value at t = 150 s: fill the gap, or leave out the "
      "segments that hold one");
  SeriesOptions o = windowsOf(51.2, 102.4);
  o.skipGaps = true;
  const SeriesSpectra r = seriesSpectra(s, o);
  ASSERT_EQ(r.info.size(), 2u);
  EXPECT_TRUE(r.info[0].used);
  EXPECT_FALSE(r.info[1].used);
  EXPECT_EQ(r.segments.size(), 1u);
  s.u[10] = std::nan("");
  EXPECT_EQ(testing::fatalMessage([&] { seriesSpectra(s, o); }),
            "Every segment of the record holds a missing value: no segment is left to fit");
}

}  // namespace
}  // namespace wind
