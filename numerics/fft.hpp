#pragma once
// In-place radix-2 fast Fourier transforms of single-precision data.
//
//   complexFft   one-dimensional complex transform
//   realFft      one-dimensional transform of real data, packed half spectrum
//   complexFftN  complex transform over any number of dimensions
//   rlft3        three-dimensional transform of real data (two-dimensional
//                with nn1 = 1), half spectrum in place plus one extra plane
//
// Sign convention. The transform with sign isign = s (+1 "forward", -1
// "inverse") computes
//     H(k) = sum_n h(n) exp(s 2 pi i k n / N),
// with zero-based n and k, the exponent summed over the dimensions. Nothing is
// divided by N: complexFft / complexFftN forward then inverse return N times the
// input, realFft and rlft3 forward then inverse return N/2 times the input (their
// inverses carry a factor 1/2, see below).
//
// Layout. Arrays are 1-based. Complex values are interleaved: element 2m+1 holds
// the real and element 2m+2 the imaginary part of the value of zero-based index
// m. Multi-dimensional arrays are row-major, last index fastest.
//
// Algorithms: bit reversal followed by Danielson-Lanczos butterflies; the real
// transforms split one complex transform of half the length into the spectrum
// of real data (Press et al. 1992, sections 12.2-12.5; Brigham 1988). Twiddle
// factors come from the trigonometric recurrence
//     w <- w + w (wpr + i wpi),  wpr = -2 sin^2(theta/2),  wpi = sin theta,
// in double precision, two sine evaluations per stage; 2 pi is taken as
// 6.28318530717959 and pi as 3.141592653589793. Butterfly arithmetic runs in
// double and is rounded to float where it is stored back into the data.
//
// Cost: O(N log N), in place, nothing allocated; all index arithmetic is 64-bit,
// so arrays of more than 2^31 floats are transformed correctly.
//
// Preconditions checked on entry (each failure ends the run through fatalError):
// every length and dimension a power of two (realFft: at least 2, rlft3: nn3 at
// least 2), isign = +1 or -1, and for the array forms index ranges that fit the
// transform. The pointer forms cannot check that the array is long enough.
//
// State: none. The transforms are reentrant on distinct arrays.
#include <cstdint>
#include <span>

#include "numerics/arrays.hpp"

namespace wind {

// True for 1, 2, 4, 8, ... and false for every n <= 0: the lengths the
// transforms accept, and the grid sizes the simulator accepts.
inline bool isPowerOfTwo(std::int64_t n) { return n > 0 && (n & (n - 1)) == 0; }

// complexFft: data[1 .. 2 nn] holds nn complex values; replaced by their
// transform with sign isign. `data` points at element 1.
void complexFft(float* data, std::int64_t nn, int isign);
// The same on a 1-based vector; its range must start at 1 and hold 2 nn floats.
void complexFft(Vector& data, std::int64_t nn, int isign);

// realFft: data[1 .. n], n a power of two >= 2. `data` points at element 1.
//  isign = +1: n real values f_0 .. f_{n-1} in, the half spectrum
//    F_k = sum_j f_j exp(+2 pi i j k / n) out, packed: data[1] = F_0 and
//    data[2] = F_{n/2} (both real); data[2k+1] = Re F_k, data[2k+2] = Im F_k
//    for k = 1 .. n/2 - 1.
//  isign = -1: a packed half spectrum in, g_j = 1/2 sum_{k=0}^{n-1} F_k
//    exp(-2 pi i j k / n) out for j = 0 .. n-1, with F_{n-k} = conj F_k.
void realFft(float* data, std::int64_t n, int isign);
// The same on a 1-based vector; its range must start at 1 and hold n floats.
void realFft(Vector& data, std::int64_t n, int isign);

// complexFftN: nn[0 .. ndim-1] are the dimensions, slowest first;
// data[1 .. 2 prod(nn)] holds the complex array, last index fastest. Replaced by
// its ndim-dimensional transform with sign isign. `data` points at element 1.
void complexFftN(float* data, std::span<const std::int64_t> nn, int isign);

// rlft3: data is [1 .. nn1][1 .. nn2][1 .. nn3] exactly, nyquistPlane
// [1 .. nn1][1 .. 2 nn2] exactly.
//  isign = +1: the real array h(x1, x2, x3) in; out H(k) = sum_x h(x)
//    exp(+2 pi i (k1 x1/nn1 + k2 x2/nn2 + k3 x3/nn3)) for 0 <= k3 <= nn3/2:
//      k3 < nn3/2:  data[i1][i2][2 k3 + 1] = Re H, data[i1][i2][2 k3 + 2] = Im H
//      k3 = nn3/2:  nyquistPlane[i1][2 i2 - 1] = Re H, nyquistPlane[i1][2 i2] = Im H
//    with i1 = k1 + 1 for k1 = 0 .. nn1 - 1, a negative wave number -q held at
//    i1 = nn1 - q + 1 (likewise i2); index nn1/2 + 1 is the highest frequency.
//  isign = -1: data and nyquistPlane in that layout; out in data
//    1/2 sum_k H(k) exp(-2 pi i (...)) over the whole grid of k, the half with
//    k3 > nn3/2 supplied by H(-k) = conj H(k). nyquistPlane is left holding
//    intermediate values of no further use.
// Fails with "rlft3: problem with dimensions or contiguity of data array\n" when
// the ranges of data do not match nn1, nn2, nn3 or a dimension is not a power of
// two.
void rlft3(F3tensor& data, Matrix& nyquistPlane, int nn1, int nn2, int nn3, int isign);
// Two-dimensional form: a matrix [1 .. nn2][1 .. nn3] seen as a
// three-dimensional array with a single first index; nn1 must be 1 and
// nyquistPlane is [1 .. 1][1 .. 2 nn2].
void rlft3(Matrix& data, Matrix& nyquistPlane, int nn1, int nn2, int nn3, int isign);

}  // namespace wind
