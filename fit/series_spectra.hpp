#pragma once
// One-point spectra of a sonic anemometer's time series, in bands of
// along-wind wave number, for the fit (fit/fit.hpp).
//
// Input, SonicSeries: u, v, w in any fixed frame (m/s), sampled every dt
// seconds; NaN marks a missing sample.
//
// Steps, per segment (consecutive, segment seconds each, from the first
// sample; the samples after the last whole segment are not used):
//   1. Double rotation into the mean wind: about the vertical axis by
//      atan2(mean v, mean u), so that the mean of v is 0, then about the new
//      cross-wind axis by atan2(mean w, mean u'), so that the mean of w is 0.
//      u then points along the segment's mean wind, v across it (to the left
//      looking downwind), w up; the mean speed U is the mean of u.
//   2. The segment means removed, and with detrend a least-squares straight
//      line of each component.
//   3. Welch's estimate: Hann windows w_j = (1 - cos(2 pi j / N)) / 2 of N
//      samples, N the largest power of two in the segment (or in window
//      seconds), spread evenly from the segment's start to its end with at
//      least 50 % overlap; per window the transforms X_a of the windowed
//      components (fit/double_fft.hpp), and the one-sided cross-spectral
//      density S_ab(f_m) = 2 Re(X_a X_b*) / (fs sum w_j^2) at f_m = m fs / N,
//      averaged over the windows. m runs from 2 to N/2 - 1: the first
//      frequency, one cycle per window, is most altered by the window and the
//      mean removal, and the Nyquist frequency is left out.
//   4. Taylor's hypothesis at the segment's U: k1 = 2 pi f / U and the
//      two-sided wave-number spectrum F_ab(k1) = S_ab(f) U / (4 pi), whose
//      integral over the whole k1 line is the variance (covariance).
// Then the segments' estimates are pooled in logarithmic bands of k1,
// bandsPerDecade a decade (band j holds the k1 with floor(bandsPerDecade
// log10 k1) = j): each band's value is the mean of every estimate in it, over
// all segments, and its members are the segments' runs of wave numbers
// (fit/fit.hpp), so that the fit's model is averaged over the same wave
// numbers. Only estimates with fMin <= f <= fMax are kept. Each band also
// gets the number of independent periodogram values its mean is worth (dof,
// for the fit's correction of the logarithm's bias): n^2 / (V sum_runs
// q(run)), n its estimates, V the variance of a Welch average over a single
// periodogram's (Welch 1967: from the overlap of the Hann windows, 1/36 per
// pair half overlapping) and q(m) = m + (8/9)(m - 1) + (1/18)(m - 2) the
// variance of the sum of m adjacent frequencies (neighbours correlated by
// 4/9, next neighbours by 1/36 under a Hann window), for a spectrum that is
// flat over a few frequencies.
//
// Result: the pooled spectra of u, v, w and uw, with the mean over segments of
// the variances (covariance) and of U; the same for each segment alone (for
// the spread of fits over segments); each segment's estimates before the
// bands (two-sided over k1); and per segment its start, U and rotation angles.
//
// Failure (fatalError, naming the segment by its start time t0 + i dt):
// dt not positive, components of different lengths, a record shorter than
// one segment, a window of fewer than kMinWindowSamples or longer than the
// segment, a missing value (unless skipGaps: then segments that hold one are
// left out, and a record left with none is refused), a component constant
// over a segment, a segment whose mean speed is not above the standard
// deviation of u (Taylor's hypothesis then says nothing), no estimate within
// [fMin, fMax]. Reentrant; allocates its results and one window's work arrays.
#include <limits>
#include <vector>

#include "fit/fit.hpp"
#include "fit/spectra_file.hpp"

namespace wind {

inline constexpr int kMinWindowSamples = 64;

struct SonicSeries {
  double dt = 0.0;  // s
  double t0 = 0.0;  // time of the first sample (s)
  std::vector<double> u, v, w;
};

struct SeriesOptions {
  double segment = 600.0;  // s
  double window = 0.0;     // s; 0: the largest power of two of samples in a segment
  bool detrend = false;
  bool skipGaps = false;
  double fMin = 0.0, fMax = std::numeric_limits<double>::infinity();  // Hz
  int bandsPerDecade = 10;
};

struct SegmentInfo {
  double start = 0.0;  // s
  bool used = false;   // false: left out for a missing value
  double windSpeed = kNotANumber;
  double yaw = kNotANumber, pitch = kNotANumber;  // degrees
};

struct SeriesSpectra {
  BandSpectra spectra;                // all segments pooled
  std::vector<BandSpectra> segments;  // each used segment alone
  std::vector<TabulatedSpectra> raw;  // each used segment's estimates, over k1, two-sided
  std::vector<SegmentInfo> info;      // every segment
  long segmentSamples = 0;
  long windowSamples = 0;
  int windowsPerSegment = 0;
  long unusedSamples = 0;  // after the last whole segment
};

SeriesSpectra seriesSpectra(const SonicSeries& series, const SeriesOptions& options);

}  // namespace wind
