#include "numerics/fft_slab.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/threads.hpp"
#include "tests/rlft3_reference.hpp"
#include "tests/support.hpp"

using namespace wind;

namespace {

using Shape = wind::testing::Rlft3Shape;
using Spectrum = wind::testing::Rlft3Spectrum;

// The steps of the distributed inverse, each owner in a buffer of its own:
// slabs of planes for steps 1 to 3, blocks of columns [c0, c1) for step 4.
std::vector<float> slabInverse(const Spectrum& in, Shape g, const std::vector<PlaneRange>& slabs,
                               const std::vector<std::pair<std::int64_t, std::int64_t>>& blocks) {
  const std::int64_t planeFloats = g.nn2 * g.nn3, rowFloats = 2 * g.nn2, C = g.nn2 * g.nn3 / 2;
  const auto copyPlanes = [&](PlaneRange r, std::vector<float>& d, std::vector<float>& n) {
    d.assign(in.data.begin() + (r.first - 1) * planeFloats, in.data.begin() + r.last * planeFloats);
    n.assign(in.nyquist.begin() + (r.first - 1) * rowFloats, in.nyquist.begin() + r.last * rowFloats);
  };
  std::vector<std::vector<float>> data(slabs.size()), nyq(slabs.size());
  for (std::size_t s = 0; s < slabs.size(); ++s) {
    if (slabs[s].count() == 0) continue;
    copyPlanes(slabs[s], data[s], nyq[s]);
    // Copies of the mirror planes, taken before anyone tangles.
    const PlaneRange m = rlft3MirrorPlanes(g.nn1, slabs[s]);
    std::vector<float> md, mn;
    if (m.count() > 0) copyPlanes(m, md, mn);
    const Rlft3Slab own{data[s].data(), nyq[s].data(), slabs[s]};
    rlft3InverseTangle(own, {md.data(), mn.data(), m}, g.nn1, g.nn2, g.nn3);
    rlft3InverseRows(own, g.nn2, g.nn3);
  }
  for (auto [c0, c1] : blocks) {
    std::vector<float> block(std::size_t(2 * g.nn1 * (c1 - c0)));
    for (std::size_t s = 0; s < slabs.size(); ++s)
      copyColumnsOut(data[s].data(), slabs[s].count(), C, c0, c1,
                     block.data() + (slabs[s].first - 1) * 2 * (c1 - c0));
    rlft3InverseColumns(block.data(), g.nn1, c1 - c0);
    for (std::size_t s = 0; s < slabs.size(); ++s)
      copyColumnsIn(block.data() + (slabs[s].first - 1) * 2 * (c1 - c0), slabs[s].count(), C, c0, c1,
                    data[s].data());
  }
  std::vector<float> out;
  for (const auto& d : data) out.insert(out.end(), d.begin(), d.end());
  return out;
}

std::vector<PlaneRange> evenSlabs(Shape g, int parts) {
  const SlabPartition cut{g.nn1, g.nn2, g.nn3, parts};
  std::vector<PlaneRange> slabs;
  for (int r = 0; r < parts; ++r) slabs.push_back(cut.planes(r));
  return slabs;
}

std::vector<std::pair<std::int64_t, std::int64_t>> evenBlocks(Shape g, int parts) {
  const SlabPartition cut{g.nn1, g.nn2, g.nn3, parts};
  std::vector<std::pair<std::int64_t, std::int64_t>> blocks;
  for (int r = 0; r < parts; ++r) blocks.emplace_back(cut.columnBegin(r), cut.columnBegin(r + 1));
  return blocks;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && wind::testing::sameBits(a.data(), b.data(), a.size());
}

}  // namespace

// The composed steps give rlft3's bits for even cuts (slab counts that do and
// do not divide nn1, more slabs than planes, one plane per slab), uneven
// cuts that split some mirror pairs and keep others together, and column
// blocks cut independently of the slabs; nn3 = 2 (tangling only in its first
// column) and nn1 = 1 (the two-dimensional form) included.
TEST(Rlft3Slab, ComposedStepsGiveTheBitsOfRlft3) {
  const Shape shapes[] = {{16, 4, 8}, {8, 2, 2}, {2, 8, 4}, {1, 8, 8}, {32, 8, 16}};
  for (Shape g : shapes) {
    const Spectrum in = wind::testing::rlft3Noise(g, std::uint64_t(g.nn1 * 1000 + g.nn2 * 10 + g.nn3));
    const std::vector<float> want = wind::testing::rlft3WholeInverse(in, g);
    for (int parts : {1, 2, 3, 4, 5, int(g.nn1)}) {
      EXPECT_TRUE(sameBits(slabInverse(in, g, evenSlabs(g, parts), evenBlocks(g, parts)), want))
          << g.nn1 << " x " << g.nn2 << " x " << g.nn3 << " in " << parts << " even parts";
    }
    if (g.nn1 >= 16) {
      const std::int64_t n = g.nn1;
      const std::vector<PlaneRange> uneven = {{1, 1}, {2, 3}, {4, n - 3}, {n - 2, n - 2}, {n - 1, n}};
      EXPECT_TRUE(sameBits(slabInverse(in, g, uneven, evenBlocks(g, 3)), want))
          << g.nn1 << " x " << g.nn2 << " x " << g.nn3 << " in uneven slabs";
    }
  }
}

// Large enough for the threaded paths of every step (and of rlft3): the same
// bits on one thread and on three.
TEST(Rlft3Slab, SameBitsOnAnyThreadCount) {
  const Shape g{64, 32, 32};
  const Spectrum in = wind::testing::rlft3Noise(g, 2385);
  const int saved = maxThreads();
  setThreads(1);
  const std::vector<float> want = wind::testing::rlft3WholeInverse(in, g);
  setThreads(3);
  EXPECT_TRUE(sameBits(wind::testing::rlft3WholeInverse(in, g), want));
  EXPECT_TRUE(sameBits(slabInverse(in, g, evenSlabs(g, 3), evenBlocks(g, 3)), want));
  EXPECT_TRUE(sameBits(slabInverse(in, g, {{1, 40}, {41, 64}}, evenBlocks(g, 2)), want));
  setThreads(saved);
}

TEST(Rlft3Slab, MirrorPlanesAreTheMissingPartnersInOnePiece) {
  // nn1 = 8: mirrors 1<->1, 2<->8, 3<->7, 4<->6, 5<->5.
  const auto mirrors = [](std::int64_t first, std::int64_t last) {
    const PlaneRange r = rlft3MirrorPlanes(8, {first, last});
    return r.count() == 0 ? std::string("none") : std::to_string(r.first) + ".." + std::to_string(r.last);
  };
  EXPECT_EQ(mirrors(1, 1), "none");
  EXPECT_EQ(mirrors(1, 3), "7..8");
  EXPECT_EQ(mirrors(4, 6), "none");
  EXPECT_EQ(mirrors(3, 5), "6..7");
  EXPECT_EQ(mirrors(5, 8), "2..4");
  EXPECT_EQ(mirrors(2, 8), "none");
}

TEST(Rlft3SlabDeathTest, BadShapesAndMissingMirrorsAreFatal) {
  std::vector<float> d(64), n(16);
  const Rlft3Slab own{d.data(), n.data(), {2, 3}};
  EXPECT_EXIT(rlft3InverseTangle(own, {}, 8, 3, 4), ::testing::ExitedWithCode(1),
              wind::testing::fatalReport(
                  "rlft3 slab: dimensions are not powers of 2 or planes lie outside the array"));
  EXPECT_EXIT(rlft3InverseTangle({d.data(), n.data(), {7, 9}}, {}, 8, 2, 4),
              ::testing::ExitedWithCode(1),
              wind::testing::fatalReport(
                  "rlft3 slab: dimensions are not powers of 2 or planes lie outside the array"));
  EXPECT_EXIT(rlft3InverseTangle(own, {d.data(), n.data(), {7, 7}}, 8, 2, 4),
              ::testing::ExitedWithCode(1),
              wind::testing::fatalReport("rlft3 slab: copies of the mirror planes missing"));
}
