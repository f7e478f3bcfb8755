#include "synthesis/plane_deviates.hpp"

#include "numerics/counter_random.hpp"

namespace wind::detail {

PlaneDeviates counterPlaneDeviates(const Turb3dPlan& plan, int ncomp, std::int32_t seed) {
  return [&plan, ncomp, seed](int i, std::span<float> x) {
    const std::int64_t first = plan.planeStart(i), n = plan.planeModes(i, i);
    for (std::int64_t m = 0; m < n; ++m)
      counterDeviates(seed, first + m, ncomp, x.data() + m * 2 * ncomp);
  };
}

}  // namespace wind::detail
