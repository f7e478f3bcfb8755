#include "numerics/fft.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "numerics/fft_detail.hpp"
#include "numerics/vector_math.hpp"
#include "support/fatal_error.hpp"
#include "support/threads.hpp"

namespace wind {

namespace {

constexpr double kTwoPi = 6.28318530717959;   // a few units in the last place above 2 pi
constexpr double kPi = 3.141592653589793;
constexpr double kHalf = 0.5;
constexpr std::int64_t kTwiddleChunk = 256;  // twiddle factors buffered per pass

constexpr const char* kRlft3Message = "rlft3: problem with dimensions or contiguity of data array\n";

// Element i (1-based) of a flat array whose element 1 is at d.
struct OneBased {
  float* d;
  float& operator()(std::int64_t i) const { return d[i - 1]; }
};

// Trigonometric recurrence for w = exp(i k theta), k = 0, 1, ...: one step
// multiplies w by exp(i theta) = 1 + (wpr + i wpi) without losing the small
// increment to round-off.
struct Twiddle {
  double wpr = 0.0, wpi = 0.0;
  double wr = 1.0, wi = 0.0;

  Twiddle() = default;
  explicit Twiddle(double theta) {
    const double s = std::sin(kHalf * theta);
    wpr = -2.0 * s * s;
    wpi = std::sin(theta);
  }
  void advance() {
    const double wtemp = wr;
    wr = wtemp * wpr - wi * wpi + wr;
    wi = wi * wpr + wtemp * wpi + wi;
  }
};

// Butterfly on the complex values at k1 and k2: t = w * z2, z2 = z1 - t, z1 = z1 + t.
inline void butterfly(const OneBased& a, std::int64_t k1, std::int64_t k2, double wr, double wi) {
  const double tempr = wr * a(k2) - wi * a(k2 + 1);
  const double tempi = wr * a(k2 + 1) + wi * a(k2);
  a(k2) = static_cast<float>(a(k1) - tempr);
  a(k2 + 1) = static_cast<float>(a(k1 + 1) - tempi);
  a(k1) = static_cast<float>(a(k1) + tempr);
  a(k1 + 1) = static_cast<float>(a(k1 + 1) + tempi);
}

// The butterflies of a run: the complex values z1 at a[2k], a[2k + 1] and z2
// at b[2k], b[2k + 1], k < count, all with the twiddle (wr, wi) (the runs do
// not overlap). W/2 complex values at a time on W lanes of doubles: with z2
// as (r, i, ...), A = z2 wr, B = (i, r, ...) wi, t = (A0 - B0, A1 + B1, ...)
// is (wr r - wi i, wr i + wi r) as butterfly computes it, operand for
// operand; then z1 - t and z1 + t rounded to float. The rest one by one.
template <int W>
[[gnu::always_inline]] inline void butterflyRun(float* a, float* b, std::int64_t count,
                                                double wr, double wi) {
  using D = lanes::Doubles<W>;
  using F = lanes::Floats<W>;
  constexpr int kPerStep = W / 2;
  std::int64_t k = 0;
  for (; k + kPerStep <= count; k += kPerStep) {
    F fa, fb;
    __builtin_memcpy(&fa, a + 2 * k, sizeof fa);
    __builtin_memcpy(&fb, b + 2 * k, sizeof fb);
    D z1, z2;
    for (int q = 0; q < W; ++q) {
      z1[q] = fa[q];
      z2[q] = fb[q];
    }
    D swapped;
    for (int q = 0; q < W; q += 2) {
      swapped[q] = z2[q + 1];
      swapped[q + 1] = z2[q];
    }
    const D A = z2 * wr, B = swapped * wi;
    const D minus = A - B, plus = A + B;
    D t;
    for (int q = 0; q < W; q += 2) {
      t[q] = minus[q];
      t[q + 1] = plus[q + 1];
    }
    const F outB = __builtin_convertvector(z1 - t, F), outA = __builtin_convertvector(z1 + t, F);
    __builtin_memcpy(b + 2 * k, &outB, sizeof outB);
    __builtin_memcpy(a + 2 * k, &outA, sizeof outA);
  }
  const OneBased oa{a};
  for (; k < count; ++k) butterfly(oa, 2 * k + 1, 2 * k + 1 + (b - a), wr, wi);
}

using RunFunction = void (*)(float*, float*, std::int64_t, double, double);

void runBaseline(float* a, float* b, std::int64_t count, double wr, double wi) {
  butterflyRun<2>(a, b, count, wr, wi);
}

__attribute__((target("avx2"))) void runAvx2(float* a, float* b, std::int64_t count, double wr,
                                             double wi) {
  butterflyRun<4>(a, b, count, wr, wi);
}

__attribute__((target("avx512f"))) void runAvx512(float* a, float* b, std::int64_t count,
                                                  double wr, double wi) {
  butterflyRun<8>(a, b, count, wr, wi);
}

RunFunction runOn(lanes::InstructionSet isa) {
  switch (isa) {
    case lanes::InstructionSet::avx512: return runAvx512;
    case lanes::InstructionSet::avx2: return runAvx2;
    default: return runBaseline;
  }
}

// The next cn factors of the recurrence w into buf (real, imaginary, ...).
void fillTwiddles(Twiddle& w, double* buf, std::int64_t cn) {
  for (std::int64_t q = 0; q < cn; ++q) {
    buf[2 * q] = w.wr;
    buf[2 * q + 1] = w.wi;
    w.advance();
  }
}

void checkSign(int isign, const char* message) {
  if (isign != 1 && isign != -1) fatalError(message);
}

void complexFftKernel(float* data, std::int64_t nn, int isign) {
  const OneBased a{data};
  const std::int64_t n = 2 * nn;

  // Bit-reversal permutation of the nn complex values.
  std::int64_t j = 1;
  for (std::int64_t i = 1; i < n; i += 2) {
    if (j > i) {
      std::swap(a(j), a(i));
      std::swap(a(j + 1), a(i + 1));
    }
    std::int64_t m = n / 2;
    while (m >= 2 && j > m) {
      j -= m;
      m /= 2;
    }
    j += m;
  }

  // Danielson-Lanczos: combine transforms of length mmax/2 into length mmax.
  // The twiddle factors of a stage follow one recurrence, m = 1, 3, ... They
  // are taken kTwiddleChunk at a time into a buffer, and each chunk is applied
  // to every block of the stage before the next one is generated: the same
  // butterflies with the same factors as sweeping all blocks once per m, but
  // each pass over memory covers a run of neighbouring elements instead of
  // one pair per cache line.
  std::int64_t mmax = 2;
  double wbuf[2 * kTwiddleChunk];
  while (n > mmax) {
    const std::int64_t istep = 2 * mmax;
    Twiddle w(isign * (kTwoPi / static_cast<double>(mmax)));
    const std::int64_t ntw = mmax / 2;
    for (std::int64_t c0 = 0; c0 < ntw; c0 += kTwiddleChunk) {
      const std::int64_t cn = std::min(kTwiddleChunk, ntw - c0);
      fillTwiddles(w, wbuf, cn);
      for (std::int64_t i0 = 1 + 2 * c0; i0 <= n; i0 += istep) {
        for (std::int64_t q = 0; q < cn; ++q) {
          const std::int64_t i = i0 + 2 * q;
          butterfly(a, i, i + mmax, wbuf[2 * q], wbuf[2 * q + 1]);
        }
      }
    }
    mmax = istep;
  }
}

void realFftKernel(float* data, std::int64_t n, int isign) {
  const OneBased d{data};
  const std::int64_t nh = n / 2;
  constexpr double c1 = 0.5;
  double c2 = 0.0;
  double theta = kPi / static_cast<double>(nh);
  if (isign == 1) {
    c2 = -0.5;
    complexFftKernel(data, nh, +1);
  } else {
    c2 = 0.5;
    theta = -theta;
  }
  // Start at w = exp(i theta): the pair k = 0 / nh is handled separately below.
  Twiddle w(theta);
  w.wr = 1.0 + w.wpr;
  w.wi = w.wpi;
  const std::int64_t np3 = n + 3;
  // Separate the transforms of the even and odd samples (h1 and h2) for the
  // pair k = i - 1 and nh - k, and recombine them with the twiddle.
  for (std::int64_t i = 2; i <= n / 4; ++i) {
    const std::int64_t i1 = i + i - 1;
    const std::int64_t i2 = i1 + 1;
    const std::int64_t i3 = np3 - i2;
    const std::int64_t i4 = i3 + 1;
    const double h1r = c1 * (d(i1) + double(d(i3)));
    const double h1i = c1 * (d(i2) - double(d(i4)));
    const double h2r = -c2 * (d(i2) + double(d(i4)));
    const double h2i = c2 * (d(i1) - double(d(i3)));
    d(i1) = static_cast<float>(h1r + w.wr * h2r - w.wi * h2i);
    d(i2) = static_cast<float>(h1i + w.wr * h2i + w.wi * h2r);
    d(i3) = static_cast<float>(h1r - w.wr * h2r + w.wi * h2i);
    d(i4) = static_cast<float>(-h1i + w.wr * h2i + w.wi * h2r);
    w.advance();
  }
  const double first = d(1);
  if (isign == 1) {
    d(1) = static_cast<float>(first + d(2));
    d(2) = static_cast<float>(first - d(2));
  } else {
    d(1) = static_cast<float>(c1 * (first + d(2)));
    d(2) = static_cast<float>(c1 * (first - d(2)));
    complexFftKernel(data, nh, -1);
  }
}

// The multi-dimensional transform works one dimension at a time. Along
// dimension d, with nprev complex values per step and nrem blocks of
// ip2 = 2 nprev n floats, every operation (the bit-reversal swaps and the
// butterflies of all stages) stays inside one block, so each block is finished
// before the next is touched: a block is a single line for the last dimension
// and a few hundred kilobytes for the middle ones, which keeps the passes in
// cache. Inside a block, the butterflies of one stage that share a twiddle
// factor run along contiguous runs of ip1 floats. Each butterfly sees exactly
// the operands and the twiddle factor (the same recurrence, restarted at 1 for
// every block) of the plain loop order of Press et al. (fourn), so the result
// is bit for bit the same; only the order of independent operations differs.
//
// Threads. The transforms along one dimension are independent one-dimensional
// transforms: one per block and complex column of the run of nprev columns.
// The work is cut into tasks of one block and a range of columns (the whole
// run when there are enough blocks, as along the last dimension; a slice of
// the run when there are few, as along the first), and each task performs
// for its columns every swap and butterfly of the sequential loop with the
// same twiddle recurrence. Every float therefore sees the same operations in
// the same order whichever thread computes it and however many there are.
struct Stage {
  int count = 0;
  std::array<Twiddle, 64> twiddle;
};

// The swaps and butterflies of one block, restricted to the complex columns
// [col0, col1) of each run of nprev.
// Bytes of the rows of one column slice that the early stages keep in the
// core's cache (half of its second-level cache here).
constexpr std::int64_t kGroupBytes = std::int64_t{1} << 20;

void transformBlockColumns(const OneBased& a, std::int64_t base, std::int64_t ip1,
                           std::int64_t ip2, std::int64_t col0, std::int64_t col1,
                           const Stage& stage, RunFunction run) {
  const std::int64_t f0 = 2 * col0, f1 = 2 * col1;  // float offsets inside a run
  // Bit reversal along this dimension, moving runs of nprev complex values.
  std::int64_t i2rev = 1;
  for (std::int64_t i2 = 1; i2 <= ip2; i2 += ip1) {
    if (i2 < i2rev) {
      for (std::int64_t i1 = base + i2 + f0; i1 < base + i2 + f1; i1 += 2) {
        const std::int64_t i1rev = i1 + (i2rev - i2);
        std::swap(a(i1), a(i1rev));
        std::swap(a(i1 + 1), a(i1rev + 1));
      }
    }
    std::int64_t ibit = ip2 / 2;
    while (ibit >= ip1 && i2rev > ibit) {
      i2rev -= ibit;
      ibit /= 2;
    }
    i2rev += ibit;
  }

  // Danielson-Lanczos along this dimension: stage s combines rows 2^s apart
  // within groups of 2^(s+1) rows. The early stages never leave a group of
  // `rows` rows whose slice fits the cache, so they run group by group (each
  // group through all of them while it is in cache), the later ones over the
  // whole block. Each group restarts the stage's twiddle recurrence, which
  // gives every butterfly the factor of the plain order, and every value
  // still passes the stages in order: the same bits.
  const std::int64_t n = ip2 / ip1;
  std::int64_t rows = 1;
  while (rows < n && 2 * rows * (f1 - f0) * std::int64_t(sizeof(float)) <= kGroupBytes) rows *= 2;
  int early = 0;
  while (early < stage.count && (std::int64_t{2} << early) <= rows) ++early;
  const auto stages = [&](std::int64_t from, std::int64_t span, int s0, int s1) {
    std::int64_t ifp1 = ip1 << s0;
    for (int s = s0; s < s1; ++s, ifp1 *= 2) {
      const std::int64_t ifp2 = 2 * ifp1;
      Twiddle w = stage.twiddle[std::size_t(s)];
      for (std::int64_t i3 = 1; i3 <= ifp1; i3 += ip1) {
        for (std::int64_t i2 = from + i3; i2 <= from + span; i2 += ifp2) {
          if (f1 - f0 == 2)
            butterfly(a, i2 + f0, i2 + f0 + ifp1, w.wr, w.wi);
          else
            run(&a(i2 + f0), &a(i2 + f0 + ifp1), (f1 - f0) / 2, w.wr, w.wi);
        }
        w.advance();
      }
    }
  };
  for (std::int64_t group = base; group < base + ip2; group += rows * ip1)
    stages(group, rows * ip1, 0, early);
  stages(base, ip2, early, stage.count);
}

// Below this many complex values a transform runs on the calling thread: the
// cost of waking the others would exceed the work.
constexpr std::int64_t kParallelMin = std::int64_t{1} << 15;

// Tasks per thread, so that uneven work still balances; and the least number
// of complex values in one contiguous run of a column slice. A slice cut
// finer than that loses the long runs that make a butterfly sweep fast
// (measured on the first dimension of a 8192 x 32 x 32 box: four slices of
// 128 values per thread cost 1.0 s against 0.6 s for one slice of 512).
constexpr int kTasksPerThread = 4;
constexpr std::int64_t kMinSliceValues = 1024;

}  // namespace

namespace detail {

void complexFftAxis(float* data, std::int64_t ntot, std::int64_t n, std::int64_t nprev, int isign) {
  const OneBased a{data};
  const std::int64_t nrem = ntot / (n * nprev);
  const std::int64_t ip1 = 2 * nprev;  // floats between neighbours along this dimension
  const std::int64_t ip2 = ip1 * n;    // floats in one block

  // Twiddle increments of the stages ifp1 = ip1, 2 ip1, ... < ip2.
  Stage stage;
  for (std::int64_t ifp1 = ip1; ifp1 < ip2; ifp1 *= 2)
    stage.twiddle[std::size_t(stage.count++)] =
        Twiddle(isign * kTwoPi / static_cast<double>(2 * ifp1 / ip1));

  const RunFunction run = runOn(lanes::widestInstructionSet());
  // Column slices per block: several tasks per thread where the runs stay
  // long, but at least one task per thread.
  const std::int64_t threads = maxThreads();
  const std::int64_t longRuns = std::max<std::int64_t>(nprev / kMinSliceValues, 1);
  std::int64_t slices = std::min((kTasksPerThread * threads + nrem - 1) / nrem, longRuns);
  slices = std::clamp<std::int64_t>(std::max(slices, (threads + nrem - 1) / nrem), 1, nprev);
  const std::int64_t tasks = nrem * slices;
  const bool parallel = ntot >= kParallelMin && tasks > 1;
  // Many small tasks (the short lines of the last dimension) are handed out
  // in chunks, so that claiming one costs little against its work.
  const std::int64_t chunk = std::max<std::int64_t>(1, tasks / (64 * threads));
#pragma omp parallel for schedule(dynamic, chunk) if (parallel)
  for (std::int64_t t = 0; t < tasks; ++t) {
    const std::int64_t block = t / slices, slice = t % slices;
    transformBlockColumns(a, block * ip2, ip1, ip2, nprev * slice / slices,
                          nprev * (slice + 1) / slices, stage, run);
  }
}

// Row i1 of rlft3's untangling step (see rlft3Kernel): Z at k and Y at the
// mirror wave vector give h1 = (Z + conj Y)/2 and h2 = i c2 (Z - conj Y).
void rlft3UntangleRow(float* rowI, float* rowJ, float* nyquistJ, std::int64_t nn2,
                      std::int64_t nn3, int isign) {
  constexpr double c1 = 0.5;
  const double c2 = -0.5 * isign;
  const double theta = isign * (kTwoPi / static_cast<double>(nn3));
  const auto di = [=](std::int64_t i2, std::int64_t i3) -> float& {
    return rowI[(i2 - 1) * nn3 + (i3 - 1)];
  };
  const auto dj = [=](std::int64_t i2, std::int64_t i3) -> float& {
    return rowJ[(i2 - 1) * nn3 + (i3 - 1)];
  };
  const auto sj = [=](std::int64_t j) -> float& { return nyquistJ[j - 1]; };
  Twiddle w(theta);
  for (std::int64_t i3 = 1; i3 <= nn3 / 4 + 1; ++i3) {
    const std::int64_t ii3 = 2 * i3 - 1;
    for (std::int64_t i2 = 1; i2 <= nn2; ++i2) {
      if (i3 == 1) {
        const std::int64_t j2 = (i2 != 1) ? 2 * (nn2 - i2) + 3 : 1;
        const double h1r = c1 * (di(i2, 1) + double(sj(j2)));
        const double h1i = c1 * (di(i2, 2) - double(sj(j2 + 1)));
        const double h2i = c2 * (di(i2, 1) - double(sj(j2)));
        const double h2r = -c2 * (di(i2, 2) + double(sj(j2 + 1)));
        di(i2, 1) = static_cast<float>(h1r + h2r);
        di(i2, 2) = static_cast<float>(h1i + h2i);
        sj(j2) = static_cast<float>(h1r - h2r);
        sj(j2 + 1) = static_cast<float>(h2i - h1i);
      } else {
        const std::int64_t j2 = (i2 != 1) ? nn2 - i2 + 2 : 1;
        const std::int64_t j3 = nn3 + 3 - 2 * i3;
        const double h1r = c1 * (di(i2, ii3) + double(dj(j2, j3)));
        const double h1i = c1 * (di(i2, ii3 + 1) - double(dj(j2, j3 + 1)));
        const double h2i = c2 * (di(i2, ii3) - double(dj(j2, j3)));
        const double h2r = -c2 * (di(i2, ii3 + 1) + double(dj(j2, j3 + 1)));
        di(i2, ii3) = static_cast<float>(h1r + w.wr * h2r - w.wi * h2i);
        di(i2, ii3 + 1) = static_cast<float>(h1i + w.wr * h2i + w.wi * h2r);
        dj(j2, j3) = static_cast<float>(h1r - w.wr * h2r + w.wi * h2i);
        dj(j2, j3 + 1) = static_cast<float>(-h1i + w.wr * h2i + w.wi * h2r);
      }
    }
    w.advance();
  }
}

void butterflyRunOn(lanes::InstructionSet isa, float* a, float* b, std::int64_t count, double wr,
                    double wi) {
  runOn(isa)(a, b, count, wr, wi);
}

}  // namespace detail

namespace {

void complexFftNKernel(float* data, std::span<const std::int64_t> nn, int isign) {
  std::int64_t ntot = 1;
  for (std::int64_t n : nn) ntot *= n;
  std::int64_t nprev = 1;
  for (auto dim = nn.size(); dim-- > 0;) {
    detail::complexFftAxis(data, ntot, nn[dim], nprev, isign);
    nprev *= nn[dim];
  }
}

// rlft3 on a flat block: element (i1, i2, i3) of data at offset
// ((i1-1) nn2 + i2-1) nn3 + i3-1, element (i1, j) of speq (the Nyquist plane)
// at (i1-1) 2 nn2 + j-1.
void rlft3Kernel(float* data, float* speq, std::int64_t nn1, std::int64_t nn2, std::int64_t nn3,
                 int isign) {
  const auto d = [=](std::int64_t i1, std::int64_t i2, std::int64_t i3) -> float& {
    return data[((i1 - 1) * nn2 + (i2 - 1)) * nn3 + (i3 - 1)];
  };
  const std::int64_t speqRow = 2 * nn2;
  const auto s = [=](std::int64_t i1, std::int64_t j) -> float& {
    return speq[(i1 - 1) * speqRow + (j - 1)];
  };

  const std::int64_t complexDims[3] = {nn1, nn2, nn3 / 2};

  if (isign == 1) {
    complexFftNKernel(data, complexDims, +1);
    for (std::int64_t i1 = 1; i1 <= nn1; ++i1) {
      for (std::int64_t i2 = 1; i2 <= nn2; ++i2) {
        s(i1, 2 * i2 - 1) = d(i1, i2, 1);
        s(i1, 2 * i2) = d(i1, i2, 2);
      }
    }
  }

  // Untangle the transform of the complex view into the half spectrum of the
  // real data (forward) or tangle it back (inverse), row by row
  // (detail::rlft3UntangleRow). Row i1 reads and writes only rows i1 and its
  // mirror j1, and the middle column i3 = nn3/4 + 1 is shared by the two; so
  // a row and its mirror stay together, in their sequential order, and
  // different pairs run in parallel.
  const auto untangleRow = [&](std::int64_t i1) {
    const std::int64_t j1 = (i1 != 1) ? nn1 - i1 + 2 : 1;
    detail::rlft3UntangleRow(&d(i1, 1, 1), &d(j1, 1, 1), &s(j1, 1), nn2, nn3, isign);
  };
  // Pairs (i1, nn1 - i1 + 2) for i1 = 2 .. nn1/2, and the rows 1 and nn1/2 + 1
  // that are their own mirrors.
  const std::int64_t pairs = nn1 / 2 + 1;
  const bool parallel = nn1 * nn2 * nn3 >= 2 * kParallelMin && nn1 > 1;
#pragma omp parallel for schedule(dynamic) if (parallel)
  for (std::int64_t i1 = 1; i1 <= std::min(pairs, nn1); ++i1) {
    untangleRow(i1);
    const std::int64_t j1 = nn1 - i1 + 2;
    if (i1 != 1 && j1 != i1) untangleRow(j1);
  }

  if (isign == -1) complexFftNKernel(data, complexDims, -1);
}

void checkRlft3(int nn1, int nn2, int nn3, int isign, const Matrix& nyquistPlane) {
  checkSign(isign, "rlft3: isign has to be 1 or -1");
  if (!isPowerOfTwo(nn1) || !isPowerOfTwo(nn2) || !isPowerOfTwo(nn3) || nn3 < 2)
    fatalError(kRlft3Message);
  if (nyquistPlane.rowLo() != 1 || nyquistPlane.rowHi() != nn1 || nyquistPlane.colLo() != 1 ||
      std::int64_t(nyquistPlane.colHi()) != 2 * std::int64_t(nn2))
    fatalError("rlft3: nyquistPlane does not match the dimensions of the data array");
}

}  // namespace

void complexFft(float* data, std::int64_t nn, int isign) {
  if (!isPowerOfTwo(nn)) fatalError("complexFft: number of complex values is not a power of 2");
  checkSign(isign, "complexFft: isign has to be 1 or -1");
  complexFftKernel(data, nn, isign);
}

void complexFft(Vector& data, std::int64_t nn, int isign) {
  if (data.lo() != 1 || nn > data.size() / 2)
    fatalError("complexFft: problem with dimensions of data array");
  complexFft(data.data(), nn, isign);
}

void realFft(float* data, std::int64_t n, int isign) {
  if (!isPowerOfTwo(n) || n < 2) fatalError("realFft: length is not a power of 2 of at least 2");
  checkSign(isign, "realFft: isign has to be 1 or -1");
  realFftKernel(data, n, isign);
}

void realFft(Vector& data, std::int64_t n, int isign) {
  if (data.lo() != 1 || data.size() < n) fatalError("realFft: problem with dimensions of data array");
  realFft(data.data(), n, isign);
}

void complexFftN(float* data, std::span<const std::int64_t> nn, int isign) {
  if (nn.empty()) fatalError("complexFftN: no dimensions given");
  for (std::int64_t n : nn)
    if (!isPowerOfTwo(n)) fatalError("complexFftN: dimension is not a power of 2");
  checkSign(isign, "complexFftN: isign has to be 1 or -1");
  complexFftNKernel(data, nn, isign);
}

void rlft3(F3tensor& data, Matrix& nyquistPlane, int nn1, int nn2, int nn3, int isign) {
  // The kernel addresses data as one flat block from data[1][1][1]; that holds
  // exactly when the ranges are 1 .. nn1, 1 .. nn2, 1 .. nn3.
  if (data.rowLo() != 1 || data.rowHi() != nn1 || data.colLo() != 1 || data.colHi() != nn2 ||
      data.depLo() != 1 || data.depHi() != nn3)
    fatalError(kRlft3Message);
  checkRlft3(nn1, nn2, nn3, isign, nyquistPlane);
  rlft3Kernel(data.data(), nyquistPlane.data(), nn1, nn2, nn3, isign);
}

void rlft3(Matrix& data, Matrix& nyquistPlane, int nn1, int nn2, int nn3, int isign) {
  if (nn1 != 1 || data.rowLo() != 1 || data.rowHi() != nn2 || data.colLo() != 1 ||
      data.colHi() != nn3)
    fatalError(kRlft3Message);
  checkRlft3(nn1, nn2, nn3, isign, nyquistPlane);
  rlft3Kernel(data.data(), nyquistPlane.data(), nn1, nn2, nn3, isign);
}

}  // namespace wind
