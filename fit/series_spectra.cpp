#include "fit/series_spectra.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <numbers>
#include <string>

#include "fit/double_fft.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kUw = static_cast<int>(SpectrumComponent::uw);
// The first frequency kept, in cycles per window.
constexpr long kFirstFrequency = 2;

// One segment's estimates: F_c(m dk) for m = mFirst .. mLast (two-sided in
// k1), and its variances.
struct SegmentEstimate {
  double dk = 0.0;
  long mFirst = 0, mLast = -1;
  std::array<std::vector<double>, kSpectrumComponents> F;
  std::array<double, kSpectrumComponents> variance{};
  double windSpeed = 0.0;
};

std::string segmentName(const SonicSeries& s, long first) {
  return "the segment from t = " + formatG6(s.t0 + double(first) * s.dt) + " s";
}

// The first samples of the Welch windows of nw samples in a segment of n:
// spread evenly from its start to its end, at most half a window apart, so
// that they overlap by 50 % or more.
std::vector<long> windowStarts(long n, long nw) {
  const long windows = n == nw ? 1 : (n - nw + nw / 2 - 1) / (nw / 2) + 1;
  std::vector<long> starts;
  for (long k = 0; k < windows; ++k)
    starts.push_back(windows == 1 ? 0
                                  : std::lround(double(k) * double(n - nw) / double(windows - 1)));
  return starts;
}

double hann(long j, long nw) { return 0.5 * (1 - std::cos(2 * kPi * double(j) / double(nw))); }

// The variance of the Welch average of the windows at starts, in units of
// one window's periodogram variance, for a locally flat spectrum: (1/K^2)
// sum_ij rho_ij with rho_ij = (sum_n w_n w_{n + d_ij})^2 / (sum_n w_n^2)^2 the
// correlation of the periodograms of two windows d_ij samples apart (Welch
// 1967; 1/36 for Hann windows half overlapping).
double welchVariance(const std::vector<long>& starts, long nw) {
  double sumW2 = 0;
  for (long j = 0; j < nw; ++j) sumW2 += hann(j, nw) * hann(j, nw);
  double v = 0;
  for (long a : starts)
    for (long b : starts) {
      const long d = std::labs(a - b);
      double c = 0;
      for (long j = 0; j + d < nw; ++j) c += hann(j, nw) * hann(j + d, nw);
      v += (c / sumW2) * (c / sumW2);
    }
  return v / double(starts.size() * starts.size());
}

// Least-squares straight line through y[0 .. n-1] (over the index), removed.
void removeTrend(std::vector<double>& y) {
  const double n = double(y.size()), xm = (n - 1) / 2;
  double sxy = 0, sxx = 0;
  for (std::size_t j = 0; j < y.size(); ++j) {
    sxy += (double(j) - xm) * y[j];
    sxx += (double(j) - xm) * (double(j) - xm);
  }
  const double slope = sxx > 0 ? sxy / sxx : 0.0;
  for (std::size_t j = 0; j < y.size(); ++j) y[j] -= slope * (double(j) - xm);
}

double mean(const std::vector<double>& y) {
  double s = 0;
  for (double v : y) s += v;
  return s / double(y.size());
}

// Steps 1 to 4 of the header for the samples [first, first + n).
SegmentEstimate estimateSegment(const SonicSeries& s, const SeriesOptions& o, long first, long n,
                                long nw, const std::vector<long>& starts, const DoubleFft& fft,
                                SegmentInfo& info) {
  const auto slice = [&](const std::vector<double>& c) {
    return std::vector<double>(c.begin() + first, c.begin() + first + n);
  };
  std::vector<double> u = slice(s.u), v = slice(s.v), w = slice(s.w);
  const char* names[3] = {"u", "v", "w"};
  const std::vector<double>* raw[3] = {&u, &v, &w};
  for (int c = 0; c < 3; ++c) {
    const auto [lo, hi] = std::minmax_element(raw[c]->begin(), raw[c]->end());
    if (*lo == *hi)
      fatalError("The " + std::string(names[c]) + " series is constant (" + formatG6(*lo) +
                 " m/s) in " + segmentName(s, first) +
                 ": a sensor that records nothing cannot be fitted; check the column");
  }
  // 1. Double rotation.
  const double um = mean(u), vm = mean(v), wm = mean(w);
  const double yaw = std::atan2(vm, um), cy = std::cos(yaw), sy = std::sin(yaw);
  const double pitch = std::atan2(wm, std::hypot(um, vm)), cp = std::cos(pitch),
               sp = std::sin(pitch);
  for (long j = 0; j < n; ++j) {
    const double u1 = u[j] * cy + v[j] * sy, v1 = -u[j] * sy + v[j] * cy;
    u[j] = u1 * cp + w[j] * sp;
    w[j] = -u1 * sp + w[j] * cp;
    v[j] = v1;
  }
  const double U = mean(u);
  info.windSpeed = U;
  info.yaw = yaw * 180.0 / kPi;
  info.pitch = pitch * 180.0 / kPi;
  // 2. Means (and trends) removed.
  for (std::vector<double>* c : {&u, &v, &w}) {
    const double m = mean(*c);
    for (double& x : *c) x -= m;
    if (o.detrend) removeTrend(*c);
  }
  SegmentEstimate e;
  e.windSpeed = U;
  const auto covariance = [&](const std::vector<double>& a, const std::vector<double>& b) {
    double sum = 0;
    for (long j = 0; j < n; ++j) sum += a[j] * b[j];
    return sum / double(n);
  };
  e.variance = {covariance(u, u), covariance(v, v), covariance(w, w), covariance(u, w)};
  if (!(U > std::sqrt(e.variance[0])))
    fatalError(
        "The mean wind speed in " + segmentName(s, first) + " is " + formatG6(U) +
        " m/s, not above the standard deviation of u (" + formatG6(std::sqrt(e.variance[0])) +
        " m/s): Taylor's hypothesis, which turns frequencies into wave numbers, does not hold "
        "there; fit segments with a steady mean wind");

  // 3. Welch's estimate.
  const double fs = 1.0 / s.dt;
  const long mLo =
      std::max(kFirstFrequency, static_cast<long>(std::ceil(o.fMin * double(nw) / fs)));
  const long mHi =
      std::min(nw / 2 - 1, static_cast<long>(std::min(std::floor(o.fMax * double(nw) / fs), 1e18)));
  e.mFirst = mLo;
  e.mLast = mHi;
  if (mHi < mLo) return e;
  const long windows = static_cast<long>(starts.size());
  std::vector<double> win(static_cast<std::size_t>(nw));
  double sumW2 = 0;
  for (long j = 0; j < nw; ++j) {
    win[j] = hann(j, nw);
    sumW2 += win[j] * win[j];
  }
  const std::size_t count = static_cast<std::size_t>(mHi - mLo + 1);
  for (auto& F : e.F) F.assign(count, 0.0);
  std::vector<std::complex<double>> zuw(static_cast<std::size_t>(nw)),
      zv(static_cast<std::size_t>(nw));
  for (const long start : starts) {
    for (long j = 0; j < nw; ++j) {
      zuw[j] = {win[j] * u[start + j], win[j] * w[start + j]};
      zv[j] = {win[j] * v[start + j], 0.0};
    }
    fft.forward(zuw);
    fft.forward(zv);
    for (long m = mLo; m <= mHi; ++m) {
      // The transforms of u and w from the one of u + i w.
      const std::complex<double> a = zuw[m], b = std::conj(zuw[nw - m]);
      const std::complex<double> Xu = 0.5 * (a + b), Xw = std::complex<double>(0, -0.5) * (a - b);
      const std::size_t i = static_cast<std::size_t>(m - mLo);
      e.F[0][i] += std::norm(Xu);
      e.F[1][i] += std::norm(zv[m]);
      e.F[2][i] += std::norm(Xw);
      e.F[kUw][i] += (Xu * std::conj(Xw)).real();
    }
  }
  // 4. Taylor: F(k1) = S(f) U / (4 pi), S = 2 |X|^2 / (fs sum w^2) per window.
  const double scale = 2.0 / (fs * sumW2) / double(windows) * U / (4 * kPi);
  for (auto& F : e.F)
    for (double& x : F) x *= scale;
  e.dk = 2 * kPi * fs / (double(nw) * U);
  return e;
}

// The variance of the sum of a run of n adjacent frequencies of Hann
// windows, in units of one frequency's: the periodograms of neighbours are
// correlated by 4/9 and of next neighbours by 1/36 (the window's transform
// spans three frequencies with weights -1/4, 1/2, -1/4).
double runVariance(long n) {
  return double(n) + 2.0 * double(n - 1) * (4.0 / 9.0) + 2.0 * double(std::max(n - 2, 0L)) / 36.0;
}

// Pools segments' estimates in logarithmic bands (header); welch is the
// variance of one frequency's Welch average (welchVariance).
BandSpectra poolBands(const std::vector<const SegmentEstimate*>& segments, int bandsPerDecade,
                      double welch) {
  struct Acc {
    std::array<double, kSpectrumComponents> sum{};
    double sumLnK = 0;
    long count = 0;
    std::vector<MemberRun> runs;
    const SegmentEstimate* last = nullptr;  // the segment and wave number
    long lastM = 0;                         // that extended runs.back()
  };
  std::map<long, Acc> bands;
  BandSpectra out;
  out.variance = {0, 0, 0, 0};
  out.windSpeed = 0;
  for (const SegmentEstimate* e : segments) {
    for (int c = 0; c < kSpectrumComponents; ++c)
      out.variance[c] += e->variance[c] / double(segments.size());
    out.windSpeed += e->windSpeed / double(segments.size());
    for (long m = e->mFirst; m <= e->mLast; ++m) {
      const double k = double(m) * e->dk;
      const long j = static_cast<long>(std::floor(bandsPerDecade * std::log10(k)));
      Acc& a = bands[j];
      for (int c = 0; c < kSpectrumComponents; ++c)
        a.sum[c] += e->F[c][static_cast<std::size_t>(m - e->mFirst)];
      a.sumLnK += std::log(k);
      ++a.count;
      // Consecutive wave numbers of one segment extend its last run.
      if (a.last == e && a.lastM == m - 1)
        ++a.runs.back().count;
      else
        a.runs.push_back({k, e->dk, 1});
      a.last = e;
      a.lastM = m;
    }
  }
  for (auto& [j, a] : bands) {
    // Equivalent number of independent periodogram values in the band mean.
    double var = 0;
    for (const MemberRun& run : a.runs) var += welch * runVariance(run.count);
    out.dof.push_back(double(a.count) * double(a.count) / var);
    out.bands.push_back({std::exp(a.sumLnK / double(a.count)), std::move(a.runs)});
    for (int c = 0; c < kSpectrumComponents; ++c) out.F[c].push_back(a.sum[c] / double(a.count));
  }
  return out;
}

}  // namespace

SeriesSpectra seriesSpectra(const SonicSeries& s, const SeriesOptions& o) {
  if (!(s.dt > 0) || !std::isfinite(s.dt))
    fatalError("seriesSpectra: the sampling interval " + formatG6(s.dt) +
               " s is not a positive number");
  if (s.v.size() != s.u.size() || s.w.size() != s.u.size())
    fatalError("seriesSpectra: u, v and w have different lengths");
  if (o.bandsPerDecade < 1 || o.bandsPerDecade > 1000)
    fatalError("seriesSpectra: " + std::to_string(o.bandsPerDecade) +
               " bands a decade, not 1 to 1000");
  const long total = static_cast<long>(s.u.size());
  const double record = double(total) * s.dt;
  const long segN = std::lround(o.segment / s.dt);
  if (!(o.segment > 0) || segN > total)
    fatalError("The record lasts " + formatG6(record) + " s (" + std::to_string(total) +
               " samples), less than one segment of " + formatG6(o.segment) +
               " s: a fit needs a whole segment; choose segments of at most " + formatG6(record) +
               " s");
  long nw = 1;
  const long windowLimit = o.window > 0 ? std::lround(o.window / s.dt) : segN;
  while (nw * 2 <= std::min(windowLimit, segN)) nw *= 2;
  if (o.window > 0 && windowLimit > segN)
    fatalError("The window of " + formatG6(o.window) + " s is longer than the segment of " +
               formatG6(o.segment) + " s: choose a window no longer than the segment");
  if (nw < kMinWindowSamples)
    fatalError(
        "The window holds " + std::to_string(nw) + " samples (" + formatG6(double(nw) * s.dt) +
        " s), fewer than " + std::to_string(kMinWindowSamples) +
        ": its spectrum spans too few frequencies to fit; choose longer segments or windows");

  SeriesSpectra out;
  out.segmentSamples = segN;
  out.windowSamples = nw;
  out.windowsPerSegment = static_cast<int>(windowStarts(segN, nw).size());
  const long nSeg = total / segN;
  out.unusedSamples = total - nSeg * segN;
  const DoubleFft fft(static_cast<std::size_t>(nw));
  const std::vector<long> starts = windowStarts(segN, nw);
  const double welch = welchVariance(starts, nw);
  std::vector<SegmentEstimate> estimates;
  for (long g = 0; g < nSeg; ++g) {
    const long first = g * segN;
    SegmentInfo info;
    info.start = s.t0 + double(first) * s.dt;
    bool complete = true;
    for (long j = first; j < first + segN && complete; ++j)
      if (!std::isfinite(s.u[j]) || !std::isfinite(s.v[j]) || !std::isfinite(s.w[j])) {
        if (!o.skipGaps)
          fatalError("The series has a missing or non-finite value at t = " +
                     formatG6(s.t0 + double(j) * s.dt) +
                     " s: fill the gap, or leave out the segments that hold one");
        complete = false;
      }
    if (complete) {
      estimates.push_back(estimateSegment(s, o, first, segN, nw, starts, fft, info));
      info.used = true;
    }
    out.info.push_back(info);
  }
  if (estimates.empty())
    fatalError("Every segment of the record holds a missing value: no segment is left to fit");
  std::vector<const SegmentEstimate*> all;
  for (const SegmentEstimate& e : estimates) {
    all.push_back(&e);
    out.segments.push_back(poolBands({&e}, o.bandsPerDecade, welch));
    TabulatedSpectra raw;
    for (long m = e.mFirst; m <= e.mLast; ++m) raw.abscissa.push_back(double(m) * e.dk);
    raw.F = e.F;
    out.raw.push_back(std::move(raw));
  }
  out.spectra = poolBands(all, o.bandsPerDecade, welch);
  if (out.spectra.bands.empty())
    fatalError("No frequency of the windows lies within " + formatG6(o.fMin) + " to " +
               formatG6(o.fMax) + " Hz (they run from " +
               formatG6(double(kFirstFrequency) / (double(nw) * s.dt)) + " to " +
               formatG6(0.5 / s.dt) + " Hz): widen the frequency range");
  return out;
}

}  // namespace wind
