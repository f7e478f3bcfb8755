#include "synthesis/classic_planes.hpp"

namespace wind::detail {

ClassicPlaneDeviates::ClassicPlaneDeviates(const Turb3dPlan& plan, int perMode,
                                           std::int32_t seed, int last)
    : states_(std::size_t(last) + 1) {
  std::vector<std::int64_t> offsets(std::size_t(last) + 1);
  for (int i = 1; i <= last + 1; ++i) offsets[std::size_t(i) - 1] = plan.planeStart(i) * perMode;
  gaussStreamStates(seed, offsets, states_);
}

void ClassicPlaneDeviates::operator()(int i, std::span<float> x) const {
  RandomStream s = states_[std::size_t(i) - 1];
  gaussDeviates(s, x);
}

}  // namespace wind::detail
