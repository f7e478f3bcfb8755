#pragma once
// The one-point spectra and variances of the sheared tensor model in
// similarity form, integrated directly: what the fit's table
// (fit/similarity_table.hpp) is made of and checked against.
//
// Similarity. The tensor (tensor/spectral_tensor.hpp) with level alphaeps,
// length scale L and shear parameter Gamma is
//     Phi_ij(k) = alphaeps L^(11/3) phi_ij(k L; Gamma):
// the von Karman density alphaeps/(4 pi) (1/L^2 + k^2)^(-17/6) times a
// quadratic form in k, distorted over the lifetime Gamma tau(|k| L), which
// depends on k only through k L. Integrating over the (k2, k3) plane,
//     F_ij(k1; alphaeps, L, Gamma) = alphaeps L^(5/3) f_ij(k1 L; Gamma),
//     sigma_ij^2 = int F_ij dk1 (the whole line) = alphaeps L^(2/3) s_ij(Gamma),
// with f_ij and s_ij the spectra and variances of the model with alphaeps = 1
// and L = 1 m. So alphaeps is a factor, L a shift along log k1 (with a
// factor), and only Gamma needs new integrals.
//
// Components (SpectrumComponent): u (F11), v (F22), w (F33) and uw (F13, the
// co-spectrum of u and w, negative under positive shear). All spectra are
// two-sided in k1, as corvel prints them.
//
// similaritySpectrum(Gamma, x, c) = f_c(x; Gamma), x = k1 L > 0: the plane
// integral of phiIntk2k3 (tensor/tensor_integrals.hpp), over the same mapped
// plane (k2 >= 0, doubled), cut into kPlanePieces x kPlanePieces rectangles
// of the mapped square, each integrated by adapint2 to the relative tolerance
// kSimilarityTol. The single adaptive integral of phiIntk2k3 can settle on a
// wrong value by a few parts in 10^4 even at tight tolerances (its error test
// is relative to the whole plane, and a rectangle whose rule and null rule
// happen to agree is accepted unseen); the pieces make each rectangle answer
// for itself: the von Karman closed forms come out to 1e-7 and two cuttings
// (16 and 32 pieces) agree to about 2e-6 over the table's range. About
// 0.1 s per call. Sheared spectra need x >= kMinShearedK1L (tensor/model.hpp).
//
// similarityVariance(Gamma, c) = s_c(Gamma): the integral of Phi over all wave
// vectors in spherical coordinates (L = 1): radius |k| from 1e-6 to 1e4 in
// log |k|, split at |k| = 0.005 where the eddy lifetime is clamped, the
// angles over a quarter of the sphere times 4 (the four components are even
// in k2 and under k -> -k), and the shell beyond 1e4, where the tensor is
// the isotropic inertial-range one to 1e-8, in closed form (1e4^(-2/3) for
// the diagonal components, 0 for uw). About 1 s per call.
//
// isotropicSpectrum(x, c): the von Karman closed forms (Gamma = 0),
//     f_u = 9/55 (1 + x^2)^(-5/6),  f_v = f_w = 3/110 (3 + 8 x^2) (1 + x^2)^(-11/6),
//     f_uw = 0;
// isotropicVariance() = s_u = s_v = s_w at Gamma = 0,
//     (2/3) int_0^inf k^4 (1 + k^2)^(-17/6) dk = B(5/2, 1/3) / 3.
//
// Failure: a rectangle or shell whose quadrature exceeds its budget ends the
// run through fatalError ("similaritySpectrum: the plane integral did not
// converge (Gamma ..., k1 L ..., component ...)"); the callers keep to the
// model's range, where it does not happen. State: none; reentrant.

namespace wind {

enum class SpectrumComponent { u = 0, v = 1, w = 2, uw = 3 };
inline constexpr int kSpectrumComponents = 4;

// The tensor indices (0-based) of a component: u (0, 0), v (1, 1), w (2, 2),
// uw (0, 2).
int tensorRow(SpectrumComponent c);
int tensorColumn(SpectrumComponent c);

// "u", "v", "w", "uw".
const char* componentName(SpectrumComponent c);

inline constexpr int kPlanePieces = 16;
inline constexpr double kSimilarityTol = 1.0e-6;

double similaritySpectrum(float Gamma, double x, SpectrumComponent c, int pieces = kPlanePieces);
double similarityVariance(float Gamma, SpectrumComponent c);

double isotropicSpectrum(double x, SpectrumComponent c);
double isotropicVariance();

}  // namespace wind
