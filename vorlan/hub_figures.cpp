#include "vorlan/hub_figures.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "sources/iec.hpp"
#include "vorlan/run_record.hpp"

namespace wind {

namespace {

// Population variance over time (along axis 1) of the point (j, k).
double timeVariance(std::span<const float> v, const BoxGrid& g, std::int64_t j, std::int64_t k) {
  const std::int64_t n1 = g.N1, stride = std::int64_t(g.N2) * g.N3, first = j * g.N3 + k;
  const double shift = v[std::size_t(first)];
  double s = 0.0, s2 = 0.0;
  for (std::int64_t i = 0; i < n1; ++i) {
    const double d = double(v[std::size_t(i * stride + first)]) - shift;
    s += d;
    s2 += d * d;
  }
  const double m = s / double(n1);
  return std::max(0.0, s2 / double(n1) - m * m);
}

}  // namespace

HubFigures hubFigures(const std::array<std::span<const float>, 3>& values,
                      const std::array<int, 3>& components, int nComp, const BoxGrid& grid,
                      const GridPlacement& placement, std::optional<double> sigma1) {
  HubFigures h;
  h.height = placement.hubHeight;
  h.nComp = nComp;
  const double U = placement.windSpeed;
  const std::int64_t j0 = grid.N2 / 2 - 1;
  const double rows = (placement.hubHeight - placement.gridBottom) / spacingUp(grid);
  const std::int64_t k0 =
      std::clamp<std::int64_t>(std::int64_t(std::floor(rows)), 0, grid.N3 - 2);
  std::array<double, 3> target{};
  if (sigma1) target = iecTargetSigmas(*sigma1);
  std::array<double, 3> sigmaT{}, tiT{};
  for (int c = 0; c < nComp; ++c) {
    const std::span<const float> v = values[c];
    h.components[c] = components[c] + 1;
    double var = 0.0;
    for (std::int64_t j = j0; j <= j0 + 1; ++j)
      for (std::int64_t k = k0; k <= k0 + 1; ++k) var += timeVariance(v, grid, j, k);
    h.std[c] = std::sqrt(var / 4.0);
    h.TI[c] = h.std[c] / U;
    h.boxStd[c] = componentStatistics(v.data(), std::int64_t(v.size())).std;
    h.boxTI[c] = h.boxStd[c] / U;
    sigmaT[c] = target[components[c]];
    tiT[c] = sigmaT[c] / U;
  }
  if (sigma1) {
    h.sigmaTarget = sigmaT;
    h.TITarget = tiT;
  }
  return h;
}

}  // namespace wind
