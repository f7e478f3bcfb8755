#include "handover/hub_figures.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "simulation/plane_statistics.hpp"
#include "sources/iec.hpp"

namespace wind {

namespace {

// Rows (in spacings dz) within which the hub counts as on a row.
constexpr double kOnRowTolerance = 1e-9;

// Population variance of a time series, about its first value so that a large
// mean does not cancel the variance.
double timeVariance(const std::vector<float>& line) {
  if (line.empty()) return 0.0;
  const PlaneSums s = planeSums(line.data(), std::int64_t(line.size()), line.front());
  const double n = double(line.size());
  const double m = s.sum / n;
  return std::max(0.0, s.sumSq / n - m * m);
}

}  // namespace

HubPoints hubPoints(const BoxGrid& grid, const GridPlacement& placement) {
  // A hub on a row (--hub-on-row) may come out a rounding below it.
  const double rows = (placement.hubHeight - placement.gridBottom) / spacingUp(grid);
  return {grid.N2 / 2 - 1,
          std::clamp<std::int64_t>(std::int64_t(std::floor(rows + kOnRowTolerance)), 0,
                                   grid.N3 - 2)};
}

void appendHubLines(std::span<const float> block, std::int64_t n, const BoxGrid& grid,
                    HubPoints at, HubLines& lines) {
  const std::int64_t stride = std::int64_t(grid.N2) * grid.N3;
  int p = 0;
  for (std::int64_t j = at.j0; j <= at.j0 + 1; ++j)
    for (std::int64_t k = at.k0; k <= at.k0 + 1; ++k, ++p)
      for (std::int64_t i = 0; i < n; ++i)
        lines[std::size_t(p)].push_back(block[std::size_t(i * stride + j * grid.N3 + k)]);
}

HubFigures hubFigures(const std::array<HubLines, 3>& lines, const std::array<int, 3>& components,
                      int nComp, const GridPlacement& placement, std::optional<double> sigma1) {
  HubFigures h;
  h.height = placement.hubHeight;
  h.nComp = nComp;
  const double U = placement.windSpeed;
  std::array<double, 3> target{};
  if (sigma1) target = iecTargetSigmas(*sigma1);
  std::array<double, 3> sigmaT{}, tiT{};
  for (int c = 0; c < nComp; ++c) {
    h.components[c] = components[c] + 1;
    double var = 0.0;
    for (const std::vector<float>& line : lines[c]) var += timeVariance(line);
    h.std[c] = std::sqrt(var / 4.0);
    h.TI[c] = h.std[c] / U;
    sigmaT[c] = target[components[c]];
    tiT[c] = sigmaT[c] / U;
  }
  if (sigma1) {
    h.sigmaTarget = sigmaT;
    h.TITarget = tiT;
  }
  return h;
}

HubFigures hubFigures(const std::array<std::span<const float>, 3>& values,
                      const std::array<int, 3>& components, int nComp, const BoxGrid& grid,
                      const GridPlacement& placement, std::optional<double> sigma1) {
  std::array<HubLines, 3> lines;
  const HubPoints at = hubPoints(grid, placement);
  for (int c = 0; c < nComp; ++c) appendHubLines(values[c], grid.N1, grid, at, lines[c]);
  return hubFigures(lines, components, nComp, placement, sigma1);
}

HubFigures withBoxStatistics(HubFigures h, const std::array<double, 3>& boxStd, double U) {
  for (int c = 0; c < h.nComp; ++c) {
    h.boxStd[c] = boxStd[c];
    h.boxTI[c] = boxStd[c] / U;
  }
  return h;
}

}  // namespace wind
