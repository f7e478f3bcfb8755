// turb3d on several threads, with the mirror shortcut and the amplitude
// store: the same bits as a plain sequential synthesis that evaluates every
// amplitude in full.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "numerics/counter_random.hpp"
#include "numerics/fft.hpp"
#include "numerics/random.hpp"
#include "support/threads.hpp"
#include "synthesis/fourier_grid.hpp"
#include "synthesis/turb3d.hpp"
#include "synthesis/turb3d_amplitude.hpp"
#include "tests/support.hpp"

using namespace wind;

namespace {

constexpr std::int32_t kSeed = -11;

// Upstream tables whose stretch and energy vary with kL (piecewise linear:
// zero spline second derivatives), so that the mirror relation is tested
// with lookups that differ from one wave number to the next.
UpstreamTables varyingTables() {
  UpstreamTables t;
  for (int i = 0; i < kKLGridSize; ++i) {
    const double x = 0.137 * i;
    t.kL[std::size_t(i)] = kLGrid(i);
    t.strain[0][std::size_t(i)] = static_cast<float>(0.3 * std::sin(x));
    t.strain[1][std::size_t(i)] = static_cast<float>(-0.2 * std::cos(x));
    t.energy[std::size_t(i)] = static_cast<float>(0.05 + 0.04 * std::sin(2.0 * x));
  }
  t.hasStretch = t.hasRoughness = true;
  return t;
}

struct Case {
  std::string name;
  BoxGrid grid;
  TensorModel model;
  int ncomp;
  std::vector<int> comps;
  Vector3 lim;
};

std::vector<Case> cases(const UpstreamTables* tables) {
  // Just above the engine's threshold for a team (2048 wave vectors); 32
  // planes do not divide by 3 threads, and the slabs of drawn-ahead deviates
  // (two planes per thread here) do not divide the planes either. The limits
  // put a few wave vectors near the origin into the cell-integral region.
  const BoxGrid load{32, 16, 8, Vector3(1800.0f, 60.0f, 80.0f)};
  const BoxGrid cube{16, 16, 16, Vector3(64.0f, 64.0f, 64.0f)};
  const Vector3 cells(3.0f, 3.5f, 3.5f);
  return {
      {"three components, cells", load, {0.1f, 30.0f, 3.9f}, 3, {0, 1, 2}, cells},
      {"u and v, Gamma 0", cube, {0.1f, 30.0f, 0.0f}, 2, {0, 1}, Vector3(0.0f)},
      {"v and w, cells", load, {0.1f, 30.0f, 3.9f}, 2, {1, 2}, cells},
      {"v alone", cube, {0.1f, 30.0f, 3.9f}, 1, {1}, Vector3(0.0f)},
      {"terrain and roughness", cube, {0.0f, 30.0f, 3.9f, true, tables}, 3, {0, 1, 2}, cells},
  };
}

std::vector<F3tensor> boxes(const BoxGrid& g, int ncomp) {
  std::vector<F3tensor> f;
  for (int c = 0; c < ncomp; ++c) f.push_back(f3tensor(1, g.N1, 1, g.N2, 1, g.N3));
  return f;
}

// The synthesis as a single sequential pass over the documented visiting
// order, every amplitude evaluated in full at its own wave vector; the
// deviates from the classic stream in that order, or (counter) from the
// counter stream at the wave vector's place n in it.
std::vector<F3tensor> sequentialReference(const Case& c,
                                          RandomStreamKind random = RandomStreamKind::classic,
                                          std::int32_t seed = kSeed) {
  using namespace detail;
  const BoxGrid& g = c.grid;
  std::vector<F3tensor> f = boxes(g, c.ncomp);
  std::vector<Matrix> nyq;
  for (int q = 0; q < c.ncomp; ++q) nyq.push_back(matrix(1, g.N1, 1, 2 * g.N2));
  const ModeAmplitude amp{c.model, g.Lbox, c.ncomp, c.ncomp < 3 ? c.comps[0] : 0,
                          c.ncomp == 2 ? c.comps[1] : 1, tensorArithmetic(random)};
  // The point amplitude in the stream's arithmetic, the cells always in the
  // classic one.
  const auto amplitude = [&](Vector3 k, bool cell) {
    if (cell) return amp(k, true);
    Mat3 m;
    amp.pointAmplitudes(k.x, k.y, std::span<const float>(&k.z, 1), std::span<Mat3>(&m, 1));
    return m;
  };
  const float D = coefficientNorm(3, double(g.Lbox.x) * g.Lbox.y * g.Lbox.z);
  RandomGenerator gen;
  std::int32_t state = seed;
  std::int64_t n = 0;
  const int iHigh = g.N1 / 2 + 1, jHigh = g.N2 / 2 + 1, lTop = g.N3 / 2 + 1;
  for (int i = 1; i <= g.N1; ++i)
    for (int j = 1; j <= g.N2; ++j)
      for (int l = 1; l <= lTop; ++l) {
        const bool self1 = i == 1 || i == iHigh;
        const bool inPlane = l == 1 || l == lTop;
        if ((i == 1 && j == 1 && l == 1) || (inPlane && i > iHigh) ||
            (inPlane && self1 && j > jHigh))
          continue;
        const Vector3 k(waveNumber(waveIndex(i, g.N1), g.Lbox.x),
                        waveNumber(waveIndex(j, g.N2), g.Lbox.y), waveNumber(l - 1, g.Lbox.z));
        const bool cell = insideCellLimit(k.x, c.model.params.L, c.lim.x) &&
                          insideCellLimit(k.y, c.model.params.L, c.lim.y) &&
                          insideCellLimit(k.z, c.model.params.L, c.lim.z);
        float x[2 * kMaxComponents];
        if (random == RandomStreamKind::counter) counterDeviates(seed, n, c.ncomp, x);
        ++n;
        const Coefficient h = random == RandomStreamKind::counter
                                  ? combineDeviates(amplitude(k, cell), c.ncomp, x)
                                  : drawCoefficient(amplitude(k, cell), c.ncomp, gen, state);
        for (int q = 0; q < c.ncomp; ++q) {
          const float re = scaled(D, h.re[q]), im = scaled(D, h.im[q]);
          const auto put = [&](int r, int s, float vr, float vi) {
            float* p = l == 1 ? &f[q](r, s, 1) : &nyq[q](r, 2 * s - 1);
            p[0] = vr;
            p[1] = vi;
          };
          if (!inPlane) {
            f[q](i, j, 2 * l - 1) = re;
            f[q](i, j, 2 * l) = im;
          } else if (self1 && (j == 1 || j == jHigh)) {
            put(i, j, re, 0.0f);
          } else {
            put(i, j, re, im);
            put(mirrorIndex(i, g.N1), mirrorIndex(j, g.N2), re, -im);
          }
        }
      }
  for (int q = 0; q < c.ncomp; ++q) rlft3(f[q], nyq[q], g.N1, g.N2, g.N3, -1);
  return f;
}

std::vector<F3tensor> parallelRun(const Case& c, int threads, Turb3dAmplitudes* store = nullptr,
                                  std::int32_t seed = kSeed,
                                  RandomStreamKind random = RandomStreamKind::classic) {
  const int before = maxThreads();
  setThreads(threads);
  std::vector<F3tensor> f = boxes(c.grid, c.ncomp);
  turb3d(f, {c.comps, c.model, c.grid, c.lim, Turb3dSlabStart::atSeed(seed),
             Turb3dWork{store, nullptr, random}});
  setThreads(before);
  return f;
}

bool sameBits(const std::vector<F3tensor>& a, const std::vector<F3tensor>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t q = 0; q < a.size(); ++q)
    if (a[q].size() != b[q].size() ||
        std::memcmp(a[q].data(), b[q].data(), sizeof(float) * std::size_t(a[q].size())) != 0)
      return false;
  return true;
}

}  // namespace

TEST(Turb3dThreads, EveryThreadCountGivesTheBitsOfTheSequentialPass) {
  const UpstreamTables tables = varyingTables();
  for (const Case& c : cases(&tables)) {
    const std::vector<F3tensor> reference = sequentialReference(c);
    for (int threads : {1, 2, 3})
      EXPECT_TRUE(sameBits(parallelRun(c, threads), reference)) << c.name << ", " << threads
                                                                << " threads";
  }
}

TEST(Turb3dThreads, StoredAmplitudesGiveTheBitsOfAFreshRunForEachSeed) {
  const UpstreamTables tables = varyingTables();
  const Case c = cases(&tables)[4];
  Turb3dAmplitudes store;
  parallelRun(c, 2, &store, -5);
  ASSERT_TRUE(store.filled);
  EXPECT_EQ(std::int64_t(store.values.size() * sizeof(float)),
            turb3dAmplitudeBytes(c.grid, c.ncomp));
  // Read back on another thread count, for the run's own seed and another.
  EXPECT_TRUE(sameBits(parallelRun(c, 3, &store, -5), parallelRun(c, 1, nullptr, -5)));
  EXPECT_TRUE(sameBits(parallelRun(c, 3, &store), sequentialReference(c)));

  Case other = c;
  other.grid.N1 = 8;
  EXPECT_EQ(wind::testing::fatalMessage([&] { parallelRun(other, 1, &store); }),
            "turb3d: amplitude store belongs to another grid");
}

TEST(Turb3dCounter, EveryThreadCountGivesTheCounterStreamAtEachWaveVectorsPlace) {
  const UpstreamTables tables = varyingTables();
  const RandomStreamKind counter = RandomStreamKind::counter;
  for (const Case& c : cases(&tables)) {
    const std::vector<F3tensor> reference = sequentialReference(c, counter);
    for (int threads : {1, 2, 3})
      EXPECT_TRUE(sameBits(parallelRun(c, threads, nullptr, kSeed, counter), reference))
          << c.name << ", " << threads << " threads";
  }
  // Another seed is another field; the classic stream another still.
  const std::vector<Case> all = cases(&tables);
  const Case& c = all[0];
  EXPECT_FALSE(sameBits(parallelRun(c, 2, nullptr, -12, counter), sequentialReference(c, counter)));
  EXPECT_FALSE(sameBits(parallelRun(c, 2), sequentialReference(c, counter)));
}

// The bits of the counter stream's boxes, pinned: its arithmetic (deviates
// and amplitudes, numerics/vector_math.hpp) may change only deliberately,
// with a new value of the run record's "arithmetic" and a changelog entry.
TEST(Turb3dCounter, TheStreamKeepsItsBits) {
  const UpstreamTables tables = varyingTables();
  const std::vector<Case> all = cases(&tables);
  const auto hash = [](const std::vector<F3tensor>& f) {
    std::uint64_t h = 14695981039346656037ull;  // FNV-1a over the bytes
    for (const F3tensor& t : f)
      for (float v : t.span()) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int b = 0; b < 4; ++b) h = (h ^ ((bits >> (8 * b)) & 0xFFu)) * 1099511628211ull;
      }
    return h;
  };
  EXPECT_EQ(hash(parallelRun(all[0], 2, nullptr, kSeed, RandomStreamKind::counter)),
            13474572693176225945ull);
  EXPECT_EQ(hash(parallelRun(all[4], 2, nullptr, kSeed, RandomStreamKind::counter)),
            1919392763817762988ull);
}

namespace {

// The box assembled from turb3dSlab on the slabs of `parts` even pieces
// (each started from the classic stream at its first deviate, or from the
// seed), the conjugates kept aside copied to the planes they belong to, then
// rlft3 on the whole: what processes holding the slabs compute together.
std::vector<F3tensor> slabRun(const Case& c, int parts, RandomStreamKind random, int threads,
                              Turb3dAmplitudes* stores = nullptr) {
  const BoxGrid& g = c.grid;
  const int before = maxThreads();
  setThreads(threads);
  std::vector<F3tensor> whole = boxes(g, c.ncomp);
  std::vector<Matrix> nyq;
  for (int q = 0; q < c.ncomp; ++q) nyq.push_back(matrix(1, g.N1, 1, 2 * g.N2));
  const SlabPartition cut{g.N1, g.N2, g.N3, parts};
  // The conjugates kept aside by every slab, copied in after all planes.
  std::vector<std::pair<PlaneRange, std::vector<Matrix>>> aside;
  for (int r = 0; r < parts; ++r) {
    const PlaneRange planes = cut.planes(r), targets = turb3dMirrorTargets(g.N1, planes);
    std::vector<F3tensor> f;
    std::vector<Matrix> ny, mirror;
    for (int q = 0; q < c.ncomp; ++q) {
      f.push_back(f3tensor(int(planes.first), int(planes.last) + 1, 1, g.N2, 1, g.N3));
      ny.push_back(matrix(int(planes.first), int(planes.last), 1, 2 * g.N2));
      mirror.push_back(targets.count() > 0
                           ? matrix(int(targets.first), int(targets.last), 1, 4 * g.N2)
                           : Matrix());
    }
    const std::int64_t offset = turb3dPlaneStart(g, int(planes.first)) * 2 * c.ncomp;
    const Turb3dSlabStart start{kSeed, gaussStreamAt(kSeed, offset)};
    turb3dSlab(Turb3dSlab{planes, f, ny, mirror},
               {c.comps, c.model, g, c.lim, start,
                Turb3dWork{stores != nullptr ? &stores[r] : nullptr, nullptr, random}});
    for (int q = 0; q < c.ncomp; ++q)
      for (std::int64_t i = planes.first; i <= planes.last; ++i) {
        std::memcpy(&whole[q](int(i), 1, 1), &f[q](int(i), 1, 1), sizeof(float) * g.N2 * g.N3);
        std::memcpy(nyq[q].row(int(i)), ny[q].row(int(i)), sizeof(float) * 2 * g.N2);
      }
    aside.emplace_back(targets, std::move(mirror));
  }
  for (auto& [targets, mirror] : aside)
    for (int q = 0; q < c.ncomp; ++q)
      for (std::int64_t p = targets.first; p <= targets.last; ++p)
        for (int j = 1; j <= g.N2; ++j) {
          whole[q](int(p), j, 1) = mirror[q](int(p), 2 * j - 1);
          whole[q](int(p), j, 2) = mirror[q](int(p), 2 * j);
          nyq[q](int(p), 2 * j - 1) = mirror[q](int(p), 2 * g.N2 + 2 * j - 1);
          nyq[q](int(p), 2 * j) = mirror[q](int(p), 2 * g.N2 + 2 * j);
        }
  for (int q = 0; q < c.ncomp; ++q) rlft3(whole[q], nyq[q], g.N1, g.N2, g.N3, -1);
  setThreads(before);
  return whole;
}

}  // namespace

// Cuts into pieces that do not divide the 32 or 16 planes, pieces of one
// plane, and more pieces than planes (some empty).
TEST(Turb3dSlab, SlabsOfAnyCutTogetherGiveTheBitsOfTheWholeBox) {
  const UpstreamTables tables = varyingTables();
  const std::vector<Case> all = cases(&tables);
  for (const Case& c : {all[0], all[2], all[4]})
    for (RandomStreamKind random : {RandomStreamKind::classic, RandomStreamKind::counter}) {
      const std::vector<F3tensor> whole = parallelRun(c, 2, nullptr, kSeed, random);
      for (int parts : {1, 3, 7, 16, 20})
        EXPECT_TRUE(sameBits(slabRun(c, parts, random, parts % 2 + 1), whole))
            << c.name << ", " << randomStreamName(random) << ", " << parts << " slabs";
    }
  // Each slab's store holds its own wave vectors and serves the next seed.
  const Case& c = all[0];
  std::vector<Turb3dAmplitudes> stores(3);
  slabRun(c, 3, RandomStreamKind::classic, 1, stores.data());
  EXPECT_TRUE(sameBits(slabRun(c, 3, RandomStreamKind::classic, 2, stores.data()),
                       parallelRun(c, 1)));
}

TEST(Turb3dSlab, ArraysThatMissPlanesAreRefused) {
  const BoxGrid g{8, 4, 4, Vector3(100.0f)};
  const std::vector<int> comps{2};
  std::vector<F3tensor> f;
  f.push_back(f3tensor(3, 4, 1, 4, 1, 4));
  std::vector<Matrix> ny, mirror;
  ny.push_back(matrix(3, 5, 1, 8));
  mirror.push_back(matrix(6, 7, 1, 16));  // the mirrors of planes 3 and 4 are 7 and 6
  const TensorModel model{0.1f, 30.0f, 3.9f};
  const auto run = [&](PlaneRange planes) {
    return wind::testing::fatalMessage([&] {
      turb3dSlab(Turb3dSlab{planes, f, ny, mirror},
                 {comps, model, g, Vector3(0.0f), Turb3dSlabStart{}});
    });
  };
  EXPECT_EQ(run({3, 4}), "");
  EXPECT_EQ(run({3, 5}), "turb3d: slab arrays do not cover the planes");
  mirror[0] = matrix(7, 7, 1, 16);
  EXPECT_EQ(run({3, 4}), "turb3d: slab arrays do not cover the planes");
}

// The point amplitude at (k1, -k2, k3) is the one at k with fixed signs
// flipped, bit for bit, in either arithmetic; zeros may change sign
// (combineDeviates cannot tell).
TEST(Turb3dMirror, PointAmplitudeAtMinusK2IsTheSignFlippedOne) {
  const UpstreamTables tables = varyingTables();
  const BoxGrid boxesToSweep[] = {{8, 8, 8, Vector3(900.0f, 60.0f, 80.0f)},
                                  {4, 16, 4, Vector3(64.0f, 64.0f, 64.0f)}};
  const TensorModel models[] = {{0.1f, 30.0f, 0.0f},
                                {0.1f, 30.0f, 3.9f},
                                {0.1f, 30.0f, 3.9f, true, &tables},
                                {0.0f, 30.0f, 3.9f, false, &tables},
                                {0.0f, 30.0f, 0.0f, true, &tables}};
  const std::array<int, 3> compSets[] = {{0, 1, 2}, {0, 1, 0}, {1, 2, 0}, {0, 2, 0},
                                         {0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  const int compCount[] = {3, 2, 2, 2, 1, 1, 1};
  int checked = 0;
  for (const BoxGrid& g : boxesToSweep)
    for (std::size_t m = 0; m < std::size(models); ++m)
      for (std::size_t s = 0; s < std::size(compSets); ++s) {
        for (TensorArithmetic arithmetic : {TensorArithmetic::classic, TensorArithmetic::lanes}) {
          const detail::ModeAmplitude amp{models[m], g.Lbox, compCount[s], compSets[s][0],
                                          compSets[s][1], arithmetic};
          const auto point = [&](float k1, float k2, float k3) {
            Mat3 a;
            amp.pointAmplitudes(k1, k2, std::span<const float>(&k3, 1), std::span<Mat3>(&a, 1));
            return a;
          };
          for (int i = 1; i <= g.N1; ++i)
            for (int j = 2; j <= g.N2 / 2; ++j)
              for (int l = 1; l <= g.N3 / 2 + 1; ++l) {
                const float k1 = detail::waveNumber(detail::waveIndex(i, g.N1), g.Lbox.x);
                const float k2 = detail::waveNumber(j - 1, g.Lbox.y);
                const float k3 = detail::waveNumber(l - 1, g.Lbox.z);
                ASSERT_EQ(detail::waveNumber(1 - j, g.Lbox.y), -k2);
                const Mat3 direct = point(k1, -k2, k3);
                const Mat3 mirrored = amp.mirroredPoint(point(k1, k2, k3));
                for (int a = 0; a < 3; ++a)
                  for (int b = 0; b < 3; ++b)
                    ASSERT_TRUE(at(direct, a, b) == at(mirrored, a, b))
                        << "model " << m << ", components " << s << ", mode (" << i << ", " << j
                        << ", " << l << "), element (" << a << ", " << b << "): "
                        << at(direct, a, b) << " vs " << at(mirrored, a, b);
                ++checked;
              }
        }
      }
  EXPECT_GT(checked, 1000);
}

// The relation on the bare tensor amplitude, A(Pk) = -P A(k) P, at a wave
// vector off every axis.
TEST(Turb3dMirror, TensorAmplitudeIsOddUnderTheLateralReflection) {
  const UpstreamTables tables = varyingTables();
  const Vector3 k(0.0213f, 0.0871f, -0.0442f), pk(k.x, -k.y, k.z);
  for (const TensorModel& model : {TensorModel{0.1f, 30.0f, 3.9f},
                                   TensorModel{0.0f, 30.0f, 3.9f, true, &tables}}) {
    const Mat3 a = tensorAmplitude(model, k), b = tensorAmplitude(model, pk);
    const float p[3] = {1.0f, -1.0f, 1.0f};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(at(b, i, j), -p[i] * p[j] * at(a, i, j)) << i << "," << j;
      }
  }
}
