#include "synthesis/classic_planes.hpp"

#include <thread>

namespace wind::detail {

ClassicPlaneDeviates::ClassicPlaneDeviates(const Turb3dPlan& plan, int perMode,
                                           std::int32_t seed)
    : plan_(plan), perMode_(perMode), seed_(seed), states_(std::size_t(plan.N1)) {}

void ClassicPlaneDeviates::record() noexcept {
  RandomStream s{.gen = {}, .state = seed_};
  std::int64_t at = 0;
  for (int i = 1; i <= plan_.N1; ++i) {
    const std::int64_t offset = plan_.planeStart(i) * perMode_;
    skipGaussDeviates(s.gen, s.state, offset - at);
    at = offset;
    states_[std::size_t(i) - 1] = s;
    recorded_.store(i, std::memory_order_release);
  }
}

void ClassicPlaneDeviates::operator()(int i, std::span<float> x) const {
  while (recorded_.load(std::memory_order_acquire) < i) std::this_thread::yield();
  RandomStream s = states_[std::size_t(i) - 1];
  for (float& v : x) v = gaussDeviate(s.gen, s.state);
}

}  // namespace wind::detail
