// The cost of the random streams of a three-dimensional synthesis when the
// box is cut into slabs of planes for P processes. Benchmark only.
//
// Classic stream (numerics/random.hpp): a process whose slab starts at
// deviate n needs the generator's whole state there. Two ways to get it:
//   one pass  rank 0 skips through the box once and records the state at
//             every slab boundary (gaussStreamStates); the last state is
//             ready after skipping (P-1)/P of the box;
//   replay    each process skips its own prefix (gaussStreamAt); the last
//             one skips (P-1)/P of the box.
// Both put the same skip on the critical path; they differ in who spends it
// (rank 0 alone, or every process its own prefix at once). Measured: the
// Gaussian draw of every deviate, one timed pass that records the time to
// each boundary of 16 slabs (which holds the boundaries of P = 2, 4, 8, 16),
// and the replay of the last process's prefix for P = 4.
// Counter stream (numerics/counter_random.hpp): the deviates of every wave
// vector on 1 thread and on all, for comparison; it needs no state at all.
//
// Usage: streams N1 N2 N3 NCOMP     (seed -1, 16 slabs of equal planes;
// bench/run.sh s and S build and run it)
#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "numerics/counter_random.hpp"
#include "numerics/random.hpp"
#include "support/threads.hpp"
#include "synthesis/turb3d.hpp"

using namespace wind;

namespace {

// CPU seconds of the process: the sequential phases are timed by the CPU
// they take, which stays honest on a machine shared with other work (the
// wall clock of the threaded counter phase is printed beside its CPU time).
double cpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

double wallNow() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Generated wave vectors of plane i in turb3d's visiting order: the planes
// k1 >= 0 (i <= N1/2 + 1) hold their in-plane halves of k3 = 0 and N3/2.
std::int64_t planeModes(std::int64_t i, std::int64_t N1, std::int64_t N2, std::int64_t N3) {
  const std::int64_t full = N3 / 2 + 1, interior = N3 / 2 - 1, iHigh = N1 / 2 + 1;
  if (1 < i && i < iHigh) return N2 * full;
  if (i > iHigh) return N2 * interior;
  const std::int64_t jHigh = N2 / 2 + 1;  // i = 1 or N1/2 + 1
  return jHigh * full + (N2 - jHigh) * interior - (i == 1 ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: streams N1 N2 N3 NCOMP\n");
    return 2;
  }
  const int N1 = std::atoi(argv[1]), N2 = std::atoi(argv[2]), N3 = std::atoi(argv[3]);
  const int ncomp = std::atoi(argv[4]);
  const std::int32_t seed = -1;
  constexpr int kSlabs = 16;

  // Deviate offsets of the plane boundaries of 16 equal slabs, checked
  // against the engine's own count of wave vectors.
  std::vector<std::int64_t> start(std::size_t(N1) + 1, 0);
  for (int i = 1; i <= N1; ++i) start[std::size_t(i)] = start[std::size_t(i) - 1] + planeModes(i, N1, N2, N3);
  const std::int64_t modes = start.back();
  const BoxGrid grid{N1, N2, N3, Vector3(1.0f, 1.0f, 1.0f)};
  if (modes * ncomp * ncomp * std::int64_t(sizeof(float)) != turb3dAmplitudeBytes(grid, ncomp)) {
    std::fprintf(stderr, "streams: wave-vector count disagrees with turb3d\n");
    return 1;
  }
  const std::int64_t perMode = 2 * ncomp, deviates = modes * perMode;
  std::vector<std::int64_t> boundary(kSlabs + 1);
  for (int k = 0; k <= kSlabs; ++k) boundary[std::size_t(k)] = start[std::size_t(std::int64_t(N1) * k / kSlabs)] * perMode;
  std::printf("box %d x %d x %d, %d components: %lld wave vectors, %lld deviates\n", N1, N2, N3, ncomp,
              (long long)modes, (long long)deviates);

  // Every Gaussian deviate, drawn.
  double t0 = cpuNow();
  RandomGenerator gen;
  std::int32_t state = seed;
  double sink = 0.0;
  for (std::int64_t n = 0; n < deviates; ++n) sink += gaussDeviate(gen, state);
  const double draw = cpuNow() - t0;
  const RandomStream drawnEnd{gen, state};

  // One pass, timed at each boundary.
  t0 = cpuNow();
  RandomStream pass{.gen = {}, .state = seed};
  std::vector<double> reached(kSlabs + 1, 0.0);
  for (int k = 1; k <= kSlabs; ++k) {
    skipGaussDeviates(pass.gen, pass.state, boundary[std::size_t(k)] - boundary[std::size_t(k) - 1]);
    reached[std::size_t(k)] = cpuNow() - t0;
  }
  const double skip = reached[kSlabs];
  if (!(pass == drawnEnd)) {
    std::fprintf(stderr, "streams: the skip did not reach the drawn state\n");
    return 1;
  }

  // Replay of the last prefix for P = 4.
  t0 = cpuNow();
  const RandomStream last4 = gaussStreamAt(seed, boundary[3 * kSlabs / 4]);
  const double replay4 = cpuNow() - t0;
  sink += last4.gen.spareDeviate;

  // The counter stream on 1 thread and on all: wall and CPU seconds.
  struct Times {
    double wall, cpu;
  };
  const auto counterAll = [&](int threads) {
    setThreads(threads);
    const double w0 = wallNow(), c0 = cpuNow();
    double s = 0.0;
#pragma omp parallel for reduction(+ : s) schedule(static)
    for (std::int64_t m = 0; m < modes; ++m) {
      float x[6];
      counterDeviates(seed, m, ncomp, x);
      s += x[0];
    }
    sink += s;
    return Times{wallNow() - w0, cpuNow() - c0};
  };
  const int cores = maxThreads();
  const Times counterN = counterAll(cores);
  const double counter1 = counterAll(1).cpu;

  const double ns = 1e9 / double(deviates);
  std::printf("  CPU seconds of one thread unless said otherwise\n");
  std::printf("  classic, draw every deviate:   %8.2f s  (%5.2f ns a deviate)\n", draw, draw * ns);
  std::printf("  classic, skip every deviate:   %8.2f s  (%5.2f ns a deviate, %.2f of the draw)\n", skip,
              skip * ns, skip / draw);
  std::printf("  classic, replay of the last prefix for P = 4: %.2f s (one pass to there: %.2f s)\n",
              replay4, reached[3 * kSlabs / 4]);
  std::printf("  counter, every deviate:        %8.2f s  (%5.2f ns a deviate); on %d threads %.2f s wall,"
              " %.2f s CPU\n", counter1, counter1 * ns, cores, counterN.wall, counterN.cpu);
  std::printf("  %-3s %-37s %-10s %-11s %s\n", "P", "last slab's state ready after", "its draw",
              "together", "counter stream, one slab");
  for (int P : {2, 4, 8, 16}) {
    const double ready = reached[std::size_t(kSlabs * (P - 1) / P)], own = draw / P;
    std::printf("  %-3d %8.2f s (skip of %2d/%-2d of the box) %8.2f s %8.2f s %8.2f s\n", P, ready, P - 1, P,
                own, ready + own, counter1 / P);
  }
  std::printf("  (checksum %.3f)\n", sink);
  return 0;
}
