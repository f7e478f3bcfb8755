#include "handover/iec_scaling.hpp"

#include <cmath>
#include <cstdint>
#include <string>

#include "simulation/plane_statistics.hpp"
#include "sources/iec.hpp"
#include "support/fatal_error.hpp"

namespace wind {

std::array<double, 3> iecStandardDeviations(const std::array<std::span<float>, 3>& values,
                                            int nComp, std::int64_t count,
                                            const PlaneReduction& reduction) {
  std::array<double, 3> sigma{};
  for (int c = 0; c < nComp; ++c) {
    const std::span<float> v = values[std::size_t(c)];
    // componentStatistics' sum: about the box's first value, one running sum
    // in storage order, continued by each process in turn.
    const double shift = reduction.fromFirstPlane(v.empty() ? 0.0 : double(v[0]));
    const PlaneSums whole = reduction.carried([&](PlaneSums& s) {
      addToSums(s, std::int64_t(v.size()), shift,
                [&](std::int64_t e) { return double(v[std::size_t(e)]); });
    });
    sigma[std::size_t(c)] = combinePlaneSums(std::span<const PlaneSums>(&whole, 1), shift, count).std;
  }
  return sigma;
}

IecScaling iecScaling(const std::array<double, 3>& sigma, const std::array<int, 3>& components,
                      int nComp, double sigma1) {
  static constexpr const char* kNames[] = {"u", "v", "w"};
  const std::array<double, 3> targets = iecTargetSigmas(sigma1);
  IecScaling s;
  s.nComp = nComp;
  for (int c = 0; c < nComp; ++c) {
    const int comp = components[std::size_t(c)];
    const double sd = sigma[std::size_t(c)];
    if (!(sd > 0.0) || !std::isfinite(sd))
      fatalError(std::string("--scale iec: component ") + kNames[comp] +
                 " has no variance to scale");
    ComponentScale& cs = s.components[std::size_t(c)];
    cs.component = comp + 1;
    cs.std = sd;
    cs.target = targets[std::size_t(comp)];
    cs.factor = cs.target / cs.std;
  }
  return s;
}

void applyIecScaling(const IecScaling& s, const std::array<std::span<float>, 3>& values) {
  for (int c = 0; c < s.nComp; ++c) {
    const std::span<float> v = values[std::size_t(c)];
    const double f = s.components[std::size_t(c)].factor;
    const std::int64_t n = std::int64_t(v.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t e = 0; e < n; ++e) v[std::size_t(e)] = static_cast<float>(f * v[std::size_t(e)]);
  }
}

IecScaling scaleToIecTargets(const std::array<std::span<float>, 3>& values,
                             const std::array<int, 3>& components, int nComp, double sigma1) {
  const std::int64_t count = std::int64_t(values[0].size());
  const IecScaling s = iecScaling(
      iecStandardDeviations(values, nComp, count, PlaneReduction()), components, nComp,
      sigma1);
  applyIecScaling(s, values);
  return s;
}

}  // namespace wind
