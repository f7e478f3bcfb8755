#include "synthesis/turb3d.hpp"

#include <array>

#include "numerics/fatal_error.hpp"
#include "numerics/fft.hpp"
#include "numerics/random.hpp"
#include "synthesis/fourier_grid.hpp"
#include "tensor/spectral_tensor.hpp"
#include "tensor/tensor_integrals.hpp"

namespace wind {

namespace {

using detail::amplitudeFromElements;
using detail::Coefficient;
using detail::drawCoefficient;
using detail::mirrorIndex;
using detail::scaled;
using detail::waveIndex;
using detail::waveNumber;

// Relative tolerance of the cell integrals near the origin.
constexpr float kCellTol = 0.0025f;

// |kd L| < lim_d in all three directions.
bool insideCellBox(Vector3 k, float L, Vector3 lim) {
  return detail::insideCellLimit(k.x, L, lim.x) && detail::insideCellLimit(k.y, L, lim.y) &&
         detail::insideCellLimit(k.z, L, lim.z);
}

// The amplitude matrix M(k) of the ncomp requested components (c0, c1 the
// first two of a shorter list), in the leading ncomp x ncomp block: the root
// of the cell-mean tensor inside the LimNormK box (windows of the box
// lengths), of the point tensor outside it. Fixed over the wave vectors of one
// call.
struct ModeAmplitude {
  TensorModel model;
  Vector3 Lbox;
  int ncomp, c0, c1;

  Mat3 operator()(Vector3 k, bool cell) const {
    if (ncomp == 3)
      return cell ? sqrtSym3(phiIntMatrix(model, k, Lbox, kCellTol)) : tensorAmplitude(model, k);
    if (cell)
      return amplitudeFromElements(
          ncomp, c0, c1, [&](int a, int b) { return phiInt(model, k, Lbox, kCellTol, a, b); });
    // The point tensor A A^T is symmetric to the last bit (both triangles sum
    // the same products in the same order).
    const Mat3 phi = spectralTensor(model, k);
    return amplitudeFromElements(ncomp, c0, c1, [&](int a, int b) { return at(phi, a, b); });
  }
};

void checkArguments(std::span<F3tensor> fields, int ncomp, std::span<const int> comps,
                    const BoxGrid& grid) {
  const int N1 = grid.N1, N2 = grid.N2, N3 = grid.N3;
  if (ncomp < 1 || ncomp > 3) fatalError("Number of components not correct");
  if (ncomp < 3) {
    if (comps.size() < std::size_t(ncomp)) fatalError("Number of components not correct");
    for (int c = 0; c < ncomp; ++c)
      if (comps[std::size_t(c)] < 0 || comps[std::size_t(c)] > 2)
        fatalError("Component number not correct");
  }
  if (N3 < 2)
    fatalError("The third dimension of a three-dimensional field needs at least 2 points");
  if (fields.size() < std::size_t(ncomp)) fatalError("turb3d: field array does not match the grid");
  for (int c = 0; c < ncomp; ++c) {
    const F3tensor& t = fields[std::size_t(c)];
    if (t.rowLo() != 1 || t.rowHi() != N1 || t.colLo() != 1 || t.colHi() != N2 || t.depLo() != 1 ||
        t.depHi() != N3)
      fatalError("turb3d: field array does not match the grid");
  }
}

}  // namespace

void turb3d(std::span<F3tensor> fields, int ncomp, std::span<const int> comps,
            const TensorModel& model, BoxGrid grid, std::int32_t seed, Vector3 LimNormK) {
  checkArguments(fields, ncomp, comps, grid);
  model.checkTables();
  const int N1 = grid.N1, N2 = grid.N2, N3 = grid.N3;
  const Vector3 Lbox = grid.Lbox;
  const ModeAmplitude amplitude{.model = model,
                                .Lbox = Lbox,
                                .ncomp = ncomp,
                                .c0 = ncomp < 3 ? comps[0] : 0,
                                .c1 = ncomp == 2 ? comps[1] : 1};
  const float D = detail::coefficientNorm(3, double(Lbox.x) * double(Lbox.y) * double(Lbox.z));

  // The k3 = N3/2 plane of each component, in the layout of rlft3.
  std::array<Matrix, 3> nyquistPlane;
  for (int c = 0; c < ncomp; ++c) nyquistPlane[std::size_t(c)] = matrix(1, N1, 1, 2 * N2);

  RandomGenerator gen;
  std::int32_t state = seed;

  const int iHigh = N1 / 2 + 1;  // index of the highest frequency along 1
  const int jHigh = N2 / 2 + 1;
  const int lNyquist = N3 / 2 + 1;
  for (int i = 1; i <= N1; ++i) {
    const float k1 = waveNumber(waveIndex(i, N1), Lbox.x);
    const int iMirror = mirrorIndex(i, N1);
    const bool iSelf = i == 1 || i == iHigh;
    for (int j = 1; j <= N2; ++j) {
      const float k2 = waveNumber(waveIndex(j, N2), Lbox.y);
      const int jMirror = mirrorIndex(j, N2);
      // In the planes k3 = 0 and k3 = N3/2 dk3 the half spectrum must be
      // Hermitian within the plane: generate one of each pair (k1, k2),
      // (-k1, -k2) and write its conjugate at the mirror.
      const bool generateInPlane = (1 < i && i < iHigh) || (iSelf && j <= jHigh);
      const bool selfConjugate = iSelf && (j == 1 || j == jHigh);
      const int l0 = (i == 1 && j == 1) ? 2 : 1;  // k = 0 is never generated
      for (int l = l0; l <= lNyquist; ++l) {
        const bool inPlane = l == 1 || l == lNyquist;
        if (inPlane && !generateInPlane) continue;
        const Vector3 k(k1, k2, waveNumber(l - 1, Lbox.z));
        const Mat3 m = amplitude(k, insideCellBox(k, model.L, LimNormK));
        const Coefficient h = drawCoefficient(m, ncomp, gen, state);
        for (int c = 0; c < ncomp; ++c) {
          const float re = scaled(D, h.re[std::size_t(c)]);
          const float im = scaled(D, h.im[std::size_t(c)]);
          F3tensor& u = fields[std::size_t(c)];
          if (inPlane) {
            // (real, imaginary) at (row, col) of the plane l = 1 or l = N3/2 + 1.
            Matrix& nyquist = nyquistPlane[std::size_t(c)];
            const auto put = [&](int row, int col, float vr, float vi) {
              if (l == 1) {
                u(row, col, 1) = vr;
                u(row, col, 2) = vi;
              } else {
                nyquist(row, 2 * col - 1) = vr;
                nyquist(row, 2 * col) = vi;
              }
            };
            if (selfConjugate) {
              put(i, j, re, 0.0f);
            } else {
              put(i, j, re, im);
              put(iMirror, jMirror, re, -im);
            }
          } else {
            u(i, j, 2 * l - 1) = re;
            u(i, j, 2 * l) = im;
          }
        }
      }
    }
  }

  for (int c = 0; c < ncomp; ++c) {
    F3tensor& u = fields[std::size_t(c)];
    u(1, 1, 1) = 0.0f;  // zero mean
    u(1, 1, 2) = 0.0f;
    rlft3(u, nyquistPlane[std::size_t(c)], N1, N2, N3, -1);
    nyquistPlane[std::size_t(c)].reset();
  }
}

}  // namespace wind
