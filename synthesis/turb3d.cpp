#include "synthesis/turb3d.hpp"

#include <array>
#include <cmath>

#include "numerics/fatal_error.hpp"
#include "numerics/fft.hpp"
#include "numerics/random.hpp"
#include "synthesis/wave_grid.hpp"
#include "tensor/spectral_tensor.hpp"
#include "tensor/tensor_integrals.hpp"

namespace wind {

namespace {

// Relative tolerance of the cell integrals near the origin.
constexpr float kCellTol = 0.0025f;
constexpr double kSqrtHalfArg = 0.5;
constexpr double kInverseFftFactor = 2.0;  // offsets the 1/2 of the inverse rlft3
constexpr double kCube = 3.0;

inline float f(double x) { return static_cast<float>(x); }

// D = 2 sqrt(1/2) sqrt((2pi)^3 / (L1 L2 L3)): sqrt(1/2) gives the complex
// normal number xi_r + i xi_i unit mean square modulus, the last root is
// sqrt(dk1 dk2 dk3), and the 2 offsets the 1/2 of the inverse transform.
float normalisation(Vector3 Lbox) {
  return f(kInverseFftFactor * std::sqrt(kSqrtHalfArg) *
           std::sqrt(std::pow(double(kGridTwoPi), kCube) /
                     (double(Lbox.x) * double(Lbox.y) * double(Lbox.z))));
}

// |kd L| < lim in single precision, strictly, in all three directions.
bool insideCellBox(Vector3 k, float L, Vector3 lim) {
  return std::fabs(f(double(k.x) * L)) < lim.x && std::fabs(f(double(k.y) * L)) < lim.y &&
         std::fabs(f(double(k.z) * L)) < lim.z;
}

// sqrt of a non-negative spectral density; a value pushed slightly below zero
// by the quadrature (whose rules have negative weights) counts as zero.
float rootOf(double phi) { return f(std::sqrt(phi > 0.0 ? phi : 0.0)); }

// Everything that stays fixed over the wave vectors of one call.
struct Model {
  float alphaeps, L, Gamma;
  bool Terrain;
  const UpstreamTables* tables;
  Vector3 Lbox;
  int c0, c1;

  double cellMean(Vector3 k, int a, int b) const {
    return phiInt(alphaeps, L, Gamma, k.x, k.y, k.z, Lbox.x, Lbox.y, Lbox.z, Terrain, kCellTol,
                  a, b, tables);
  }
};

// The random coefficient of one wave vector, before the factor D:
// re = M xi_r and im = M xi_i for the first ncomp entries. The deviates are
// drawn in the order xi_r[0], xi_i[0], xi_r[1], xi_i[1], ...
struct Coefficient {
  float re[3] = {0.0f, 0.0f, 0.0f};
  float im[3] = {0.0f, 0.0f, 0.0f};
};

void drawDeviates(RandomGenerator& gen, std::int32_t& state, int ncomp, float* xr, float* xi) {
  for (int c = 0; c < ncomp; ++c) {
    xr[c] = gaussDeviate(gen, state);
    xi[c] = gaussDeviate(gen, state);
  }
}

Coefficient coefficient3(const Model& m, Vector3 k, bool cell, RandomGenerator& gen,
                         std::int32_t& state) {
  const Mat3 amp =
      cell ? sqrtSym3(phiIntMatrix(m.alphaeps, m.L, m.Gamma, k, m.Lbox, m.Terrain, kCellTol,
                                   m.tables))
           : tensorAmplitude(m.alphaeps, m.L, m.Gamma, k, m.Terrain, m.tables);
  float xr[3], xi[3];
  drawDeviates(gen, state, 3, xr, xi);
  const Vector3 vr(xr[0], xr[1], xr[2]);
  const Vector3 vi(xi[0], xi[1], xi[2]);
  Coefficient h;
  for (int c = 0; c < 3; ++c) {
    h.re[c] = dot(amp[c], vr);
    h.im[c] = dot(amp[c], vi);
  }
  return h;
}

Coefficient coefficient2(const Model& m, Vector3 k, bool cell, RandomGenerator& gen,
                         std::int32_t& state) {
  Mat2 s;
  if (cell) {
    const float offDiagonal = f(m.cellMean(k, m.c0, m.c1));
    s = Mat2(Pair2(f(m.cellMean(k, m.c0, m.c0)), offDiagonal),
             Pair2(offDiagonal, f(m.cellMean(k, m.c1, m.c1))));
  } else {
    const Mat3 phi = spectralTensor(m.alphaeps, m.L, m.Gamma, k, m.Terrain, m.tables);
    s = Mat2(Pair2(at(phi, m.c0, m.c0), at(phi, m.c0, m.c1)),
             Pair2(at(phi, m.c1, m.c0), at(phi, m.c1, m.c1)));
  }
  const Mat2 amp = sqrtSym2(s);
  float xr[2], xi[2];
  drawDeviates(gen, state, 2, xr, xi);
  Coefficient h;
  for (int c = 0; c < 2; ++c) {
    h.re[c] = f(double(amp[c].first) * xr[0] + double(amp[c].second) * xr[1]);
    h.im[c] = f(double(amp[c].first) * xi[0] + double(amp[c].second) * xi[1]);
  }
  return h;
}

Coefficient coefficient1(const Model& m, Vector3 k, bool cell, RandomGenerator& gen,
                         std::int32_t& state) {
  const float amp =
      cell ? rootOf(m.cellMean(k, m.c0, m.c0))
           : rootOf(at(spectralTensor(m.alphaeps, m.L, m.Gamma, k, m.Terrain, m.tables), m.c0,
                       m.c0));
  float xr[1], xi[1];
  drawDeviates(gen, state, 1, xr, xi);
  Coefficient h;
  h.re[0] = f(double(amp) * xr[0]);
  h.im[0] = f(double(amp) * xi[0]);
  return h;
}

void checkArguments(std::span<F3tensor> fields, int ncomp, std::span<const int> comps, int N1,
                    int N2, int N3) {
  if (ncomp < 1 || ncomp > 3) fatalError("Number of components not correct");
  if (ncomp < 3) {
    if (comps.size() < std::size_t(ncomp)) fatalError("Number of components not correct");
    for (int c = 0; c < ncomp; ++c)
      if (comps[std::size_t(c)] < 0 || comps[std::size_t(c)] > 2)
        fatalError("Component number not correct");
  }
  if (N3 < 2) fatalError("The third dimension of a three-dimensional field needs at least 2 points");
  if (fields.size() < std::size_t(ncomp)) fatalError("turb3d: field array does not match the grid");
  for (int c = 0; c < ncomp; ++c) {
    const F3tensor& t = fields[std::size_t(c)];
    if (t.rowLo() != 1 || t.rowHi() != N1 || t.colLo() != 1 || t.colHi() != N2 ||
        t.depLo() != 1 || t.depHi() != N3)
      fatalError("turb3d: field array does not match the grid");
  }
}

}  // namespace

void turb3d(std::span<F3tensor> fields, int ncomp, std::span<const int> comps, int N1, int N2,
            int N3, Vector3 Lbox, float alphaeps, float L, float Gamma, std::int32_t seed,
            Vector3 LimNormK, bool Terrain, const UpstreamTables* tables) {
  checkArguments(fields, ncomp, comps, N1, N2, N3);
  const Model model{alphaeps, L,    Gamma,
                    Terrain,  tables, Lbox,
                    ncomp < 3 ? comps[0] : 0, ncomp == 2 ? comps[1] : 1};
  const float D = normalisation(Lbox);

  // The k3 = N3/2 plane of each component, in the layout of rlft3.
  std::array<Matrix, 3> nyquistPlane;
  for (int c = 0; c < ncomp; ++c) nyquistPlane[std::size_t(c)] = matrix(1, N1, 1, 2 * N2);

  RandomGenerator gen;
  std::int32_t state = seed;

  const int iHigh = N1 / 2 + 1;  // index of the highest frequency along 1
  const int jHigh = N2 / 2 + 1;
  const int lNyquist = N3 / 2 + 1;
  for (int i = 1; i <= N1; ++i) {
    const float k1 = waveNumber(i, N1, Lbox.x);
    const int iMirror = mirrorIndex(i, N1);
    const bool iSelf = isSelfMirror(i, N1);
    for (int j = 1; j <= N2; ++j) {
      const float k2 = waveNumber(j, N2, Lbox.y);
      const int jMirror = mirrorIndex(j, N2);
      // In the planes k3 = 0 and k3 = N3/2 dk3 the half spectrum must be
      // Hermitian within the plane: generate one of each pair (k1, k2),
      // (-k1, -k2) and write its conjugate at the mirror.
      const bool generateInPlane = (1 < i && i < iHigh) || (iSelf && j <= jHigh);
      const bool selfConjugate = iSelf && isSelfMirror(j, N2);
      const int l0 = (i == 1 && j == 1) ? 2 : 1;  // k = 0 is never generated
      for (int l = l0; l <= lNyquist; ++l) {
        const bool inPlane = l == 1 || l == lNyquist;
        if (inPlane && !generateInPlane) continue;
        const Vector3 k(k1, k2, halfWaveNumber(l, Lbox.z));
        const bool cell = insideCellBox(k, L, LimNormK);
        Coefficient h;
        switch (ncomp) {
          case 3: h = coefficient3(model, k, cell, gen, state); break;
          case 2: h = coefficient2(model, k, cell, gen, state); break;
          default: h = coefficient1(model, k, cell, gen, state); break;
        }
        for (int c = 0; c < ncomp; ++c) {
          const float re = f(double(D) * h.re[c]);
          const float im = f(double(D) * h.im[c]);
          F3tensor& u = fields[std::size_t(c)];
          if (inPlane) {
            // (real, imaginary) slots of (i, j) and of the mirror (i', j').
            float* here = l == 1 ? &u(i, j, 1) : &nyquistPlane[std::size_t(c)](i, 2 * j - 1);
            float* there =
                l == 1 ? &u(iMirror, jMirror, 1)
                       : &nyquistPlane[std::size_t(c)](iMirror, 2 * jMirror - 1);
            if (selfConjugate) {
              here[0] = re;
              here[1] = 0.0f;
            } else {
              here[0] = re;
              here[1] = im;
              there[0] = re;
              there[1] = -im;
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
