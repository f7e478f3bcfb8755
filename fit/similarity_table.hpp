#pragma once
// The table of the model's one-point spectra in similarity form
// (fit/similarity_integrals.hpp), written by make_similarity_table into
// fit/similarity_table_data.cpp, and its grid.
//
// Grid. Along the wave number, x = k1 L at log10 x = kTableLog10X0 +
// n kTableLog10XStep, n = 0 .. kTableXNodes - 1 (x from 0.005012, just above
// the lowest x at which the sheared spectra are defined, to 1000). Along
// Gamma, the nodes
//     Gamma_m = 10 sinh(kTableGammaStretch m / M) / sinh(kTableGammaStretch),
// m = 0 .. M = kTableGammaNodes - 1: about 0.08 apart at Gamma = 0, where the
// spectra at small x change fastest with Gamma, widening to about 0.55 at 10.
// Gamma is held at the float nearest to each node value, as the model takes it.
//
// Values at each node (component c of SpectrumComponent):
//   u, v, w   r_c = ln(f_c / f_c,iso(x)), the logarithm of the spectrum over the
//             von Karman closed form (0 at Gamma = 0, tending to 0 as x grows:
//             shear distorts the large eddies most);
//   uw        rho = f_uw / sqrt(f_u f_w), the co-spectrum over the geometric
//             mean of the two auto-spectra (between -1 and 0).
// These are smooth in log10 x and Gamma and bounded; and beyond the grid
// they have simple limits (see fit/model_spectra.hpp).
// kSimilarityTable[m][n][c] holds the value at (Gamma_m, x_n), and
// kSimilarityVariance[m][c] the variance s_c(Gamma_m) (covariance for uw) of
// the model with alphaeps = 1 and L = 1 m.
#include <cmath>

namespace wind {

inline constexpr int kTableXNodes = 107;
inline constexpr double kTableLog10X0 = -2.3;
inline constexpr double kTableLog10XStep = 0.05;
inline constexpr int kTableGammaNodes = 49;
inline constexpr double kTableGammaMax = 10.0;
inline constexpr double kTableGammaStretch = 2.6;

// log10 x of node n.
inline double tableLog10X(int n) { return kTableLog10X0 + n * kTableLog10XStep; }

// Gamma_m in double, and the float the model is evaluated at.
inline double tableGammaExact(int m) {
  return kTableGammaMax * std::sinh(kTableGammaStretch * m / (kTableGammaNodes - 1)) /
         std::sinh(kTableGammaStretch);
}
inline float tableGamma(int m) { return static_cast<float>(tableGammaExact(m)); }

// The node coordinate of Gamma, m(Gamma) (a real number; Gamma_m at integers),
// and its derivative dm/dGamma.
inline double tableGammaCoordinate(double Gamma) {
  return (kTableGammaNodes - 1) / kTableGammaStretch *
         std::asinh(Gamma / kTableGammaMax * std::sinh(kTableGammaStretch));
}
inline double tableGammaCoordinateSlope(double Gamma) {
  const double a = std::sinh(kTableGammaStretch) / kTableGammaMax;
  return (kTableGammaNodes - 1) / kTableGammaStretch * a / std::sqrt(1 + a * a * Gamma * Gamma);
}

extern const double kSimilarityTable[kTableGammaNodes][kTableXNodes][4];
extern const double kSimilarityVariance[kTableGammaNodes][4];

}  // namespace wind
