#include "handover/mean_profile.hpp"

#include <cmath>

#include "sources/site_params.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

// The whole text as a finite decimal number.
bool parseNumber(const std::string& text, double& v) {
  return parseDecimal(text, v) && std::isfinite(v);
}

}  // namespace

MeanProfile parseMeanProfile(const std::string& text) {
  MeanProfile p;
  double v = 0.0;
  if (text == "none") return p;
  if (text.rfind("power:", 0) == 0 && parseNumber(text.substr(6), v) && v >= 0.0 && v <= 1.0) {
    p.kind = ProfileKind::power;
    p.alpha = v;
    return p;
  }
  if (text.rfind("log:", 0) == 0 && parseNumber(text.substr(4), v) && v > 0.0) {
    p.kind = ProfileKind::log;
    p.z0 = v;
    return p;
  }
  fatalError("--profile: '" + text +
             "' is not a profile (power:ALPHA with ALPHA from 0 to 1, log:Z0 with Z0 > 0 in "
             "metres, or none)");
}

MeanProfile defaultMeanProfile(const SimulationInput& in) {
  MeanProfile p;
  switch (in.source) {
    case ParameterSource::land:
      p.kind = ProfileKind::log;
      p.z0 = shortestDecimal(in.z0);
      return p;
    case ParameterSource::sea: {
      const float ustar = frictionVelocitySea(kCoriolisParameter, in.U0, in.z);
      p.kind = ProfileKind::log;
      p.z0 = seaRoughness(ustar);
      return p;
    }
    default:
      p.kind = ProfileKind::power;
      p.alpha = kIecPowerLawExponent;
      return p;
  }
}

double meanWindSpeed(const MeanProfile& p, double U, double zHub, double z) {
  switch (p.kind) {
    case ProfileKind::power: return U * std::pow(z / zHub, p.alpha);
    case ProfileKind::log: return U * std::log(z / p.z0) / std::log(zHub / p.z0);
    case ProfileKind::none: break;
  }
  return U;
}

void checkMeanProfile(const MeanProfile& p, const GridPlacement& placement) {
  if (p.kind != ProfileKind::log) return;
  if (!(p.z0 < placement.gridBottom) || !(p.z0 < placement.hubHeight))
    fatalError("--profile log:" + shortestText(p.z0) +
               ": the roughness length must lie below the grid's lowest row (" +
               formatG6(placement.gridBottom) + " m) and the hub");
}

std::string meanProfileText(const MeanProfile& p) {
  switch (p.kind) {
    case ProfileKind::power: return "power:" + shortestText(p.alpha);
    case ProfileKind::log: return "log:" + shortestText(p.z0);
    case ProfileKind::none: break;
  }
  return "none";
}

}  // namespace wind
