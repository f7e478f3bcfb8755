#pragma once
// The spectral velocity tensor Phi_ij(k) of homogeneous, incompressible
// surface-layer turbulence, in factored form Phi(k) = A(k) A(k)^T, and the
// symmetric matrix square roots with which engines factor spectral matrices.
//
// Axes: 1 (x) along the mean wind, 2 (y) across it horizontally, 3 (z)
// vertical; k = (k1, k2, k3) in rad/m; component Phi_ij is element [i-1][j-1].
// The model parameters travel as one TensorModel (tensor/model.hpp): alphaeps
// (0: the level per wave number from the roughness table), L, Gamma, the
// Terrain switch and the upstream-memory tables.
//
// The model, layer by layer:
//   isoAmplitude    A_iso = sqrt(isoSpectralDensity(k^2)) M(k), M(k) = -[k]x,
//                   so A_iso A_iso^T = E(k)/(4 pi k^4) (k^2 delta_ij - k_i k_j),
//                   the isotropic von Karman tensor (reads alphaeps and L only).
//   shearAmplitude  rapid distortion of the isotropic field by uniform shear
//                   dU/dz over the eddy lifetime beta = Gamma tau(kL): the
//                   wave vector k0 = (k1, k2, k3 + beta k1) at the start of the
//                   distortion and A_sh = D(k) A_iso(k0) with the distortion
//                   matrix D of rows (1, 0, z1), (0, 1, z2), (0, 0, k0^2/k^2).
//                   Gamma = 0 returns isoAmplitude bit for bit.
//   stretchMatrix   the volume-preserving stretch diag(a, b, 1/(ab)) applied
//                   to the vorticity: R = (-1/k^2 [k]x S) [k']x with the
//                   stretched wave vector k' = (a k1, b k2, k3/(ab)).
//   tensorAmplitude with Terrain, a = stretchFactor(|k|L, 0),
//                   b = stretchFactor(|k|L, 1) and A = R A_sh(k'); without it,
//                   A = A_sh(k). With alphaeps = 0 the level of A_sh is
//                   roughnessAlphaeps(|k'|L). isoAmplitude and shearAmplitude
//                   take alphaeps as it is: 0 gives the zero matrix there.
//                   Every variant satisfies k^T A(k) = 0.
// [c]x is crossMatrix(c), rows (0, -c3, c2), (c3, 0, -c1), (-c2, c1, 0).
//
// Precision: inputs and stored values are float; every step is evaluated in
// double and rounded to float where it is stored, in a fixed order, so the
// results are bit-reproducible.
//
// Singular points: the amplitude is the zero matrix at k = 0 (with and
// without Terrain); at k1 = 0 the distortion matrix takes its limit values
// z1 = -beta, z2 = 0.
//
// Tables: the model's read-only upstream-memory tables are needed only with
// Terrain on or alphaeps == 0 (TensorModel::needsTables); then they must be
// filled by the matching builder, or the first lookup ends the run through
// fatalError. The routines have no state, allocate nothing, and are reentrant.
#include <span>

#include "numerics/small_types.hpp"
#include "tensor/model.hpp"

namespace wind {

Mat3 crossMatrix(Vector3 c);

Mat3 isoAmplitude(const TensorModel& model, Vector3 k);
Mat3 shearAmplitude(const TensorModel& model, Vector3 k);

// Writes the stretched wave vector to kStretched.
Mat3 stretchMatrix(Vector3 k, float a, float b, Vector3& kStretched);

Mat3 tensorAmplitude(const TensorModel& model, Vector3 k);

// The arithmetic of the transcendental functions in tensorAmplitudes:
//   classic  the C library's pow and atan2, wave vector after wave vector:
//            the bits of tensorAmplitude;
//   lanes    those of numerics/vector_math.hpp on four wave vectors at once
//            (tensor/amplitude_lanes.hpp), with every other operation and
//            rounding as in tensorAmplitude: within a few units in the last
//            place of a float of it, the same bits for any vector width.
enum class TensorArithmetic { classic, lanes };

// The amplitudes A(k) of the wave vectors k = (k1, k2, k3[n]) of a row into
// out[n], n < k3.size() <= out.size(). The classic arithmetic computes the
// row's pow(k1^2 + k2^2, -3/2) once (without Terrain; with it the stretched
// k2 changes along the row).
void tensorAmplitudes(const TensorModel& model, float k1, float k2, std::span<const float> k3,
                      std::span<Mat3> out, TensorArithmetic arithmetic = TensorArithmetic::classic);

// Phi(k) = A(k) A(k)^T: symmetric, positive semi-definite.
Mat3 spectralTensor(const TensorModel& model, Vector3 k);

// Principal square root S (S S = M) of a symmetric positive semi-definite 2x2
// matrix in closed form; m[1][0] must equal m[0][1]. The zero matrix, and any
// matrix whose trace plus 2 sqrt(max(det, 0)) is not positive, gives zero.
Mat2 sqrtSym2(Mat2 m);

// Symmetric square root W diag(sqrt(max(d_i, 0))) W^T from the eigenpairs
// (d_i, W) of jacobi; only the diagonal and upper triangle of m are read, and
// negative eigenvalues count as zero. No heap use. A matrix on which the Jacobi
// sweeps do not converge (for example one holding NaN) ends the run with
// "Too many iterations in routine jacobi".
Mat3 sqrtSym3(Mat3 m);

}  // namespace wind
