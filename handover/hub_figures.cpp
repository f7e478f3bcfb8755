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

// Population variance over time of the series InflowWind reads at the hub:
// the four lines interpolated bilinearly, 1/2 across and 1 - t, t up.
double hubVariance(const HubLines& lines, double t) {
  const std::size_t n = lines[0].size();
  if (n == 0) return 0.0;
  const auto at = [&](std::size_t i) {
    return 0.5 * ((1.0 - t) * double(lines[0][i]) + t * double(lines[1][i])) +
           0.5 * ((1.0 - t) * double(lines[2][i]) + t * double(lines[3][i]));
  };
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) sum += at(i);
  const double mean = sum / double(n);
  double sumSq = 0.0;
  for (std::size_t i = 0; i < n; ++i) sumSq += (at(i) - mean) * (at(i) - mean);
  return sumSq / double(n);
}

}  // namespace

HubPoints hubPoints(const BoxGrid& grid, const GridPlacement& placement) {
  // A hub on a row (--hub-on-row) may come out a rounding below it.
  const double rows = (placement.hubHeight - placement.gridBottom) / spacingUp(grid);
  const std::int64_t k0 = std::clamp<std::int64_t>(
      std::int64_t(std::floor(rows + kOnRowTolerance)), 0, grid.N3 - 2);
  return {grid.N2 / 2 - 1, k0, std::clamp(rows - double(k0), 0.0, 1.0)};
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

HubFigures hubFigures(const std::array<HubLines, 3>& lines, HubPoints at,
                      const std::array<int, 3>& components, int nComp,
                      const GridPlacement& placement, std::optional<double> sigma1) {
  HubFigures h;
  h.height = placement.hubHeight;
  h.nComp = nComp;
  const double U = placement.windSpeed;
  std::array<double, 3> target{};
  if (sigma1) target = iecTargetSigmas(*sigma1);
  std::array<double, 3> sigmaT{}, tiT{};
  for (int c = 0; c < nComp; ++c) {
    h.components[c] = components[c] + 1;
    h.std[c] = std::sqrt(hubVariance(lines[c], at.t));
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
  return hubFigures(lines, at, components, nComp, placement, sigma1);
}

HubFigures withBoxStatistics(HubFigures h, const std::array<double, 3>& boxStd, double U) {
  for (int c = 0; c < h.nComp; ++c) {
    h.boxStd[c] = boxStd[c];
    h.boxTI[c] = boxStd[c] / U;
  }
  return h;
}

}  // namespace wind
