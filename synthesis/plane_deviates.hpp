#pragma once
// Internal to turb3d (synthesis/turb3d.hpp): the deviates of one plane i of
// wave-number space, wherever and in whatever order they are needed.
//
// A PlaneDeviates fills x with the deviates of plane i: perMode = 2 ncomp per
// generated wave vector, in the plan's order (synthesis/turb3d_plan.hpp),
// x.size() = planeModes(i, i) perMode. It may be called for any plane, in any
// order, from several threads at once (for different planes), and gives the
// same numbers each time. The plane steps then run without a ring.
//
// counterPlaneDeviates: the counter-based stream (numerics/counter_random.hpp)
// keyed by the seed, wave vector n of the sequence (planeStart(i) + its place
// in the plane) taking counterDeviates(seed, n, ncomp). Other sources of the
// same notion (a classic stream restarted from recorded states, for example)
// fit the same slot. The returned object refers to the plan, which must
// outlive it; it allocates nothing per call.
#include <cstdint>
#include <functional>
#include <span>

#include "synthesis/turb3d_plan.hpp"

namespace wind::detail {

using PlaneDeviates = std::function<void(int i, std::span<float> x)>;

PlaneDeviates counterPlaneDeviates(const Turb3dPlan& plan, int ncomp, std::int32_t seed);

}  // namespace wind::detail
