#pragma once
// The model's one-point spectra and variances at any alphaeps, L and Gamma,
// with their derivatives, from the table of fit/similarity_table.hpp: the
// fast stand-in for phiIntk2k3 (tensor/tensor_integrals.hpp) that the fit
// evaluates thousands of times.
//
//   F_c(k1) = alphaeps L^(5/3) f_c,iso(x) exp(r_c(log10 x, Gamma))   c = u, v, w
//   F_uw(k1) = rho(log10 x, Gamma) sqrt(F_u(k1) F_w(k1))
// with x = k1 L, f_c,iso the von Karman closed forms
// (fit/similarity_integrals.hpp) and r_c, rho interpolated in the table.
//
// Interpolation: bicubic Hermite in (log10 x, Gamma node coordinate) on each
// cell, with the slopes and cross slopes at the nodes from fourth-order
// centred differences (one-sided at the far ends; at Gamma = 0 from the
// symmetry of the model, r_c even and rho odd in Gamma). Its value and first
// derivatives are continuous. Against direct integration it is within 3e-5
// in r_c and rho over the whole table (the error of the nodes is about
// 1e-6; checked at the cell centres by the tests).
//
// Beyond the table:
//   k1 L below 10^-2.3 (0.005)  r_c and rho keep their value at the first node,
//                     so the spectra follow the flat von Karman forms; the
//                     model's plane integrals are not defined below
//                     k1 L = 0.005 (tensor/model.hpp), and the fit reports
//                     bands there;
//   k1 L above 1000   the inertial range, where shear distortion fades as
//                     the lifetime Gamma (k1 L)^(-2/3) shrinks: r_c falls off
//                     as (x / 1000)^(-4/3) and rho as (x / 1000)^(-2/3), the
//                     rates the table shows over its last decade.
// Gamma is taken within 0 .. 10 (values outside are held at the ends).
//
// ModelSpectra::at(k1, c) returns ln F_c(k1) for u, v, w (with its derivatives
// by ln alphaeps, ln L and Gamma), and for uw the factor rho with its
// derivatives by ln L and Gamma (rho does not depend on alphaeps).
//
// State: the node slopes, computed once on first use and then read-only;
// every call is reentrant and allocates nothing.
#include <array>

#include "fit/similarity_integrals.hpp"
#include "tensor/model.hpp"

namespace wind {

// A value with its derivatives by the fit's coordinates
// (ln alphaeps, ln L, Gamma).
struct ValueAndGradient {
  double value = 0.0;
  std::array<double, 3> grad{};
};

class ModelSpectra {
 public:
  explicit ModelSpectra(ModelParameters p);

  const ModelParameters& parameters() const { return p_; }

  // ln F_c(k1) for c = u, v, w; rho(k1) for c = uw. k1 > 0 in rad/m.
  ValueAndGradient at(double k1, SpectrumComponent c) const;

  // The two-sided spectrum F_c(k1) itself (F_uw = rho sqrt(F_u F_w)).
  double spectrum(double k1, SpectrumComponent c) const;

  // The variance (covariance for uw) of the model over all wave numbers,
  // alphaeps L^(2/3) s_c(Gamma), s_c interpolated in the table's variances.
  double variance(SpectrumComponent c) const;

 private:
  ModelParameters p_;
  double lnScale_;     // ln(alphaeps L^(5/3))
  double gammaCoord_;  // the table coordinate of Gamma
  double gammaSlope_;  // d coordinate / d Gamma
};

}  // namespace wind
