#pragma once
// Eddy lifetime and the von Karman energy spectrum: the two scalar laws under
// every spectral velocity tensor of the library.
//
// lifeTime(x), x = |k| L, is the non-dimensional lifetime tau of an eddy of
// wave number k in uniform shear (rapid-distortion theory): shear distorts an
// eddy for the time Gamma tau(kL) / (dU/dz). Two laws are available:
//   model 1  lifeTimePowerLaw: tau = x^(-2/3), the inertial-range law. No clamp
//            and no guard: x = 0 gives +infinity.
//   model 2  lifeTimeRational: a rational approximation of
//            x^(-2/3) [2F1(1/3, 17/6; 4/3; -x^-2)]^(-1/2) (Gauss hypergeometric
//            function), within 5e-4 relative for x >= 0.005, tending to x^(-2/3)
//            for large x and to 1.205/x for small x. Arguments below 0.005 are
//            clamped, so tau(0) = tau(0.005) (about 241.03).
// Both programs use model 2 (kLifeTimeModel). The model is an explicit argument
// with that default, so there is no process-wide switch to change; tests pick
// model 1 or an unknown model, which ends the run through fatalError with
// "LifeTimeModel not implemented".
//
// The laws return tau unrounded (double); callers round when they store it.
//
// isoSpectralDensity(alphaeps, L, k^2) = alphaeps / (4 pi) (1/L^2 + k^2)^(-17/6),
// which is E(k) / (4 pi k^4) for the von Karman spectrum
// E(k) = alphaeps L^(5/3) (kL)^4 / (1 + (kL)^2)^(17/6). L = 0 gives 0.
//
// All routines are pure functions: no state, no allocation, reentrant.

#include "numerics/constants.hpp"

namespace wind {

// The lifetime law of both programs (2 = rational approximation).
inline constexpr int kLifeTimeModel = 2;

// 1/(4 pi) with pi taken in single precision (3.1415927410125732), held in
// single precision.
inline constexpr float kOneOverFourPi = static_cast<float>(1.0 / (double(kPiF) * 4.0));

// -17/6 in single precision, the exponent of the von Karman and inertial-range
// spectra.
inline constexpr float kMinusSeventeenSixthsF = -2.8333332538604736f;

// The rational law
//   tau = (1 + c)^(1/6) / x * (n0 + n1 x + n2 c) / (1 + d1 x + d2 c), c = x^2
// rounded to float, x raised to kMinArgF, the exponent 1/6 in single
// precision as the law was fitted with it (also read by the lanes of
// tensor/amplitude_lanes.cpp).
namespace lifetime_law {
inline constexpr float kOneSixthF = 0.1666666716337204f;
inline constexpr float kMinArgF = 0.004999999888241291f;
inline constexpr double kN0 = 1.2050983316598936;
inline constexpr double kN1 = -0.04079766636961979;
inline constexpr double kN2 = 1.1050803451576134;
inline constexpr double kD1 = -0.04103886513006046;
inline constexpr double kD2 = 1.1050902034670118;
}  // namespace lifetime_law

double lifeTimePowerLaw(float x);
double lifeTimeRational(float x);

// model 1 or 2; any other value is fatal ("LifeTimeModel not implemented").
double lifeTime(float x, int model = kLifeTimeModel);

float isoSpectralDensity(float alphaeps, float L, float kSquared);

}  // namespace wind
