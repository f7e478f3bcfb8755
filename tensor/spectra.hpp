#pragma once
// Two-point cross-spectra and variances of the spectral velocity tensor
// Phi_ij(k) (tensor/spectral_tensor.hpp).
//
// Cross-spectrum. For two points separated across the wind by r = (0, sep1,
// sep2), the cross-spectrum at along-wind wave number k1 is
//     chi_ij(k1, r) = int int Phi_ij(k1, k2, k3) exp(i (k2 sep1 + k3 sep2)) dk2 dk3,
// whose real part is the co-spectrum and imaginary part the quad-spectrum.
// crossSpectrum turns the plane integral into a line integral and a Fourier
// integral. With e = (sep1, sep2)/d the unit vector along the separation,
// e_perp = (-sep2, sep1)/d and d = |r|, the plane is swept by lines
//     (k2, k3) = q e + p e_perp,
// and crossLineIntegral gives F(q) = int Phi_ij(k1, q e + p e_perp) dp. Then
//     chi_ij = int F(q) exp(i q d) dq,
// which splineFourierIntegral evaluates exactly for the cubic spline through
// F on a grid of n points q_m = s h_m / (1 - |h_m|), h_m = 2m/(n+1) - 1,
// m = 1 .. n, s = max(1/L, k1): symmetric about 0, dense near 0 and reaching
// about (n/2) s at both ends. The same F with d = 0 gives the one-point
// spectrum F_ij(k1) (the integral of the spline). A zero separation has no
// direction; it is taken along y, e = (1, 0), so that the co-spectrum equals
// the one-point spectrum and the quad-spectrum is 0.
//
// Result of crossSpectrum, r = matrix(0, 1, 0, 1) owned by the caller:
//   r[0][0]  one-point spectrum F_ii(k1) of component i
//   r[0][1]  one-point spectrum F_jj(k1) of component j
//   r[1][0]  co-spectrum  Re chi_ij
//   r[1][1]  quad-spectrum Im chi_ij
// For i != j the grid is swept three times (pairs (i, j), (i, i), (j, j)).
//
// Variance. sigma2 = int Phi_ij(k) d^3k over all wave vectors, for the pairs
// (0,0), (1,1), (2,2) and (0,2), whose Phi_ij is even in k2 and under k -> -k:
// the integral over a quarter of the unit sphere (theta in [0, pi/2], phi in
// [0, pi]) is taken four times. In the dimensionless radius kappa = |k| L,
// mapped as kappa = x / (1 - x) over x in [0.002, 0.99999999] (kappa from
// about 0.002 to 1e8),
//     sigma2 = 4 L^-3 int dx kappa^2/(1-x)^2 int int Phi_ij(kappa e(theta, phi) / L)
//                                                  sin(theta) dtheta dphi.
// sigma2Radial is the outer integrand (in x) and sigma2Angular the inner one.
// Without shear (Gamma = 0) Phi_02 is odd in k1, and the (0, 2) covariance is
// returned as the exact 0 without integrating.
//
// Quadrature (numerics/quadrature.hpp), with tol the relative tolerance passed
// on as double:
//   crossLineIntegral  adapint  over the mapped line, 1000 evaluations
//   sigma2             adapint  over x,               1000 evaluations
//   sigma2Radial       adapint2 over the quarter sphere, 10000 evaluations
// A quadrature status other than 0 writes "<integrator> error<status>" and
// "nofun<count>" on standard error and ends the run through fatalError:
// "Error in adapint" (crossLineIntegral), "Error in adapint (sigma2)",
// "Error in adapint2 (sigma2)". A sigma2 pair other than 00, 11, 22 and 02 ends
// it with "sigma2 only implemented for components 00 11 22 and 02"; component
// indices outside 0..2 in the cross-spectrum routines end it with "Tensor
// component index out of range (must be 0, 1 or 2)".
//
// State: none. The integrands receive their parameters by capture; every
// routine is reentrant. The model (tensor/model.hpp) goes unchanged to
// spectralTensor; its tables are the caller's to check
// (TensorModel::checkTables). crossSpectrum allocates its three
// work vectors of n floats per call (the grid, F and its spline), sets the
// spline up once per sweep and integrates it without allocating;
// splineFourierIntegral allocates one.

#include <span>

#include "numerics/arrays.hpp"
#include "tensor/model.hpp"

namespace wind {

// Number of points of the q grid that the spectrum calculator passes.
inline constexpr int kCrossSpectrumPoints = 250;

// Fills r (index range 0..1 x 0..1) with the one-point spectra of the pair's
// two components, the co-spectrum and the quad-spectrum at k1 for the
// separation (sep1, sep2) (see the header comment). The pair is read, not
// reordered. n >= 2.
void crossSpectrum(const TensorModel& model, float k1, float sep1, float sep2,
                   std::span<const int, 2> pair, int n, float tol, Matrix& r);

// F(q) = int Phi_ij(k1, q e + p e_perp) dp over the whole line, the line of the
// (k2, k3) plane perpendicular to the separation at distance q from the origin,
// integrated in x in [-1, 1] with p = s x / (1 - |x|), s = max(|k1|, 1/L).
double crossLineIntegral(const TensorModel& model, float k1, float q, float sep1, float sep2,
                         std::span<const int, 2> pair, float tol);

// Exact integral from x[0] to x[n-1] of S(x) cos(omega x) (useCos) or
// S(x) sin(omega x), S the cubic spline through (x[m], y[m]), m = 0 .. n-1,
// x strictly rising, n >= 2, with end slopes yp1 and ypn (above 0.99e30: a
// natural end). Integrating by parts three times leaves boundary terms and,
// the third derivative being constant on each interval, one closed-form sum
// over the intervals. omega = 0 gives the plain integral of the spline
// (cosine) or 0 (sine). The result is rounded to float.
float splineFourierIntegral(std::span<const float> x, std::span<const float> y, int n, float yp1,
                            float ypn, float omega, bool useCos);

// Variance (i == j) or covariance of the pair, int Phi_ij d^3k.
double sigma2(const TensorModel& model, std::span<const int, 2> pair, float tol);

// The same with a quadrature that does not converge returned, not reported:
// converged is false then (and the value meaningless), with the same bits as
// sigma2 otherwise. The inner integrals that follow a failed one are skipped.
double sigma2Status(const TensorModel& model, std::span<const int, 2> pair, float tol,
                    bool& converged);

// The parameters that sigma2 hands to its two integrands; with failed set, a
// failure of the inner quadrature is recorded there instead of reported.
struct Sigma2Params {
  TensorModel model;
  int i = 0;
  int j = 0;
  float tol = 0.0f;
  bool* failed = nullptr;
};

// Outer integrand at x in [0, 1): kappa = x / (1 - x) (float) and
// kappa^2 / (1 - x)^2 times the quarter-sphere integral of sigma2Angular.
double sigma2Radial(const Sigma2Params& p, double x);

// Inner integrand: Phi_ij(kappa e / L) sin(theta), e the unit vector
// (sin theta cos phi, sin theta sin phi, cos theta).
double sigma2Angular(const Sigma2Params& p, float kappa, double theta, double phi);

}  // namespace wind
