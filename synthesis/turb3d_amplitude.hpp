#pragma once
// Internal to turb3d (synthesis/turb3d.hpp): the amplitude matrix M(k) of one
// wave vector, and the shortcut that gives the point amplitude at the mirror
// (k1, -k2, k3) from the one at k.
//
// The mirror. With P = diag(1, -1, 1), a reflection (det P = -1), the cross
// matrix obeys [Pk]x = -P [k]x P; the eddy lifetime, the energy spectrum,
// the roughness level and the stretch factors depend on |k| (or on the
// equally even |k'|) only; the distortion coefficients zeta1 and zeta2 are
// even and odd in k2 (the atan2 term sees k2 only through k1^2 + k2^2); and
// the stretch diag(a, b, 1/(ab)) commutes with P. Layer by layer therefore
//     A(Pk) = -P A(k) P   (element (i, j) times -p_i p_j),
// exactly in floating point: each element of every intermediate product is
// the same sum of the same products in the same order, each product with a
// fixed sign, and round-to-nearest is symmetric about zero. Only the signs of
// zero elements may differ, and combineDeviates (fourier_grid.hpp) sums into
// +0.0, so a zero's sign cannot reach a coefficient. It follows that
// Phi(Pk) = P Phi(k) P, so the sqrtSym2 root of a 2 x 2 block (c0, c1) has
// its off-diagonal elements negated when exactly one of c0, c1 is component 1
// (the determinant and trace are unchanged), and sqrt(Phi_cc) is unchanged.
// The cell integrals are not mirror-exact (the adaptive quadrature visits the
// mirrored points in another order) and are always computed in full.
#include <span>

#include "numerics/small_types.hpp"
#include "synthesis/fourier_grid.hpp"
#include "tensor/model.hpp"
#include "tensor/spectral_tensor.hpp"
#include "tensor/tensor_integrals.hpp"

namespace wind::detail {

// Relative tolerance of the cell integrals near the origin.
inline constexpr float kCellTol = 0.0025f;

// The amplitude matrix M(k) of the ncomp requested components (c0, c1 the
// first two of a shorter list), in the leading ncomp x ncomp block: the root
// of the cell-mean tensor inside the LimNormK box (windows of the box
// lengths), of the point tensor outside it. Fixed over the wave vectors of one
// call; reentrant.
struct ModeAmplitude {
  TensorModel model;
  Vector3 Lbox;
  int ncomp, c0, c1;
  // The arithmetic of the point amplitudes (pointAmplitudes); the cells are
  // always computed by the classic one.
  TensorArithmetic arithmetic = TensorArithmetic::classic;

  // memo: the calling thread's memo of the cell integrals, or none (the same
  // bits either way).
  Mat3 operator()(Vector3 k, bool cell, CellMemo* memo = nullptr) const {
    if (!cell) return fromPoint(tensorAmplitude(model, k));
    if (ncomp == 3) return sqrtSym3(phiIntMatrix(model, k, Lbox, kCellTol, memo));
    return amplitudeFromElements(ncomp, c0, c1, [&](int a, int b) {
      return phiInt(model, k, Lbox, kCellTol, a, b, memo);
    });
  }

  // The point amplitudes of the wave vectors (k1, k2, k3[n]) into out[n], in
  // the arithmetic above (classic: operator() with cell false, bit for bit).
  void pointAmplitudes(float k1, float k2, std::span<const float> k3, std::span<Mat3> out) const {
    tensorAmplitudes(model, k1, k2, k3, out, arithmetic);
    if (ncomp < 3)
      for (std::size_t n = 0; n < k3.size(); ++n) out[n] = fromPoint(out[n]);
  }

  // M from the point tensor's factor A: A itself for three components, else
  // the root of the requested block of A A^T, which is symmetric to the last
  // bit (both triangles sum the same products in the same order).
  Mat3 fromPoint(const Mat3& a) const {
    if (ncomp == 3) return a;
    const Mat3 phi = a * transpose(a);
    return amplitudeFromElements(ncomp, c0, c1, [&](int i, int j) { return at(phi, i, j); });
  }

  // The point amplitude at (k1, -k2, k3) from m, the point amplitude at k (see
  // above); never for a cell amplitude.
  Mat3 mirroredPoint(Mat3 m) const {
    // p_a of component a: -1 for the lateral component 1.
    const auto p = [](int a) { return a == 1 ? -1 : 1; };
    if (ncomp == 3) {
      for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
          if (p(a) * p(b) > 0) at(m, a, b) = -at(m, a, b);
    } else if (ncomp == 2 && p(c0) * p(c1) < 0) {
      at(m, 0, 1) = -at(m, 0, 1);
      at(m, 1, 0) = -at(m, 1, 0);
    }
    return m;
  }
};

}  // namespace wind::detail
