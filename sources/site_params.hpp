#pragma once
// Parameters of the spectral tensor model for a land or sea site.
//
// From the mean wind speed U at height z, and for land the roughness length z0,
// these routines derive the shear-distortion parameter Gamma, the length scale
// L (m) and the spectral level alphaeps (m^(4/3) s^-2) that match the model to
// one of three one-point spectrum families (SpecType):
//
//   0  Kaimal:  Gamma = 3.886, L = 0.590467 z, alphaeps = 3.1776 u*^2 z^(-2/3)
//   1  Simiu:   Gamma = 3.817, L = 0.78677 z,  alphaeps = 2.8209 u*^2 z^(-2/3)
//   2  ESDU:    bicubic interpolation in height and wind speed in the tables of
//               esdu_tables.hpp and, for land, linear interpolation in z0.
//
// The friction velocity u* is always solved first, for every SpecType, from the
// neutral surface-layer profile with a Coriolis correction (f = 1e-4 s^-1),
//   U = (u*/kappa) (ln(z/z0) + 34.5 f z / u*),     kappa = 0.4,
// with z0 = 0.01667 u*^2 / 9.81 at sea (Charnock's relation), by the secant
// method (rtsec) started at 0.6 and 1.6 times the log-law estimate
// 0.4 U / ln(1000 z) with a step tolerance of 1e-6 m/s. Non-convergence ends
// the run with "Maximum number of iterations exceeded in rtsec" (the checked
// routines below name the site instead: "The wind profile's friction velocity
// for U0 = 11.4 m/s at z = 90 m over z0 = 89 m cannot be found ...").
//
// Status codes of siteParams, landParams and seaParams (the model parameters
// of the result are derived only on 0 and stay zero otherwise; the tests run in
// this order, the first that holds decides):
//   5  SpecType not 0, 1 or 2 (decided after u* has been solved)
//   1  SpecType 2, U < 15 m/s and z > 180 m
//   2  SpecType 2, U outside 10 .. 80 m/s
//   3  SpecType 2, z outside 5 .. 300 m
//   4  SpecType 2, land, z0 outside 0.0001 .. 1 m
//   0  success
// The table end points are accepted (U = 80, z = 300, z0 = 1).
//
// The drivers call checkedLandParams and checkedSeaParams: they refuse
// non-physical sites with a message naming the value (non-positive or
// non-finite U, z, z0; z not above z0; a wind too weak for the Coriolis term of
// the profile at that height, which would give a negative u*; any site whose
// solved u* is not positive) and turn every non-zero status into a fatal
// message naming the value out of range.
//
// No state is kept between calls; nothing is printed except by fatalError.

#include <string>

#include "numerics/constants.hpp"
#include "sources/esdu_tables.hpp"
#include "tensor/model.hpp"

namespace wind {

inline constexpr float kCoriolisParameter = 1.0e-4f;

// (ln(z/z0) + 34.5 f z / ustar) / kappa: U(z) = ustar * profileFactor.
double profileFactor(float f, float z, float z0, float ustar);

// Charnock roughness of the sea surface, 0.01667 ustar^2 / 9.81 (0 for ustar 0).
float seaRoughness(float ustar);

// Residuals of the wind profile, ustar * profileFactor - U, whose zero is the
// friction velocity; at sea z0 = seaRoughness(ustar) for every trial ustar.
double landProfileResidual(float f, float U, float z, float z0, float ustar);
double seaProfileResidual(float f, float U, float z, float ustar);

// Friction velocity u* (m/s) of a land or sea site.
float frictionVelocityLand(float f, float U, float z, float z0);
float frictionVelocitySea(float f, float U, float z);

// What the raw routines return: the status as above and, on status 0, the
// model parameters of the site (all zero on any other status).
struct SiteParamsResult {
  int status = 0;
  ModelParameters params;
};

SiteParamsResult siteParams(float U, float z, float z0, int SpecType, bool isSea);
SiteParamsResult landParams(float U, float z, float z0, int SpecType);
SiteParamsResult seaParams(float U, float z, int SpecType);

// Fatal with message unless SpecType is 0, 1 or 2; the default message names
// the three spectrum families.
inline constexpr const char* kSpecTypeMessage =
    "The Spectrum type should be 0, 1, or 2 corresponding to Kaimal, Simiu or ESDU";
void checkSpecType(int SpecType, const char* message = kSpecTypeMessage);

// What the drivers call: as landParams and seaParams, but a site outside the
// model's range ends the run through fatalError with a message naming the value;
// the parameters derived are checked by checkModelParameters, with the level
// blamed on U0 and the length scale on z.
ModelParameters checkedLandParams(float U, float z, float z0, int SpecType);
ModelParameters checkedSeaParams(float U, float z, int SpecType);

// The input values that a source's model parameters come from, for the
// messages of checkModelParameters: each is the text naming the value to blame
// ("z_hub = 1e-10"), or empty when the parameter is itself the input (basic).
struct ModelInputs {
  std::string level;   // alphaeps
  std::string length;  // L
  std::string shear;   // Gamma
};

// Ends the run through fatalError unless the parameters lie in the range the
// tensor routines are made for (tensor/model.hpp), checked in this order:
//   L finite and at least kMinLengthScale:
//     "The length scale L = <L> m [that <length> gives] is below 0.001 m, the
//      smallest the model takes"
//   alphaeps positive, finite and a normal float:
//     "The spectral level alphaeps = <a> [that <level> gives] has to be a
//      positive finite number"
//   |Gamma| at most kMaxAbsGamma:
//     "The shear parameter Gamma = <G> [that <shear> gives] is outside -10 to
//      10, the range the model's integrals converge in"
// Every source calls it where its parameters are read or derived, so that a
// bad model is refused before either program writes anything.
void checkModelParameters(const ModelParameters& p, const ModelInputs& inputs = {});

// "<name> = <value>" with the value as the programs print it (%.6g).
std::string namedValue(const char* name, float value);

namespace detail {

// The SpecType 2 step of siteParams with the land table passed in (read only
// when !isSea). Status 0 to 4 as above.
SiteParamsResult esduParams(float U, float z, float z0, bool isSea,
                            const EsduLandTable& landTable);

}  // namespace detail

}  // namespace wind
