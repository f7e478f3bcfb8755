#include "synthesis/plane_deviates.hpp"

#include "numerics/counter_random.hpp"

namespace wind::detail {

PlaneDeviates counterPlaneDeviates(const Turb3dPlan& plan, int ncomp, std::int32_t seed) {
  return [&plan, ncomp, seed](int i, std::span<float> x) {
    counterDeviates(seed, plan.planeStart(i), plan.planeModes(i, i), ncomp, x.data());
  };
}

}  // namespace wind::detail
