#include "simulation/plane_statistics.hpp"

#include <algorithm>
#include <cmath>
#include <vector>


namespace wind {

PlaneSums planeSums(const float* plane, std::int64_t n, double shift) {
  PlaneSums s;
  for (std::int64_t i = 0; i < n; ++i) {
    const double x = plane[i];
    const double d = x - shift;
    s.sum += d;
    s.sumSq += d * d;
    s.min = std::min(s.min, x);
    s.max = std::max(s.max, x);
  }
  return s;
}

ComponentStatistics combinePlaneSums(std::span<const PlaneSums> planes, double shift,
                                     std::int64_t count) {
  ComponentStatistics s;
  s.count = count;
  if (count <= 0) return s;
  double sum = 0.0, sumSq = 0.0, lo = planes[0].min, hi = planes[0].max;
  for (const PlaneSums& p : planes) {
    sum += p.sum;
    sumSq += p.sumSq;
    lo = std::min(lo, p.min);
    hi = std::max(hi, p.max);
  }
  const double meanShift = sum / double(count);
  s.mean = shift + meanShift;
  s.std = std::sqrt(std::max(0.0, sumSq / double(count) - meanShift * meanShift));
  s.min = lo;
  s.max = hi;
  return s;
}

ComponentStatistics componentStatistics(const float* data, std::int64_t n) {
  if (n <= 0) return ComponentStatistics{};
  const double shift = data[0];
  const PlaneSums whole = planeSums(data, n, shift);
  return combinePlaneSums(std::span<const PlaneSums>(&whole, 1), shift, n);
}

std::array<ComponentStatistics, 3> fieldStatistics(const FieldArrays& fields) {
  std::array<ComponentStatistics, 3> stats{};
  for (int c = 0; c < fields.nComp; ++c) {
    const std::span<const float> v = fields.values(c);
    if (v.empty()) continue;
    // Plane by plane (simulation/plane_statistics.hpp), as a run cut into slabs
    // of planes computes them.
    const std::int64_t planes = fields.fieldDim == 1 ? std::int64_t(v.size())
                                : fields.fieldDim == 2 ? fields.plane[c].rowHi()
                                                       : fields.box[c].rowHi();
    const std::int64_t n = std::int64_t(v.size()) / planes;
    const double shift = v[0];
    std::vector<PlaneSums> sums(static_cast<std::size_t>(planes));
#pragma omp parallel for schedule(static)
    for (std::int64_t p = 0; p < planes; ++p)
      sums[std::size_t(p)] = planeSums(v.data() + p * n, n, shift);
    stats[c] = combinePlaneSums(sums, shift, std::int64_t(v.size()));
  }
  return stats;
}

}  // namespace wind
