#pragma once
// Internal to turb3d (synthesis/turb3d.hpp): the classic stream's deviates of
// any plane i of wave-number space, in any order and on any thread.
//
// ClassicPlaneDeviates fills x with the deviates of plane i: perMode = 2 ncomp
// per generated wave vector, in the plan's order (synthesis/turb3d_plan.hpp),
// x.size() = planeModes(i, i) perMode, the same numbers the sequential draw
// from the seed hands plane i. record() takes the generator's whole state at
// the first deviate of every plane, planeStart(i) perMode into the sequence,
// in one pass in plane order that skips the deviates without forming them
// (skipGaussDeviates, numerics/random.hpp: about 0.6 of the cost of drawing
// them all), publishing each state as it gets there. A call for plane i waits
// until its state is recorded, then draws from a copy of it. One thread runs
// record() (once) while others call for planes: the planes whose states come
// first need not wait for the whole pass. record() does not fail.
//
// It has the shape of a provider void(int i, std::span<float> x), so a
// counter-based stream, whose deviates need no recorded state, fits the same
// slot. Memory: N1 states of the generator (about 150 bytes each), allocated
// by the constructor; nothing allocates per call.
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "numerics/random.hpp"
#include "synthesis/turb3d_plan.hpp"

namespace wind::detail {

class ClassicPlaneDeviates {
 public:
  ClassicPlaneDeviates(const Turb3dPlan& plan, int perMode, std::int32_t seed);

  void record() noexcept;
  void operator()(int i, std::span<float> x) const;

 private:
  const Turb3dPlan& plan_;
  int perMode_;
  std::int32_t seed_;
  std::vector<RandomStream> states_;  // states_[i - 1] at plane i's first deviate
  std::atomic<int> recorded_{0};      // planes 1 .. recorded_ have their states
};

}  // namespace wind::detail
