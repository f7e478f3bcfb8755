#pragma once
// Shared helpers of the unit tests: the fatal-report pattern, scratch files,
// field arrays for the engines, closed forms of the isotropic model, and the
// references of the synthesis tests (below).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "numerics/arrays.hpp"
#include "numerics/constants.hpp"
#include "numerics/fft.hpp"
#include "numerics/random.hpp"
#include "support/fatal_error.hpp"

namespace wind::testing {

// The regular expression (POSIX extended, as GoogleTest uses on Linux) that
// matches the literal text s.
inline std::string literal(const std::string& s) {
  std::string r;
  for (char c : s) {
    if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) r += '\\';
    r += c;
  }
  return r;
}

// A constraint file's text: the header, then count rows at t = t0 + r step,
// each the time and the given columns, value f(t, column).
template <class F>
std::string rows(const std::string& header, int count, double t0, double step, int columns, F f) {
  std::ostringstream s;
  s.precision(17);
  s << header << "\n";
  for (int r = 0; r < count; ++r) {
    const double t = t0 + r * step;
    s << t;
    for (int c = 0; c < columns; ++c) s << " " << f(t, c);
    s << "\n";
  }
  return s.str();
}

// The three-line report of fatalError(message), as a regular expression for
// EXPECT_EXIT(..., ExitedWithCode(1), fatalReport("...")).
inline std::string fatalReport(const std::string& message) {
  return literal("Numerical Recipes run-time error...\n" + message +
                 "\n...now exiting to system...\n");
}

// The message with which fn() ends through fatalError, caught in-process with
// the throwing handler; "" when fn returns normally. For checks of a message
// alone, where a death test (a forked process) adds nothing.
template <class F>
std::string fatalMessage(F&& fn) {
  const ScopedFatalHandler scoped(throwFatalError);
  try {
    fn();
  } catch (const FatalError& e) {
    return e.what();
  }
  return "";
}

// A fresh, empty directory of that name under the test temporary directory.
// Test executables run in parallel, so each file uses its own prefix.
inline std::filesystem::path freshDir(const std::string& name) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// Lowers the address-space limit (RLIMIT_AS, as "ulimit -v") of this process
// to what it maps now plus headroom bytes; for death tests, whose child
// process alone is limited. Not under AddressSanitizer, whose allocator aborts
// where the heap would refuse.
inline void limitAddressSpace(double headroom) {
  std::ifstream statm("/proc/self/statm");
  double pages = 0;
  statm >> pages;
  rlimit limit{};
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = static_cast<rlim_t>(pages * double(sysconf(_SC_PAGE_SIZE)) + headroom);
  setrlimit(RLIMIT_AS, &limit);
}

// Writes text to file, creating its folder if need be.
inline void writeText(const std::filesystem::path& file, const std::string& text) {
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

// The whole contents of a file, byte for byte ("" when it cannot be read).
inline std::string readText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The names in a folder, hidden ones (temporaries) included, sorted.
inline std::vector<std::string> folderNames(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The raw 4-byte floats of a binary field file.
inline std::vector<float> readFloats(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  std::vector<float> v(bytes.size() / sizeof(float));
  std::memcpy(v.data(), bytes.data(), v.size() * sizeof(float));
  return v;
}

// One 1-based line vector(1, n1) per component.
inline std::vector<Vector> lines(int ncomp, int n1) {
  std::vector<Vector> f;
  for (int c = 0; c < ncomp; ++c) f.push_back(vector(1, n1));
  return f;
}

// One 1-based plane matrix(1, n1, 1, n2) per component.
inline std::vector<Matrix> planes(int ncomp, int n1, int n2) {
  std::vector<Matrix> f;
  for (int c = 0; c < ncomp; ++c) f.push_back(matrix(1, n1, 1, n2));
  return f;
}

// Closed forms of the isotropic von Karman model, two-sided in k1:
// F11(k1) = (9/55) alphaeps L^(5/3) (1 + (k1 L)^2)^(-5/6) along the wind and
// F22(k1) = F33(k1) = (3/110) alphaeps L^(5/3) (3 + 8 (k1 L)^2) (1 + (k1 L)^2)^(-11/6)
// across it.
inline double vonKarmanF11(double alphaeps, double L, double k1) {
  const double x = k1 * L;
  return 9.0 / 55.0 * alphaeps * std::pow(L, 5.0 / 3.0) * std::pow(1 + x * x, -5.0 / 6.0);
}
inline double vonKarmanF22(double alphaeps, double L, double k1) {
  const double x = k1 * L;
  return 3.0 / 110.0 * alphaeps * std::pow(L, 5.0 / 3.0) * (3 + 8 * x * x) *
         std::pow(1 + x * x, -11.0 / 6.0);
}

// ---------------------------------------------------------------------------
// Helpers of the synthesis tests: recovery of the Fourier coefficients of a
// synthesised field by a forward transform, reference fields summed directly
// in long double, and summary statistics of normalised periodogram values.
//
// The reference syntheses follow the documented contract of the engines, not
// their code: the wave vectors are visited in the documented order, the
// deviates are drawn xr[c], xi[c] per component from a fresh generator, the
// coefficient D M(k) (xr + i xi) of each generated wave vector and its complex
// conjugate at -k (real when -k = k) make up the full spectrum, and the field
// is the plain sum 1/2 sum_k C(k) exp(-i k.x), evaluated term by term with
// phases reduced exactly in integers.

using Complex = std::complex<long double>;
// A small real matrix in long double, ncomp x ncomp used.
using AmplitudeL = std::array<std::array<long double, 3>, 3>;

inline constexpr long double kTwoPiL = 6.283185307179586476925286766559L;

// Principal square root of a symmetric positive semi-definite 2 x 2 matrix,
// in long double (closed form: (S + sqrt(det) I)/sqrt(tr + 2 sqrt(det))).
inline AmplitudeL sqrt2x2(long double a, long double b, long double d) {
  const long double s = std::sqrt(std::max(a * d - b * b, 0.0L));
  const long double t = std::sqrt(a + d + 2 * s);
  AmplitudeL m{};
  if (t == 0) return m;
  m[0][0] = (a + s) / t;
  m[0][1] = b / t;
  m[1][0] = b / t;
  m[1][1] = (d + s) / t;
  return m;
}

inline long double normL(long double dim, long double volume) {
  return 2.0L * std::sqrt(0.5L) * std::sqrt(std::pow((long double)kTwoPiF, dim) / volume);
}

// Draws one coefficient vector D M (xr + i xi) in the documented order.
inline std::array<Complex, 3> drawReference(const AmplitudeL& m, int ncomp, long double d,
                                            RandomGenerator& gen, std::int32_t& state) {
  long double xr[3] = {0, 0, 0}, xi[3] = {0, 0, 0};
  for (int c = 0; c < ncomp; ++c) {
    xr[c] = gaussDeviate(gen, state);
    xi[c] = gaussDeviate(gen, state);
  }
  std::array<Complex, 3> h{};
  for (int r = 0; r < ncomp; ++r) {
    long double re = 0, im = 0;
    for (int c = 0; c < ncomp; ++c) {
      re += m[r][c] * xr[c];
      im += m[r][c] * xi[c];
    }
    h[r] = Complex(d * re, d * im);
  }
  return h;
}

// Reference line: for m = 1 .. n1/2 - 1 (in that order) the coefficient from
// amplitude(k_m), k_m = float(m 2pi/L1), and u_c(x_j) = sum_m Re[C_m exp(-i k_m x_j)].
inline std::vector<std::vector<long double>> referenceLine(
    int n1, float l1, int ncomp, std::int32_t seed,
    const std::function<AmplitudeL(float)>& amplitude) {
  const long double d = normL(1, l1);
  RandomGenerator gen;
  std::int32_t state = seed;
  std::vector<std::vector<long double>> u(ncomp, std::vector<long double>(n1, 0.0L));
  for (int m = 1; m < n1 / 2; ++m) {
    const float k = static_cast<float>(double(m) * double(kTwoPiF) / double(l1));
    const auto h = drawReference(amplitude(k), ncomp, d, gen, state);
    for (int j = 0; j < n1; ++j) {
      const long double phase = -kTwoPiL * ((std::int64_t(m) * j) % n1) / n1;
      for (int c = 0; c < ncomp; ++c) u[c][j] += (h[c] * std::polar(1.0L, phase)).real();
    }
  }
  return u;
}

// Reference plane: visits i = 1 .. n1, l = l0 .. n2/2 + 1 as documented, with
// k1 = float(m(i) 2pi/L1), k2 = float((l - 1) 2pi/L2); u_c[i][j] as above over
// the Hermitian-completed full grid. Fails the test if a wave vector is met twice.
inline std::vector<std::vector<long double>> referencePlane(
    int n1, int n2, float l1, float l2, int ncomp, std::int32_t seed,
    const std::function<AmplitudeL(float, float)>& amplitude) {
  const long double d = normL(2, (long double)l1 * l2);
  RandomGenerator gen;
  std::int32_t state = seed;
  std::map<std::pair<int, int>, std::array<Complex, 3>> full;  // (m1 mod n1, m2 mod n2)
  auto wrap = [](int m, int n) { return ((m % n) + n) % n; };
  for (int i = 1; i <= n1; ++i) {
    const int m1 = (i - 1 < n1 / 2) ? i - 1 : i - 1 - n1;  // 0 .. n1/2-1, -n1/2 .. -1
    for (int l = (i == 1 ? 2 : 1); l <= n2 / 2 + 1; ++l) {
      const int m2 = l - 1;
      const bool selfLine = (m2 == 0 || m2 == n2 / 2);
      if (selfLine && i > n1 / 2 + 1) continue;
      const float k1 = static_cast<float>(double(m1) * double(kTwoPiF) / double(l1));
      const float k2 = static_cast<float>(double(m2) * double(kTwoPiF) / double(l2));
      auto h = drawReference(amplitude(k1, k2), ncomp, d, gen, state);
      const std::pair<int, int> here{wrap(m1, n1), wrap(m2, n2)};
      const std::pair<int, int> mirror{wrap(-m1, n1), wrap(-m2, n2)};
      EXPECT_EQ(full.count(here), 0u) << "wave vector generated twice: " << m1 << ", " << m2;
      if (here == mirror) {
        for (auto& v : h) v = Complex(v.real(), 0);
        full[here] = h;
      } else {
        EXPECT_EQ(full.count(mirror), 0u) << "mirror generated twice: " << m1 << ", " << m2;
        full[here] = h;
        for (auto& v : h) v = std::conj(v);
        full[mirror] = h;
      }
    }
  }
  std::vector<std::vector<long double>> u(ncomp, std::vector<long double>(std::size_t(n1) * n2, 0));
  for (const auto& [key, h] : full) {
    for (int j1 = 0; j1 < n1; ++j1)
      for (int j2 = 0; j2 < n2; ++j2) {
        const long double phase =
            -kTwoPiL * ((long double)((std::int64_t(key.first) * j1) % n1) / n1 +
                        (long double)((std::int64_t(key.second) * j2) % n2) / n2);
        const Complex e = std::polar(1.0L, phase);
        for (int c = 0; c < ncomp; ++c)
          u[c][std::size_t(j1) * n2 + j2] += 0.5L * (h[c] * e).real();
      }
  }
  return u;
}

// Largest |value| of a reference field.
inline long double maxAbs(const std::vector<long double>& u) {
  long double m = 0;
  for (long double v : u) m = std::max(m, std::fabs(v));
  return m;
}

// The packed half spectrum of a line: C_m = (2/n1) times the forward realFft,
// m = 0 .. n1/2 - 1 (index 0 holds the mean), as stored by the engine.
inline std::vector<std::complex<double>> lineCoefficients(const Vector& u, int n1) {
  Vector w = vector(1, n1);
  for (int j = 1; j <= n1; ++j) w[j] = u[j];
  realFft(w, n1, 1);
  std::vector<std::complex<double>> c(n1 / 2);
  c[0] = {w[1] * 2.0 / n1, w[2] * 2.0 / n1};  // mean and Nyquist
  for (int m = 1; m < n1 / 2; ++m) c[m] = {w[2 * m + 1] * 2.0 / n1, w[2 * m + 2] * 2.0 / n1};
  return c;
}

// The coefficients of a plane for rows i = 1 .. n1 and l = 1 .. n2/2 + 1, as the
// engine stores them: (2/(n1 n2)) times the forward two-dimensional transform.
struct PlaneCoefficients {
  int n1 = 0, n2 = 0;
  std::vector<std::complex<double>> c;  // [(i - 1) (n2/2 + 1) + (l - 1)]
  std::complex<double> operator()(int i, int l) const {
    return c[std::size_t(i - 1) * (n2 / 2 + 1) + std::size_t(l - 1)];
  }
};

inline PlaneCoefficients planeCoefficients(const Matrix& u, int n1, int n2) {
  Matrix w = matrix(1, n1, 1, n2);
  for (int i = 1; i <= n1; ++i)
    for (int j = 1; j <= n2; ++j) w[i][j] = u[i][j];
  Matrix ny = matrix(1, 1, 1, 2 * n1);
  rlft3(w, ny, 1, n1, n2, 1);
  PlaneCoefficients p;
  p.n1 = n1;
  p.n2 = n2;
  p.c.resize(std::size_t(n1) * (n2 / 2 + 1));
  const double s = 2.0 / (double(n1) * n2);
  for (int i = 1; i <= n1; ++i) {
    for (int l = 1; l <= n2 / 2; ++l)
      p.c[std::size_t(i - 1) * (n2 / 2 + 1) + (l - 1)] = {w[i][2 * l - 1] * s, w[i][2 * l] * s};
    p.c[std::size_t(i - 1) * (n2 / 2 + 1) + n2 / 2] = {ny[1][2 * i - 1] * s, ny[1][2 * i] * s};
  }
  return p;
}

// Sample mean and variance of values that should be Exp(1) distributed
// (periodogram values divided by their expectation).
struct ExpSample {
  long double sum = 0, sum2 = 0;
  long n = 0;
  void add(long double x) {
    sum += x;
    sum2 += x * x;
    ++n;
  }
  long double mean() const { return sum / n; }
  long double variance() const { return sum2 / n - mean() * mean(); }
};

// Two-sided checks of an Exp(1) sample: the mean within 4.5 standard errors of
// 1 (sd 1/sqrt(n)), and the variance within 4.5 of its standard errors
// (sqrt(8/n), the fourth central moment of Exp(1) being 9): too little scatter
// fails as surely as a wrong level.
inline void expectExpOne(const ExpSample& s, const char* what) {
  ASSERT_GT(s.n, 100) << what;
  const long double se = 1.0L / std::sqrt((long double)s.n);
  EXPECT_NEAR((double)s.mean(), 1.0, double(4.5L * se)) << what << ", n = " << s.n;
  EXPECT_NEAR((double)s.variance(), 1.0, double(4.5L * std::sqrt(8.0L) * se))
      << what << ", n = " << s.n;
}

// A minimal InflowWind input with the keys the filler sets, in its sections.
inline constexpr const char* kInflowWindTemplate =
    "------- InflowWind INPUT FILE ----\n"
    "Example\n"
    "---------------------------------------\n"
    "          1   WindType       - switch\n"
    "================== Parameters for Full-Field binary files [used only for WindType = 3] ===\n"
    "\"x.bts\"      FileName_BTS   - name of the file\n"
    "================== Parameters for Bladed-style files [used only for WindType = 4 or "
    "WindType = 7] ===\n"
    "\"x\"          FilenameRoot   - root\n"
    "False        TowerFile      - tower file\n"
    "================== Raw grid files [used only for WindType = 5] ===\n"
    "\"u.bin\"      FileName_u     - u\n"
    "\"v.bin\"      FileName_v     - v\n"
    "\"w.bin\"      FileName_w     - w\n"
    "    64       nx             - n\n"
    "    32       ny             - n\n"
    "    32       nz             - n\n"
    "    16       dx             - d\n"
    "     3       dy             - d\n"
    "     3       dz             - d\n"
    "    90       RefHt_Grid     - reference height\n"
    "    12       URef           - mean speed\n"
    "     1       ScaleMethod    - scaling\n"
    "====================== OUTPUT ==========\n"
    "False        SumPrint       - print\n";

}  // namespace wind::testing
