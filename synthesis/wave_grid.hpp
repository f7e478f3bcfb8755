#pragma once
// The discrete wave-number grid shared by the Fourier synthesis engines.
//
// A periodic field of n points over a box of length Lbox has the wave numbers
// m dk, dk = 2 pi / Lbox, with the integer m taking n consecutive values. The
// engines hold them in the order of the packed spectra of numerics/fft.hpp
// (Press et al. 1992, 12.4): 1-based index i = 1 .. n carries
//     m(i) = ((h + i - 1) mod n) - h,   h = n / 2 (integer division),
// that is m = 0, 1, .., n/2 - 1, -n/2, .., -1. Index h + 1 carries -n/2, the
// highest frequency, which is its own negative. The last direction of a real
// transform holds only m = 0 .. n/2, at index m + 1.
//
// 2 pi is the single-precision 6.2831855 throughout. Wave numbers are stored as
// float: the product m 2pi / Lbox is formed in double and rounded once.
//
// Mirror index: the wave number -m sits at index 1 for i = 1 and at n - i + 2
// otherwise; the mirror of the highest frequency is itself.
//
// Everything here is a small inline function: no state, no allocation.
#include <cmath>

namespace wind {

// 2 pi in single precision (6.2831854820251465).
inline constexpr float kGridTwoPi = 6.2831854820251465f;

// Integer wave number m(i) of index i = 1 .. n, by floating-point remainder on
// exact integers (exact for every grid that fits in memory).
inline double waveIndex(int i, int n) {
  const int h = n / 2;
  return std::fmod(double(h) + double(i) - 1.0, double(n)) - double(h);
}

// Wave number (rad/m) of index i = 1 .. n on a box of length boxLength:
// m(i) 2pi / boxLength, rounded to float.
inline float waveNumber(int i, int n, float boxLength) {
  return static_cast<float>(waveIndex(i, n) * double(kGridTwoPi) / double(boxLength));
}

// Wave number of index l = 1 .. n/2 + 1 of the last, non-negative direction:
// (l - 1) 2pi / boxLength, rounded to float.
inline float halfWaveNumber(int l, float boxLength) {
  return static_cast<float>(double(l - 1) * double(kGridTwoPi) / double(boxLength));
}

// Index of -m(i): 1 for i = 1, n - i + 2 otherwise.
inline int mirrorIndex(int i, int n) { return i == 1 ? 1 : n - i + 2; }

// True for the indices whose wave number is its own negative: 1 (m = 0) and
// n/2 + 1 (m = -n/2). For n = 1 only index 1.
inline bool isSelfMirror(int i, int n) { return i == 1 || i == n / 2 + 1; }

}  // namespace wind
