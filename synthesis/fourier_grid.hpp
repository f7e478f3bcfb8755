#pragma once
// Internal helpers shared by the Fourier synthesis engines (one-, two- and
// three-dimensional): the discrete wave-number grid, the normalisation of the
// random coefficients, the draw of one coefficient vector and the Hermitian
// bookkeeping of the packed half spectra of realFft and rlft3.
//
// Conventions (every engine):
//   - Box length L_d, grid size N_d (a power of two), spacing dk_d = 2pi/L_d
//     with 2pi the single-precision 6.2831855.
//   - Along every direction but the last, index i = 1 .. N maps to the integer
//     wave number m(i) = ((N/2 + i - 1) mod N) - N/2, i.e. 0, 1, .., N/2 - 1,
//     -N/2, .., -1; index N/2 + 1 holds the highest frequency, its own negative.
//     The last direction holds only 0 .. N/2 (index l -> l - 1).
//   - A coefficient is D M(k) (xr + i xi): M(k) the amplitude matrix (a square
//     root of the spectral matrix at k), xr and xi standard normal deviates,
//     drawn per component in the order xr0, xi0, xr1, xi1, .. and
//     D = 2 sqrt(0.5) sqrt(prod dk_d). sqrt(0.5) gives the complex normal number
//     unit mean-square modulus, the 2 undoes the 1/2 of the inverse real
//     transforms. A wave vector that is not its own mirror therefore gets a
//     coefficient covariance M M^T prod(dk_d) for exp(-i k.x), half of that
//     when it is its own mirror (its imaginary part is dropped).
//
// Nothing here keeps state; the only state a synthesis touches is its own
// RandomGenerator and seed copy. Nothing allocates except the working Nyquist
// lines of synthesizePlane, once per call.
#include <array>
#include <cmath>
#include <cstdint>
#include <span>

#include "numerics/arrays.hpp"
#include "numerics/constants.hpp"
#include "numerics/fft.hpp"
#include "numerics/random.hpp"
#include "numerics/small_types.hpp"
#include "synthesis/grid.hpp"
#include "tensor/spectral_tensor.hpp"

namespace wind::detail {


// Largest number of velocity components an engine synthesises.
inline constexpr int kMaxComponents = 3;

// Integer wave number of grid index i = 1 .. n along a full direction:
// ((n/2 + i - 1) mod n) - n/2, the remainder taken in floating point on exact
// integers.
inline int waveIndex(int i, int n) {
  const int h = n / 2;
  return static_cast<int>(std::fmod(double(h) + double(i) - 1.0, double(n))) - h;
}

// m 2pi / length, rounded to float.
inline float waveNumber(int m, float length) {
  return static_cast<float>(double(m) * double(kTwoPiF) / double(length));
}

// Index of the mirror -k of grid index i along a full direction of n points:
// 1 for i = 1, n - i + 2 otherwise.
inline int mirrorIndex(int i, int n) { return i == 1 ? 1 : n - i + 2; }

// D = 2 sqrt(0.5) sqrt((2pi)^dim / volume), volume the product of the box
// lengths of the dim resolved directions; evaluated in double, stored as float.
inline float coefficientNorm(int dim, double volume) {
  return static_cast<float>(2.0 * std::sqrt(0.5) *
                            std::sqrt(std::pow(double(kTwoPiF), dim) / volume));
}

// sqrt(s) as the amplitude of a single component; a spectral value that comes
// out negative through round-off or interpolation counts as zero.
inline float scalarAmplitude(double s) { return static_cast<float>(std::sqrt(s > 0.0 ? s : 0.0)); }

// |k L| < lim, the product rounded to float and the comparison strict: the
// wave number lies inside the box near the origin where a grid cell is not
// small compared with the scale of the spectrum, so the cell mean replaces the
// point value.
inline bool insideCellLimit(float k, float L, float lim) {
  return std::fabs(static_cast<float>(double(k) * double(L))) < lim;
}

// A 2 x 2 amplitude in the upper-left block of a Mat3.
inline Mat3 embed(const Mat2& m) {
  return Mat3(m[0].first, m[0].second, 0.0f, m[1].first, m[1].second, 0.0f, 0.0f, 0.0f, 0.0f);
}

// A scalar amplitude in element [0][0] of a Mat3.
inline Mat3 embed(float m) { return Mat3(m, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f); }

// The amplitude M of the ncomp requested components, in the leading
// ncomp x ncomp block, from a symmetric spectral matrix given element by
// element: element(a, b), a <= b, is the (cross-)spectrum of components a and
// b. Three components take every pair of 0 .. 2 (a outer, b inner) and
// sqrtSym3; two take (c0, c0), (c0, c1) and (c1, c1) and sqrtSym2, each
// element rounded to float as it is stored in the matrix; one takes
// sqrt(element(c0, c0)), rounded once.
template <class Element>
Mat3 amplitudeFromElements(int ncomp, int c0, int c1, Element&& element) {
  if (ncomp == 3) {
    Mat3 s;
    for (int a = 0; a < 3; ++a)
      for (int b = a; b < 3; ++b) {
        at(s, a, b) = static_cast<float>(element(a, b));
        at(s, b, a) = at(s, a, b);
      }
    return sqrtSym3(s);
  }
  if (ncomp == 2) {
    Mat2 s;
    s[0].first = static_cast<float>(element(c0, c0));
    s[0].second = static_cast<float>(element(c0, c1));
    s[1].first = s[0].second;
    s[1].second = static_cast<float>(element(c1, c1));
    return embed(sqrtSym2(s));
  }
  return embed(scalarAmplitude(double(element(c0, c0))));
}

// Real and imaginary parts of one coefficient vector, before the factor D.
struct Coefficient {
  std::array<float, kMaxComponents> re{};
  std::array<float, kMaxComponents> im{};
};

// R = M xr and I = M xi over the leading ncomp x ncomp block of M, each
// element summed in double from +0.0 and rounded once; x holds the deviates in
// draw order xr[0], xi[0], xr[1], xi[1], ... A zero element of M contributes
// +0 or -0 to a sum that starts at +0.0, which leaves the sum unchanged either
// way: amplitudes that differ only in the signs of zeros give the same bits.
inline Coefficient combineDeviates(const Mat3& m, int ncomp, const float* x) {
  Coefficient out;
  for (int r = 0; r < ncomp; ++r) {
    double sr = 0.0, si = 0.0;
    for (int c = 0; c < ncomp; ++c) {
      sr += double(at(m, r, c)) * x[2 * c];
      si += double(at(m, r, c)) * x[2 * c + 1];
    }
    out.re[r] = static_cast<float>(sr);
    out.im[r] = static_cast<float>(si);
  }
  return out;
}

// Draws xr[c], then xi[c], for c = 0 .. ncomp - 1 and combines them with M
// (combineDeviates).
inline Coefficient drawCoefficient(const Mat3& m, int ncomp, RandomGenerator& gen,
                                   std::int32_t& state) {
  std::array<float, 2 * kMaxComponents> x{};
  for (int c = 0; c < 2 * ncomp; ++c) x[c] = gaussDeviate(gen, state);
  return combineDeviates(m, ncomp, x.data());
}

// D x, rounded to float.
inline float scaled(float d, float x) { return static_cast<float>(double(d) * double(x)); }

// Line synthesis: the common part of the one-dimensional engines.
// fields[c] is [1 .. n1], n1 = grid.N1 >= 2 a power of two, length = grid.L1
// the period. For
// l = 2 .. n1/2 with k = (l - 1) 2pi / length, amplitude(k) gives M(k); the
// coefficient D M (xr + i xi) goes to elements 2l - 1 (real) and 2l (imaginary).
// The mean and the Nyquist coefficient (elements 1 and 2) are zero. Then one
// inverse realFft per component. Allocates nothing.
template <class Amplitude>
void synthesizeLine(std::span<Vector> fields, int ncomp, LineGrid grid, std::int32_t seed,
                    Amplitude&& amplitude) {
  const int n1 = grid.N1;
  const float length = grid.L1;
  const float d = coefficientNorm(1, double(length));
  for (int c = 0; c < ncomp; ++c) {
    fields[c][1] = 0.0f;
    fields[c][2] = 0.0f;
  }
  RandomGenerator gen;
  std::int32_t state = seed;
  for (int l = 2; l <= n1 / 2; ++l) {
    const float k = waveNumber(l - 1, length);
    const Mat3 m = amplitude(k);
    const Coefficient h = drawCoefficient(m, ncomp, gen, state);
    for (int c = 0; c < ncomp; ++c) {
      fields[c][2 * l - 1] = scaled(d, h.re[c]);
      fields[c][2 * l] = scaled(d, h.im[c]);
    }
  }
  for (int c = 0; c < ncomp; ++c) realFft(fields[c], n1, -1);
}

// Plane synthesis: the common part of the two-dimensional engines.
// fields[c] is [1 .. n1][1 .. n2], n1 = grid.N1 and n2 = grid.N2 both powers
// of two >= 2, grid.lengths the periods. Visits i = 1 .. n1 (outer) and l = l0 .. n2/2 + 1 (inner),
// l0 = 2 for i = 1 and 1 otherwise, with k1 = m(i) 2pi/L1 and k2 = (l - 1) 2pi/L2. In the
// self-conjugate lines l = 1 and l = n2/2 + 1 only i <= n1/2 + 1 is generated; the rest follows by
// Hermitian symmetry and draws nothing. amplitude(k1, k2) gives M(k). Storage in the packed half
// spectrum of rlft3 (nn1 = 1, nn2 = n1, nn3 = n2); the line l = n2/2 + 1 goes to a working nyquist
// line [1 .. 1][1 .. 2 n1], allocated once per call. The mean is set to zero, then one inverse
// rlft3 per component.
template <class Amplitude>
void synthesizePlane(std::span<Matrix> fields, int ncomp, PlaneGrid grid, std::int32_t seed,
                     Amplitude&& amplitude) {
  const int n1 = grid.N1, n2 = grid.N2;
  const float l1 = grid.lengths.first, l2 = grid.lengths.second;
  const float d = coefficientNorm(2, double(l1) * double(l2));
  std::array<Matrix, kMaxComponents> nyquist;
  for (int c = 0; c < ncomp; ++c) nyquist[c] = matrix(1, 1, 1, 2 * n1);

  const int half1 = n1 / 2 + 1;  // index of the highest k1
  const int lastL = n2 / 2 + 1;  // line of the highest k2

  RandomGenerator gen;
  std::int32_t state = seed;
  for (int i = 1; i <= n1; ++i) {
    const float k1 = waveNumber(waveIndex(i, n1), l1);
    for (int l = (i == 1 ? 2 : 1); l <= lastL; ++l) {
      const bool conjugateLine = (l == 1 || l == lastL);
      if (conjugateLine && i > half1) continue;
      const float k2 = waveNumber(l - 1, l2);
      const Mat3 m = amplitude(k1, k2);
      const Coefficient h = drawCoefficient(m, ncomp, gen, state);
      for (int c = 0; c < ncomp; ++c) {
        const float re = scaled(d, h.re[c]);
        const float im = scaled(d, h.im[c]);
        if (!conjugateLine) {
          fields[c][i][2 * l - 1] = re;
          fields[c][i][2 * l] = im;
          continue;
        }
        // In a self-conjugate line the entry at i and its mirror at -k1 are one
        // pair; i = 1 and i = n1/2 + 1 are their own mirrors and stay real.
        auto put = [&](int row, float vr, float vi) {
          if (l == 1) {
            fields[c][row][1] = vr;
            fields[c][row][2] = vi;
          } else {
            nyquist[c][1][2 * row - 1] = vr;
            nyquist[c][1][2 * row] = vi;
          }
        };
        if (i == 1 || i == half1) {
          put(i, re, 0.0f);
        } else {
          put(i, re, im);
          put(mirrorIndex(i, n1), re, -im);
        }
      }
    }
  }
  for (int c = 0; c < ncomp; ++c) {
    fields[c][1][1] = 0.0f;
    fields[c][1][2] = 0.0f;
    rlft3(fields[c], nyquist[c], 1, n1, n2, -1);
  }
}

// Checks that fields holds at least ncomp arrays [1 .. n1]; otherwise ends the
// run with "<who>: field arrays do not match the number of components or the
// grid".
void checkLineFields(std::span<Vector> fields, int ncomp, int n1, const char* who);

// The same for ncomp arrays [1 .. n1][1 .. n2].
void checkPlaneFields(std::span<Matrix> fields, int ncomp, int n1, int n2, const char* who);

// The number of components of a component list, its size: 1 .. most, else
// the run ends with message.
int componentCount(std::span<const int> comps, std::size_t most, const char* message);

// Grid sizes: each at least 2 and a power of two, else "<who>: number of points
// has to be a power of 2 of at least 2".
void checkGridSize(int n, const char* who);

}  // namespace wind::detail
