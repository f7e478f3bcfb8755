#include "vorlan/plane_statistics.hpp"

#include <algorithm>
#include <cmath>

#include "vorlan/run_record.hpp"

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

}  // namespace wind
