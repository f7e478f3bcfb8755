#include "synthesis/turb3d.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "numerics/fatal_error.hpp"
#include "numerics/fft.hpp"
#include "numerics/random.hpp"
#include "numerics/threads.hpp"
#include "synthesis/fourier_grid.hpp"
#include "synthesis/turb3d_amplitude.hpp"

namespace wind {

namespace {

using detail::Coefficient;
using detail::combineDeviates;
using detail::ModeAmplitude;
using detail::mirrorIndex;
using detail::scaled;
using detail::waveIndex;
using detail::waveNumber;

// |kd L| < lim_d in all three directions.
bool insideCellBox(Vector3 k, float L, Vector3 lim) {
  return detail::insideCellLimit(k.x, L, lim.x) && detail::insideCellLimit(k.y, L, lim.y) &&
         detail::insideCellLimit(k.z, L, lim.z);
}

// Which wave vectors of the grid are generated, in the visiting order.
struct VisitPlan {
  int N1, N2, N3;
  int iHigh, jHigh, lNyquist;  // indices of the highest frequencies

  explicit VisitPlan(const BoxGrid& g)
      : N1(g.N1), N2(g.N2), N3(g.N3), iHigh(g.N1 / 2 + 1), jHigh(g.N2 / 2 + 1),
        lNyquist(g.N3 / 2 + 1) {}

  bool iSelf(int i) const { return i == 1 || i == iHigh; }
  // In the planes k3 = 0 and k3 = N3/2 dk3 the half spectrum must be Hermitian
  // within the plane: one of each pair (k1, k2), (-k1, -k2) is generated and
  // its conjugate written at the mirror.
  bool inPlaneRow(int i, int j) const { return (1 < i && i < iHigh) || (iSelf(i) && j <= jHigh); }
  int firstL(int i, int j) const { return (i == 1 && j == 1) ? 2 : 1; }  // k = 0 never
  bool generates(int i, int j, int l) const {
    if (l < firstL(i, j)) return false;
    return inPlaneRow(i, j) || (l != 1 && l != lNyquist);
  }
  // Generated wave vectors of row (i, j): l = firstL .. lNyquist, less the
  // two in-plane ones (l = 1 and l = lNyquist, distinct as N3 >= 2) when the
  // row's mirror generates them.
  int rowCount(int i, int j) const {
    return inPlaneRow(i, j) ? lNyquist - firstL(i, j) + 1 : lNyquist - 2;
  }
  // Start of each plane in the sequence of generated wave vectors:
  // start[i - 1] for i = 1 .. N1, start[N1] the total.
  std::vector<std::int64_t> planeStarts() const {
    std::vector<std::int64_t> start(std::size_t(N1) + 1, 0);
    for (int i = 1; i <= N1; ++i) {
      std::int64_t n = 0;
      for (int j = 1; j <= N2; ++j) n += rowCount(i, j);
      start[std::size_t(i)] = start[std::size_t(i) - 1] + n;
    }
    return start;
  }
};

// Below this many generated wave vectors a synthesis runs on the calling
// thread: waking the team would cost more than it saves.
constexpr std::int64_t kParallelMinModes = 2048;

// Planes per slab of drawn-ahead deviates: the kRing buffers take about
// kSlabShare of the fields' bytes, but at least two planes per thread, and
// at most the grid.
constexpr double kSlabShare = 0.0025;

// Slab buffers in the ring: the slab being drawn and two being consumed.
constexpr int kRing = 3;

int slabPlanes(const BoxGrid& g, int ncomp, std::int64_t planeModes, int threads) {
  const double fieldBytes = 4.0 * ncomp * double(g.N1) * g.N2 * g.N3;
  const double planeBytes = 4.0 * 2 * ncomp * double(planeModes);
  const double budget = kSlabShare * fieldBytes / (kRing * planeBytes);
  const double planes = std::max(budget, 2.0 * threads);
  return planes >= g.N1 ? g.N1 : std::max(1, static_cast<int>(planes));
}

void checkArguments(std::span<F3tensor> fields, int ncomp, std::span<const int> comps,
                    const BoxGrid& grid) {
  const int N1 = grid.N1, N2 = grid.N2, N3 = grid.N3;
  if (ncomp < 1 || ncomp > 3) fatalError("Number of components not correct");
  if (ncomp < 3) {
    if (comps.size() < std::size_t(ncomp)) fatalError("Number of components not correct");
    for (int c = 0; c < ncomp; ++c)
      if (comps[std::size_t(c)] < 0 || comps[std::size_t(c)] > 2)
        fatalError("Component number not correct");
  }
  if (N3 < 2)
    fatalError("The third dimension of a three-dimensional field needs at least 2 points");
  if (fields.size() < std::size_t(ncomp)) fatalError("turb3d: field array does not match the grid");
  for (int c = 0; c < ncomp; ++c) {
    const F3tensor& t = fields[std::size_t(c)];
    if (t.rowLo() != 1 || t.rowHi() != N1 || t.colLo() != 1 || t.colHi() != N2 || t.depLo() != 1 ||
        t.depHi() != N3)
      fatalError("turb3d: field array does not match the grid");
  }
}

}  // namespace

std::int64_t turb3dAmplitudeBytes(BoxGrid grid, int ncomp) {
  if (grid.N3 < 2) return 0;
  return VisitPlan(grid).planeStarts().back() * ncomp * ncomp * std::int64_t(sizeof(float));
}

void turb3d(std::span<F3tensor> fields, int ncomp, std::span<const int> comps,
            const TensorModel& model, BoxGrid grid, std::int32_t seed, Vector3 LimNormK,
            const Turb3dWork& work) {
  checkArguments(fields, ncomp, comps, grid);
  model.checkTables();
  const VisitPlan plan(grid);
  const int N1 = grid.N1, N2 = grid.N2, N3 = grid.N3;
  const Vector3 Lbox = grid.Lbox;
  const ModeAmplitude amplitude{.model = model,
                                .Lbox = Lbox,
                                .ncomp = ncomp,
                                .c0 = ncomp < 3 ? comps[0] : 0,
                                .c1 = ncomp == 2 ? comps[1] : 1};
  const float D = detail::coefficientNorm(3, double(Lbox.x) * double(Lbox.y) * double(Lbox.z));
  const std::vector<std::int64_t> planeStart = plan.planeStarts();
  const std::int64_t modes = planeStart.back();
  const int blockSize = ncomp * ncomp;

  // The amplitude store: read when filled, filled otherwise.
  Turb3dAmplitudes* store = work.amplitudes;
  const bool reuse = store != nullptr && store->filled;
  if (reuse && std::int64_t(store->values.size()) != modes * blockSize)
    fatalError("turb3d: amplitude store belongs to another grid");
  if (store != nullptr && !reuse) store->values.assign(std::size_t(modes * blockSize), 0.0f);

  // The k3 = N3/2 plane of each component, in the layout of rlft3.
  std::array<Matrix, 3> nyquistPlane;
  for (int c = 0; c < ncomp; ++c) nyquistPlane[std::size_t(c)] = matrix(1, N1, 1, 2 * N2);

  // Slabs of planes and their deviates, drawn ahead in the visiting order.
  const int threads = modes >= kParallelMinModes ? maxThreads() : 1;
  std::int64_t widestPlane = 0;
  for (int i = 1; i <= N1; ++i)
    widestPlane = std::max(widestPlane, planeStart[std::size_t(i)] - planeStart[std::size_t(i) - 1]);
  const int slab = slabPlanes(grid, ncomp, widestPlane, threads);
  const int slabs = (N1 + slab - 1) / slab;
  const auto slabFirst = [&](int s) { return s * slab + 1; };
  const auto slabLast = [&](int s) { return std::min(N1, (s + 1) * slab); };
  const int perMode = 2 * ncomp;
  std::int64_t widestSlab = 0;
  for (int s = 0; s < slabs; ++s)
    widestSlab = std::max(widestSlab, planeStart[std::size_t(slabLast(s))] -
                                          planeStart[std::size_t(slabFirst(s)) - 1]);
  // A ring of slab buffers: slab s lives in buffer s % kRing.
  std::array<std::vector<float>, kRing> deviates;
  for (auto& d : deviates) d.assign(std::size_t(widestSlab * perMode), 0.0f);

  RandomGenerator gen;
  std::int32_t state = seed;
  const auto drawSlab = [&](int s) {
    const std::int64_t n =
        (planeStart[std::size_t(slabLast(s))] - planeStart[std::size_t(slabFirst(s)) - 1]) * perMode;
    float* x = deviates[std::size_t(s % kRing)].data();
    for (std::int64_t m = 0; m < n; ++m) x[m] = gaussDeviate(gen, state);
  };

  // The coefficient of wave vector (i, j, l) with amplitude m and deviates x,
  // stored with its in-plane mirror where it has one.
  const auto store1 = [&](int i, int j, int l, const Mat3& m, const float* x) {
    const Coefficient h = combineDeviates(m, ncomp, x);
    const bool inPlane = l == 1 || l == plan.lNyquist;
    const bool selfConjugate = plan.iSelf(i) && (j == 1 || j == plan.jHigh);
    const int iMirror = mirrorIndex(i, N1), jMirror = mirrorIndex(j, N2);
    for (int c = 0; c < ncomp; ++c) {
      const float re = scaled(D, h.re[std::size_t(c)]);
      const float im = scaled(D, h.im[std::size_t(c)]);
      F3tensor& u = fields[std::size_t(c)];
      if (!inPlane) {
        u(i, j, 2 * l - 1) = re;
        u(i, j, 2 * l) = im;
        continue;
      }
      // (real, imaginary) at (row, col) of the plane l = 1 or l = N3/2 + 1.
      Matrix& nyquist = nyquistPlane[std::size_t(c)];
      const auto put = [&](int row, int col, float vr, float vi) {
        if (l == 1) {
          u(row, col, 1) = vr;
          u(row, col, 2) = vi;
        } else {
          nyquist(row, 2 * col - 1) = vr;
          nyquist(row, 2 * col) = vi;
        }
      };
      if (selfConjugate) {
        put(i, j, re, 0.0f);
      } else {
        put(i, j, re, im);
        put(iMirror, jMirror, re, -im);
      }
    }
  };

  const auto loadBlock = [&](std::int64_t mode) {
    Mat3 m;
    const float* v = store->values.data() + mode * blockSize;
    for (int a = 0; a < ncomp; ++a)
      for (int b = 0; b < ncomp; ++b) at(m, a, b) = v[a * ncomp + b];
    return m;
  };
  const auto saveBlock = [&](std::int64_t mode, const Mat3& m) {
    float* v = store->values.data() + mode * blockSize;
    for (int a = 0; a < ncomp; ++a)
      for (int b = 0; b < ncomp; ++b) v[a * ncomp + b] = at(m, a, b);
  };

  // Plane i: rows j and their mirrors -k2 together, so that each point
  // amplitude off k2 = 0 and the Nyquist row serves both. rowStart is the
  // calling thread's row index; x the deviates of the plane's first mode.
  const auto synthesizePlane = [&](int i, std::vector<std::int64_t>& rowStart, const float* x) {
    const std::int64_t first = planeStart[std::size_t(i) - 1];
    rowStart[1] = 0;
    for (int j = 1; j <= N2; ++j) rowStart[std::size_t(j) + 1] = rowStart[std::size_t(j)] + plan.rowCount(i, j);
    const float k1 = waveNumber(waveIndex(i, N1), Lbox.x);
    for (int j = 1; j <= N2; ++j) {
      if (j > plan.jHigh) continue;  // done with its mirror
      const bool paired = 1 < j && j < plan.jHigh;
      const int jm = paired ? mirrorIndex(j, N2) : j;
      const float k2 = waveNumber(waveIndex(j, N2), Lbox.y);
      std::int64_t nj = first + rowStart[std::size_t(j)], nm = first + rowStart[std::size_t(jm)];
      for (int l = 1; l <= plan.lNyquist; ++l) {
        const bool genJ = plan.generates(i, j, l);
        const bool genM = paired && plan.generates(i, jm, l);
        if (!genJ && !genM) continue;
        const Vector3 k(k1, k2, waveNumber(l - 1, Lbox.z));
        const bool cell = insideCellBox(k, model.params.L, LimNormK);
        Mat3 m;
        if (reuse && genJ) m = loadBlock(nj);
        else if (!reuse) m = amplitude(k, cell);
        if (genJ) {
          if (store != nullptr && !reuse) saveBlock(nj, m);
          store1(i, j, l, m, x + (nj - first) * perMode);
          ++nj;
        }
        if (genM) {
          Mat3 mm;
          if (reuse) mm = loadBlock(nm);
          else if (cell) mm = amplitude(Vector3(k.x, -k.y, k.z), cell);
          else mm = amplitude.mirroredPoint(m);
          if (store != nullptr && !reuse) saveBlock(nm, mm);
          store1(i, jm, l, mm, x + (nm - first) * perMode);
          ++nm;
        }
      }
    }
  };

  if (work.progress != nullptr) work.progress->begin(SynthesisProgress::amplitudes, N1);
  // The pipeline, without barriers: planes are claimed in order from a
  // shared counter; a plane waits until its slab is drawn; whichever thread
  // finds the generator free draws the next slab once every plane of the
  // slab that last used its buffer is finished. The generator is only ever
  // touched by the thread holding `drawing`, slab after slab, so the
  // deviates come in the sequential order.
  std::atomic<int> drawn{0};         // slabs drawn so far
  std::atomic<bool> drawing{false};  // a thread holds the generator
  std::atomic<int> nextPlane{1};
  std::vector<std::atomic<int>> finished(static_cast<std::size_t>(slabs));  // planes done per slab
  for (auto& f : finished) f.store(0, std::memory_order_relaxed);
  const auto slabSize = [&](int s) { return slabLast(s) - slabFirst(s) + 1; };
  const auto tryDraw = [&] {
    if (drawn.load(std::memory_order_acquire) >= slabs ||
        drawing.exchange(true, std::memory_order_acquire))
      return;
    const int s = drawn.load(std::memory_order_relaxed);
    const bool bufferFree =
        s < slabs && (s < kRing || finished[std::size_t(s - kRing)].load(std::memory_order_acquire) ==
                                       slabSize(s - kRing));
    if (bufferFree) {
      drawSlab(s);
      drawn.store(s + 1, std::memory_order_release);
    }
    drawing.store(false, std::memory_order_release);
  };
  // A failure inside the team (a fatal report with a handler that throws)
  // is carried out of it and raised again on the calling thread.
  std::exception_ptr failure;
  std::mutex failureMutex;
  const auto guarded = [&](auto&& fn) {
    try {
      fn();
    } catch (...) {
      const std::lock_guard<std::mutex> lock(failureMutex);
      if (!failure) failure = std::current_exception();
    }
  };
#pragma omp parallel num_threads(threads) if (threads > 1)
  {
    std::vector<std::int64_t> rowStart(std::size_t(N2) + 2, 0);
    for (;;) {
      tryDraw();
      const int i = nextPlane.fetch_add(1, std::memory_order_relaxed);
      if (i > N1) break;
      const int s = (i - 1) / slab;
      while (drawn.load(std::memory_order_acquire) <= s) {
        tryDraw();
        std::this_thread::yield();
      }
      const float* x = deviates[std::size_t(s % kRing)].data();
      const std::int64_t slabStart = planeStart[std::size_t(slabFirst(s)) - 1];
      guarded([&] {
        synthesizePlane(i, rowStart, x + (planeStart[std::size_t(i) - 1] - slabStart) * perMode);
      });
      finished[std::size_t(s)].fetch_add(1, std::memory_order_release);
      if (work.progress != nullptr) work.progress->advance();
    }
  }
  if (failure) std::rethrow_exception(failure);
  if (store != nullptr) store->filled = true;

  if (work.progress != nullptr) work.progress->begin(SynthesisProgress::transforms, ncomp);
  for (int c = 0; c < ncomp; ++c) {
    F3tensor& u = fields[std::size_t(c)];
    u(1, 1, 1) = 0.0f;  // zero mean
    u(1, 1, 2) = 0.0f;
    rlft3(u, nyquistPlane[std::size_t(c)], N1, N2, N3, -1);
    nyquistPlane[std::size_t(c)].reset();
    if (work.progress != nullptr) work.progress->advance();
  }
}

}  // namespace wind
