#include "synthesis/constraints.hpp"

#include <cmath>
#include <numbers>

namespace wind {

AxisPoint axisPoint(double metres, double spacing) {
  AxisPoint p;
  p.spacings = metres / spacing;
  const double nearest = std::round(p.spacings);
  if (std::fabs(p.spacings - nearest) <= kNodeTolerance && std::fabs(nearest) < 1e9) {
    p.spacings = nearest;
    p.node = true;
    p.index = static_cast<int>(nearest);
  }
  return p;
}

bool insideAxis(const AxisPoint& p, int n) {
  return p.spacings >= 0.0 && p.spacings <= double(n - 1);
}

void interpolationWeights(double p, int n, std::span<double> w) {
  const double twoPi = 2.0 * std::numbers::pi;
  for (int k = 0; k < n; ++k) {
    double s = 1.0;
    for (int m = 1; m < n / 2; ++m) s += 2.0 * std::cos(twoPi * double(m) * (p - k) / n);
    s += std::cos(std::numbers::pi * p) * (k % 2 == 0 ? 1.0 : -1.0);
    w[std::size_t(k)] = s / n;
  }
}

}  // namespace wind
