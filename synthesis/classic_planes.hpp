#pragma once
// Internal to turb3d (synthesis/turb3d.hpp): the classic stream's deviates of
// the planes 1 .. last of wave-number space, in any order and on any thread.
//
// ClassicPlaneDeviates records the generator's whole state at the first
// deviate of every plane i = 1 .. last + 1, planeStart(i) perMode into the
// sequence, in one pass that skips the deviates without forming them
// (gaussStreamStates, numerics/random.hpp: about 0.6 of the cost of drawing
// them). A call then fills x with the deviates of plane i <= last (perMode =
// 2 ncomp per generated wave vector, in the plan's order, x.size() =
// planeModes(i, i) perMode), the same numbers the sequential draw from the
// seed hands plane i, drawn from a copy of its state; calls for different
// planes may run at the same time. state(last + 1) is where the stream stands
// after plane last: a sequential draw from there (the draw-ahead ring of
// synthesis/deviate_ring.hpp) gives the planes after it.
//
// It has the shape of a provider void(int i, std::span<float> x), so a
// counter-based stream, whose deviates need no recorded state, fits the same
// slot. Memory: last + 1 states of the generator (about 150 bytes each),
// allocated by the constructor; nothing allocates per call.
#include <cstdint>
#include <span>
#include <vector>

#include "numerics/random.hpp"
#include "synthesis/turb3d_plan.hpp"

namespace wind::detail {

class ClassicPlaneDeviates {
 public:
  // 1 <= last <= N1.
  ClassicPlaneDeviates(const Turb3dPlan& plan, int perMode, std::int32_t seed, int last);

  void operator()(int i, std::span<float> x) const;
  const RandomStream& state(int i) const { return states_[std::size_t(i) - 1]; }

 private:
  std::vector<RandomStream> states_;  // states_[i - 1] at plane i's first deviate
};

}  // namespace wind::detail
