#include "sources/site_params.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "numerics/interpolation.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

// Wind profile.
constexpr double kProfileCorrection = 34.5;  // Coriolis term of the neutral profile
constexpr float kCharnock = 0.01667f;
constexpr float kGravity = 9.81f;

// Start of the secant iteration: the plain log law with z0 = 1 mm, its 0.4 in
// double precision (the profile itself divides by the float kVonKarman).
constexpr double kStartKappa = 0.4;
constexpr double kStartRoughnessInverse = 1000.0;
constexpr double kStartLow = 0.6;
constexpr double kStartHigh = 1.6;
constexpr float kUstarTolerance = 1.0e-6f;

// Kaimal (SpecType 0) and Simiu (SpecType 1) spectra.
constexpr float kKaimalGamma = 3.886f;
constexpr double kKaimalLength = 0.590467;
constexpr double kKaimalLevel = 3.1776;
constexpr float kSimiuGamma = 3.817f;
constexpr double kSimiuLength = 0.78677;
constexpr double kSimiuLevel = 2.8209;
constexpr double kLevelHeightExponent = -2.0 / 3.0;


// Boundary of the region the ESDU tables leave out: light winds high up.
constexpr float kEsduLightWind = 15.0f;
constexpr float kEsduLightWindTop = 180.0f;

// A status without model parameters.
SiteParamsResult failed(int status) { return {.status = status, .params = {}}; }

double squareOrZero(float v) { return v == 0.0f ? 0.0 : static_cast<double>(v) * v; }

// Bicubic interpolation at (z, U) in one (speed, height) slice T(u, h) of an
// ESDU table, in the cell with lower indices iU (speed) and iz (height). The
// first coordinate is the height, the second the speed. Corner derivatives are
// central differences over two grid steps inside the table and one-sided
// differences over one step at its edges.
template <class Slice>
float esduBicubic(const Slice& T, int iU, int iz, float U, float z) {
  const auto& G = esduSpeedGrid;
  const auto& Z = esduHeightGrid;
  const int cornerH[4] = {iz, iz + 1, iz + 1, iz};
  const int cornerU[4] = {iU, iU, iU + 1, iU + 1};
  const auto lo = [](const auto& grid, int i) { return grid[static_cast<std::size_t>(i)]; };
  BicubicCell cell{lo(Z, iz), lo(Z, iz + 1), lo(G, iU), lo(G, iU + 1), {}, {}, {}, {}};
  BicubicCorners &y = cell.y, &y1 = cell.y1, &y2 = cell.y2, &y12 = cell.y12;
  for (std::size_t k = 0; k < 4; ++k) {
    const int h = cornerH[k], u = cornerU[k];
    const int hp = std::min(h + 1, kEsduHeights - 1), hm = std::max(h - 1, 0);
    const int up = std::min(u + 1, kEsduSpeeds - 1), um = std::max(u - 1, 0);
    const double dZ = static_cast<double>(Z[static_cast<std::size_t>(hp)]) -
                      Z[static_cast<std::size_t>(hm)];
    const double dG = static_cast<double>(G[static_cast<std::size_t>(up)]) -
                      G[static_cast<std::size_t>(um)];
    y[k] = static_cast<float>(T(u, h));
    y1[k] = static_cast<float>((T(u, hp) - T(u, hm)) / dZ);
    y2[k] = static_cast<float>((T(up, h) - T(um, h)) / dG);
    y12[k] = static_cast<float>((T(up, hp) - T(um, hp) - T(up, hm) + T(um, hm)) / (dG * dZ));
  }
  return bcuint(cell, z, U).ansy;
}

// Fatal unless v is finite and positive.
void requirePositive(float v, const char* what) {
  if (!(std::isfinite(v) && v > 0.0f))
    fatalError(std::string("The ") + what + " must be a positive number: " + formatG6(v));
}

// The profile U = (u*/kappa) ln(z/z0) + 34.5 f z / kappa has a positive root u*
// only if U exceeds its Coriolis term.
void checkCoriolisTerm(float U, float z) {
  const double coriolisTerm =
      kProfileCorrection * kCoriolisParameter * static_cast<double>(z) / kVonKarman;
  if (!(static_cast<double>(U) > coriolisTerm))
    fatalError("The wind speed U0 = " + formatG6(U) + " m/s is too low for the height z = " +
               formatG6(z) + " m: the wind profile needs more than " +
               formatG6(static_cast<float>(coriolisTerm)) + " m/s there");
}

// Backstop for the secant solution: a site whose profile root is not a
// positive friction velocity (for example a height far below a millimetre at
// sea, where the iteration can settle on the wrong branch) has no valid model.
void checkFrictionVelocity(float ustar, float U, float z) {
  if (!(std::isfinite(ustar) && ustar > 0.0f))
    fatalError("The wind profile has no positive friction velocity for U0 = " + formatG6(U) +
               " m/s at z = " + formatG6(z) + " m (u* = " + formatG6(ustar) + ")");
}

// Turns a non-zero status of siteParams into a fatal message.
void failOnStatus(int status, float U, float z, float z0) {
  switch (status) {
    case 0:
      return;
    case 1:
      fatalError("SpecType 2 (ESDU) has no data for wind speeds below 15 m/s above 180 m: U0 = " +
                 formatG6(U) + ", z = " + formatG6(z));
    case 2:
      fatalError("The wind speed U0 = " + formatG6(U) +
                 " is outside the SpecType 2 (ESDU) table, 10 to 80 m/s");
    case 3:
      fatalError("The height z = " + formatG6(z) +
                 " is outside the SpecType 2 (ESDU) table, 5 to 300 m");
    case 4:
      fatalError("The roughness length z0 = " + formatG6(z0) +
                 " is outside the SpecType 2 (ESDU) table, 0.0001 to 1 m");
    default:
      fatalError(kSpecTypeMessage);
  }
}

}  // namespace

void checkSpecType(int SpecType, const char* message) {
  if (SpecType < 0 || SpecType > 2) fatalError(message);
}

double profileFactor(float f, float z, float z0, float ustar) {
  return (std::log(static_cast<double>(z) / z0) +
          kProfileCorrection * f * static_cast<double>(z) / ustar) /
         static_cast<double>(kVonKarman);
}

float seaRoughness(float ustar) {
  return static_cast<float>(static_cast<double>(kCharnock) * squareOrZero(ustar) / kGravity);
}

double landProfileResidual(float f, float U, float z, float z0, float ustar) {
  return static_cast<double>(ustar) * profileFactor(f, z, z0, ustar) - U;
}

double seaProfileResidual(float f, float U, float z, float ustar) {
  return static_cast<double>(ustar) * profileFactor(f, z, seaRoughness(ustar), ustar) - U;
}

namespace {

// Secant solution of a profile residual from the log-law estimate; false
// when the iteration does not converge.
template <class Residual>
bool solveFrictionVelocity(const Residual& residual, float U, float z, float& ustar) {
  const double est = kStartKappa * U /
                     std::log(kStartRoughnessInverse * static_cast<double>(z));
  return rtsecStatus(residual, static_cast<float>(kStartLow * est),
                     static_cast<float>(kStartHigh * est), kUstarTolerance, ustar);
}

template <class Residual>
float solveFrictionVelocity(const Residual& residual, float U, float z) {
  float ustar = 0.0f;
  if (!solveFrictionVelocity(residual, U, z, ustar))
    fatalError("Maximum number of iterations exceeded in rtsec");
  return ustar;
}

}  // namespace

float frictionVelocityLand(float f, float U, float z, float z0) {
  return solveFrictionVelocity(
      [=](float ustar) { return landProfileResidual(f, U, z, z0, ustar); }, U, z);
}

float frictionVelocitySea(float f, float U, float z) {
  return solveFrictionVelocity([=](float ustar) { return seaProfileResidual(f, U, z, ustar); },
                               U, z);
}

namespace detail {

SiteParamsResult esduParams(float U, float z, float z0, bool isSea,
                            const EsduLandTable& landTable) {
  const int jU = tableLocate(esduSpeedGrid, U);
  if (U < kEsduLightWind && z > kEsduLightWindTop) return failed(1);
  if (jU == 0 || jU == kEsduSpeeds) return failed(2);
  const int jz = tableLocate(esduHeightGrid, z);
  if (jz == 0 || jz == kEsduHeights) return failed(3);
  int jr = 0;
  if (!isSea) {
    jr = tableLocate(esduRoughnessGrid, z0);
    if (jr == 0 || jr == kEsduRoughnesses) return failed(4);
  }
  const int iU = jU - 1, iz = jz - 1, ir = jr - 1;

  float value[3];
  if (isSea) {
    for (int c = 0; c < 3; ++c) {
      const auto slice = [c](int u, int h) {
        return esduSeaTable[static_cast<std::size_t>(u)][static_cast<std::size_t>(h)]
                           [static_cast<std::size_t>(c)];
      };
      value[c] = esduBicubic(slice, iU, iz, U, z);
    }
  } else {
    const auto& T = landTable;
    const auto& R = esduRoughnessGrid;
    const double rLo = R[static_cast<std::size_t>(ir)];
    const double rHi = R[static_cast<std::size_t>(ir + 1)];
    for (int c = 0; c < 3; ++c) {
      float v[2];
      for (int k = 0; k < 2; ++k) {
        const auto slice = [&T, c, r = ir + k](int u, int h) {
          return T[static_cast<std::size_t>(u)][static_cast<std::size_t>(h)]
                  [static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
        };
        v[k] = esduBicubic(slice, iU, iz, U, z);
      }
      // Linear in z0 itself, not in its logarithm.
      value[c] = static_cast<float>(((rHi - z0) * v[0] + (z0 - rLo) * v[1]) / (rHi - rLo));
    }
  }
  return {.status = 0,
          .params = {.alphaeps = value[kEsduAlphaeps], .L = value[kEsduL],
                     .Gamma = value[kEsduGamma]}};
}

}  // namespace detail

namespace {

float frictionVelocity(float U, float z, float z0, bool isSea) {
  return isSea ? frictionVelocitySea(kCoriolisParameter, U, z)
               : frictionVelocityLand(kCoriolisParameter, U, z, z0);
}

// The same for the drivers: a profile whose iteration does not converge (a
// z0 close to z, a wind far beyond the surface layer's) ends the run naming
// the site's values.
float checkedFrictionVelocity(float U, float z, float z0, bool isSea) {
  const float f = kCoriolisParameter;
  float ustar = 0.0f;
  const bool converged =
      isSea ? solveFrictionVelocity([=](float u) { return seaProfileResidual(f, U, z, u); }, U, z,
                                    ustar)
            : solveFrictionVelocity([=](float u) { return landProfileResidual(f, U, z, z0, u); },
                                    U, z, ustar);
  if (!converged) {
    const std::string site = "U0 = " + formatG6(U) + " m/s at z = " + formatG6(z) + " m" +
                             (isSea ? std::string() : " over z0 = " + formatG6(z0) + " m");
    fatalError("The wind profile's friction velocity for " + site +
               " cannot be found (its secant iteration, rtsec, does not converge in " +
               std::to_string(kRtsecMaxSteps) + " steps): such a site is beyond the surface "
               "layer the profile describes; give " +
               (isSea ? std::string("a wind speed of a few to a few tens of m/s")
                      : std::string("a roughness length well below the height (z/z0 = " +
                                    formatG6(double(z) / double(z0)) +
                                    " here) and a wind speed of a few to a few tens of m/s")));
  }
  return ustar;
}

// siteParams once the friction velocity of the site is known.
SiteParamsResult paramsForUstar(float ustar, float U, float z, float z0, int SpecType,
                                bool isSea) {
  const double levelHeight = std::pow(static_cast<double>(z), kLevelHeightExponent);
  switch (SpecType) {
    case 0:
      return {.status = 0,
              .params = {.alphaeps = static_cast<float>(kKaimalLevel * squareOrZero(ustar) *
                                                        levelHeight),
                         .L = static_cast<float>(kKaimalLength * z),
                         .Gamma = kKaimalGamma}};
    case 1:
      return {.status = 0,
              .params = {.alphaeps = static_cast<float>(kSimiuLevel * squareOrZero(ustar) *
                                                        levelHeight),
                         .L = static_cast<float>(kSimiuLength * z),
                         .Gamma = kSimiuGamma}};
    case 2:
      return detail::esduParams(U, z, z0, isSea, esduLandTable);
    default:
      return failed(5);
  }
}

// The checked routines share this tail: the profile solved once, its root
// checked, then the status turned into a message, and last the model: the
// level follows the wind (through u*), the length scale the height.
ModelParameters checkedSiteParams(float U, float z, float z0, int SpecType, bool isSea) {
  checkCoriolisTerm(U, z);
  const float ustar = checkedFrictionVelocity(U, z, z0, isSea);
  checkFrictionVelocity(ustar, U, z);
  const SiteParamsResult r = paramsForUstar(ustar, U, z, z0, SpecType, isSea);
  failOnStatus(r.status, U, z, z0);
  checkModelParameters(r.params, {namedValue("U0", U), namedValue("z", z), ""});
  return r.params;
}

}  // namespace

std::string namedValue(const char* name, float value) {
  return std::string(name) + " = " + formatG6(value);
}

void checkModelParameters(const ModelParameters& p, const ModelInputs& inputs) {
  const auto fail = [](const std::string& parameter, const std::string& from,
                       const std::string& requirement) {
    fatalError(parameter + (from.empty() ? "" : " that " + from + " gives") + requirement);
  };
  if (!(std::isfinite(p.L) && p.L >= kMinLengthScale))
    fail("The length scale L = " + formatG6(p.L) + " m", inputs.length,
         " is below " + formatG6(kMinLengthScale) + " m, the smallest the model takes");
  if (!(std::isfinite(p.alphaeps) && p.alphaeps >= std::numeric_limits<float>::min()))
    fail("The spectral level alphaeps = " + formatG6(p.alphaeps), inputs.level,
         " has to be a positive finite number");
  if (!(std::fabs(p.Gamma) <= kMaxAbsGamma))
    fail("The shear parameter Gamma = " + formatG6(p.Gamma), inputs.shear,
         " is outside -" + formatG6(kMaxAbsGamma) + " to " + formatG6(kMaxAbsGamma) +
             ", the range the model's integrals converge in");
}

SiteParamsResult siteParams(float U, float z, float z0, int SpecType, bool isSea) {
  return paramsForUstar(frictionVelocity(U, z, z0, isSea), U, z, z0, SpecType, isSea);
}

SiteParamsResult landParams(float U, float z, float z0, int SpecType) {
  return siteParams(U, z, z0, SpecType, false);
}

SiteParamsResult seaParams(float U, float z, int SpecType) {
  return siteParams(U, z, 0.0f, SpecType, true);
}

ModelParameters checkedLandParams(float U, float z, float z0, int SpecType) {
  checkSpecType(SpecType);
  requirePositive(U, "mean wind speed U0");
  requirePositive(z, "height z");
  requirePositive(z0, "roughness length z0");
  if (!(z > z0))
    fatalError("The height z = " + formatG6(z) + " must lie above the roughness length z0 = " +
               formatG6(z0));
  return checkedSiteParams(U, z, z0, SpecType, false);
}

ModelParameters checkedSeaParams(float U, float z, int SpecType) {
  checkSpecType(SpecType);
  requirePositive(U, "mean wind speed U0");
  requirePositive(z, "height z");
  return checkedSiteParams(U, z, 0.0f, SpecType, true);
}

}  // namespace wind
