#pragma once
// Constants shared across the library, held in single precision: the turbulence
// models and the wave-number grids were set up with these rounded values, and
// the output bits depend on them. Where they enter double arithmetic, widen them
// with double(...) at the point of use.

namespace wind {

// pi and 2 pi rounded to float.
inline constexpr float kPiF = 3.1415927410125732f;
inline constexpr float kTwoPiF = 6.2831854820251465f;

// The von Karman constant kappa = 0.4 of the logarithmic wind profile, rounded
// to float.
inline constexpr float kVonKarman = 0.4000000059604645f;

// A value computed in double, rounded to single precision where it is stored:
// the one visible narrowing of the "compute in double, store float" rule.
inline constexpr float toFloat(double x) { return static_cast<float>(x); }

}  // namespace wind
