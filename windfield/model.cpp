#include "windfield/model.hpp"

#include <sstream>

#include "numerics/arrays.hpp"
#include "simulation/engines.hpp"
#include "support/console.hpp"
#include "support/fatal_error.hpp"
#include "support/threads.hpp"

namespace wind {

Site readSite(ParameterSource source, const std::string& sourceValues, std::ostream& echo) {
  if (source == ParameterSource::Kaimal1d || source == ParameterSource::TwoD)
    fatalError(std::string("The ") + sourceKeyword(source) +
               " source has no spectral tensor; take basic, land, sea, terrain or iec");
  Site site;
  site.values.fieldDim = 3;
  site.values.nComp = 3;
  site.values.source = source;
  std::istringstream in(sourceValues);
  ValueReader r(in);
  readSourceValues(r, echo, site.values);
  parameterSourceStep(site.values, site.tables, echo);
  return site;
}

void onePointSpectra(const TensorModel& model, std::span<const float> k1,
                     std::array<int, 2> pair, std::span<double> out, float tol) {
  model.checkTables();
  parallelForEach(std::int64_t(k1.size()), [&](std::int64_t n) {
    std::array<int, 2> p = pair;
    out[std::size_t(n)] = phiIntk2k3(model, k1[std::size_t(n)], std::span<int, 2>(p), tol);
  });
}

void crossSpectra(const TensorModel& model, std::span<const float> k1, float sep1, float sep2,
                  std::array<int, 2> pair, std::span<std::array<double, 4>> out, float tol) {
  model.checkTables();
  parallelForEach(std::int64_t(k1.size()), [&](std::int64_t n) {
    Matrix r = matrix(0, 1, 0, 1);
    crossSpectrum(model, k1[std::size_t(n)], sep1, sep2, std::span<const int, 2>(pair),
                  kCrossSpectrumPoints, tol, r);
    out[std::size_t(n)] = {r[0][0], r[0][1], r[1][0], r[1][1]};
  });
}

double variance(const TensorModel& model, std::array<int, 2> pair, float tol) {
  model.checkTables();
  return sigma2(model, std::span<const int, 2>(pair), tol);
}

}  // namespace wind
