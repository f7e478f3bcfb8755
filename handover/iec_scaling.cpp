#include "handover/iec_scaling.hpp"

#include <cmath>
#include <cstdint>
#include <string>

#include "simulation/plane_statistics.hpp"
#include "sources/iec.hpp"
#include "support/fatal_error.hpp"

namespace wind {

IecScaling scaleToIecTargets(const std::array<std::span<float>, 3>& values,
                             const std::array<int, 3>& components, int nComp, double sigma1) {
  static constexpr const char* kNames[] = {"u", "v", "w"};
  const std::array<double, 3> targets = iecTargetSigmas(sigma1);
  IecScaling s;
  s.nComp = nComp;
  for (int c = 0; c < nComp; ++c) {
    const std::span<float> v = values[c];
    const int comp = components[c];
    const ComponentStatistics st = componentStatistics(v.data(), std::int64_t(v.size()));
    if (!(st.std > 0.0) || !std::isfinite(st.std))
      fatalError(std::string("--scale iec: component ") + kNames[comp] +
                 " has no variance to scale");
    ComponentScale& cs = s.components[c];
    cs.component = comp + 1;
    cs.std = st.std;
    cs.target = targets[comp];
    cs.factor = cs.target / cs.std;
    const double f = cs.factor;
    const std::int64_t n = std::int64_t(v.size());
#pragma omp parallel for schedule(static)
    for (std::int64_t e = 0; e < n; ++e) v[std::size_t(e)] = static_cast<float>(f * v[std::size_t(e)]);
  }
  return s;
}

}  // namespace wind
