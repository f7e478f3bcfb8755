#include "synthesis/deviate_ring.hpp"

namespace wind::detail {

DeviateRing::DeviateRing(const Turb3dPlan& plan, int first, int last, int perMode,
                         int slabPlanes)
    : plan_(plan), first_(first), last_(last), perMode_(perMode), slabPlanes_(slabPlanes) {
  std::int64_t widest = 0;
  for (int s = 0; s < slabs(); ++s)
    widest = std::max(widest, plan_.planeModes(slabFirst(s), slabLast(s)));
  for (std::vector<float>& b : buffers_) b.assign(std::size_t(widest * perMode_), 0.0f);
}

}  // namespace wind::detail
