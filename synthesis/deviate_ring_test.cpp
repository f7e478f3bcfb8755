// The draw-ahead ring and the plan whose sequence it follows.
#include "synthesis/deviate_ring.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <span>
#include <thread>
#include <vector>

#include "synthesis/turb3d_plan.hpp"

using namespace wind;
using detail::DeviateRing;
using detail::Turb3dPlan;

namespace {

// Grids with every kind of plane: the k1 = 0 and highest-k1 planes, a
// highest k3 plane that is the second one (N3 = 2), and odd plane counts.
const BoxGrid kGrids[] = {{8, 4, 4, Vector3(1.0f)}, {6, 8, 2, Vector3(1.0f)},
                          {2, 2, 8, Vector3(1.0f)}, {12, 6, 6, Vector3(1.0f)}};

}  // namespace

TEST(Turb3dPlan, PlacesFollowTheVisitingOrder) {
  for (const BoxGrid& g : kGrids) {
    const Turb3dPlan plan(g);
    std::int64_t n = 0;  // place of the next generated wave vector
    for (int i = 1; i <= g.N1; ++i) {
      ASSERT_EQ(plan.planeStart(i), n) << "plane " << i << " of " << g.N1 << "x" << g.N2;
      for (int j = 1; j <= g.N2; ++j) {
        ASSERT_EQ(plan.planeStart(i) + plan.rowOffset(i, j), n) << "row " << i << ", " << j;
        int row = 0;
        for (int l = 1; l <= g.N3 / 2 + 1; ++l) row += plan.generates(i, j, l) ? 1 : 0;
        ASSERT_EQ(plan.rowCount(i, j), row) << "row " << i << ", " << j;
        n += row;
      }
    }
    // Half the wave vectors but k = 0, plus the self-conjugate ones: the
    // complex coefficients of a real field of N1 N2 N3 values.
    // (i, j, l) in {1, N1/2 + 1} x {1, N2/2 + 1} x {1, N3/2 + 1}, less k = 0.
    const std::int64_t self = 7;
    EXPECT_EQ(2 * plan.modes() - self, std::int64_t(g.N1) * g.N2 * g.N3 - 1);
    EXPECT_EQ(plan.modes(), n);
  }
}

namespace {

// Deviates numbered by their place in the whole sequence: the draw fills its
// slab with the next numbers, and each body checks that its plane got its own.
struct NumberedRun {
  const Turb3dPlan& plan;
  int first, perMode;
  float next;
  std::atomic<int> drawsInside{0};
  std::atomic<bool> overlapped{false};
  std::vector<std::atomic<int>> calls;
  std::atomic<int> wrongDeviates{0};

  NumberedRun(const Turb3dPlan& p, int f, int per)
      : plan(p), first(f), perMode(per), next(float(p.planeStart(f) * per)),
        calls(std::size_t(p.N1) + 1) {}

  void draw(std::span<float> x) {
    if (drawsInside.fetch_add(1) != 0) overlapped = true;
    for (float& v : x) v = next++;
    drawsInside.fetch_sub(1);
  }
  void body(int i, std::span<const float> x) {
    calls[std::size_t(i)].fetch_add(1);
    const std::int64_t start = plan.planeStart(i) * perMode;
    if (std::int64_t(x.size()) != plan.planeModes(i, i) * perMode) ++wrongDeviates;
    for (std::size_t m = 0; m < x.size(); ++m)
      if (x[m] != float(start + std::int64_t(m))) ++wrongDeviates;
  }
};

}  // namespace

TEST(DeviateRing, EveryPlaneGetsItsDeviatesOfTheOneSequence) {
  // Slabs that do not divide the planes, whole grids and ranges of planes.
  struct Case {
    int first, last, slab;
  };
  const Turb3dPlan plan(kGrids[3]);
  for (const Case& c : {Case{1, 12, 1}, Case{1, 12, 5}, Case{4, 11, 2}, Case{7, 7, 3}})
    for (int threads : {1, 2, 3}) {
      NumberedRun run(plan, c.first, 6);
      DeviateRing ring(plan, c.first, c.last, 6, c.slab);
      ring.run(
          threads, [&](std::span<float> x) { run.draw(x); },
          [&](int i, std::span<const float> x) { run.body(i, x); });
      const std::string where = "planes " + std::to_string(c.first) + ".." +
                                std::to_string(c.last) + ", slab " + std::to_string(c.slab) +
                                ", " + std::to_string(threads) + " threads";
      EXPECT_EQ(run.wrongDeviates.load(), 0) << where;
      EXPECT_FALSE(run.overlapped.load()) << where;
      for (int i = 1; i <= plan.N1; ++i)
        EXPECT_EQ(run.calls[std::size_t(i)].load(), (c.first <= i && i <= c.last) ? 1 : 0)
            << where << ", plane " << i;
    }
}

TEST(DeviateRing, ASlowPlaneHoldsUpNoOtherSlab) {
  // The body of plane 1 waits until a plane of the second slab has finished:
  // with a barrier between slabs it would wait for ever (given up after 20 s).
  const Turb3dPlan plan(kGrids[0]);
  DeviateRing ring(plan, 1, 8, 2, 2);
  std::atomic<bool> laterDone{false};
  bool waitedInVain = false;
  ring.run(
      2, [](std::span<float> x) { std::fill(x.begin(), x.end(), 0.0f); },
      [&](int i, std::span<const float>) {
        if (i == 1) {
          const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
          while (!laterDone.load() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::yield();
          waitedInVain = !laterDone.load();
        } else if (i >= 3) {
          laterDone = true;
        }
      });
  EXPECT_FALSE(waitedInVain);
}

TEST(DeviateRing, AFailureLeavesTheTeamAndIsRaisedOnTheCaller) {
  const Turb3dPlan plan(kGrids[3]);
  for (int threads : {1, 2, 3}) {
    DeviateRing ring(plan, 1, 12, 2, 2);
    const auto fill = [](std::span<float> x) { std::fill(x.begin(), x.end(), 0.0f); };
    try {
      ring.run(threads, fill, [](int i, std::span<const float>) {
        if (i == 5) throw std::runtime_error("plane 5");
      });
      ADD_FAILURE() << "no exception on " << threads << " threads";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "plane 5") << threads << " threads";
    }
    // A failed draw: the planes waiting for its slab must not hang.
    int drawsLeft = 3;
    std::atomic<int> after{0};
    try {
      ring.run(
          threads,
          [&](std::span<float> x) {
            if (--drawsLeft == 0) throw std::runtime_error("third draw");
            fill(x);
          },
          [&](int i, std::span<const float>) {
            if (i > 4) ++after;
          });
      ADD_FAILURE() << "no exception on " << threads << " threads";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "third draw") << threads << " threads";
    }
    EXPECT_EQ(after.load(), 0) << "planes of an undrawn slab ran, " << threads << " threads";
  }
}
