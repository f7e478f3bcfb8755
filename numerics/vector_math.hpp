#pragma once
// Elementary functions of double precision on W lanes at once, with results
// that do not depend on W: the arithmetic of the counter stream
// (numerics/counter_random.hpp) and of its amplitudes
// (tensor/amplitude_lanes.hpp).
//
// Lanes. Doubles<W> is a vector of W doubles (GCC's vector extension; W = 1,
// 2, 4, 8, ...), with Int64s<W>, Bits<W> and Floats<W> its signed, unsigned
// and single-precision companions. Every function applies the same sequence
// of IEEE operations (+, -, *, /, sqrt, conversions between float and double,
// exact bit manipulations and selections) to each lane, with no fused
// multiply-add (the build contracts nothing: -ffp-contract=off), so a lane's
// result is a function of that lane's arguments alone: the same bits for any
// W, on any x86-64 instruction set (SSE2, AVX, AVX-512), in any order of the
// lanes. A wider W only does more at once.
//
// The functions (x, y per lane; ulp: units in the last place of a double):
//   log(x)        natural logarithm: for positive normal and subnormal x
//                 within about 2 ulp; log(0) = -inf, log(+inf) = +inf,
//                 negative x and NaN give NaN. x = 2^e m, m in [sqrt(1/2),
//                 sqrt(2)), s = (m - 1)/(m + 1), log m = 2 atanh(s) by its
//                 series in s^2 to s^21 (|s| < 0.1716; Abramowitz and Stegun
//                 4.1.28), plus e ln 2 in two parts (Cody and Waite 1980).
//   exp(x)        e^x within about 2 ulp; overflow gives +inf, underflow 0,
//                 NaN stays NaN. x = n ln 2 + r with n the integer nearest to
//                 x / ln 2 (|r| <= 0.347, r in two parts as above), e^r by its
//                 Taylor series to r^13 / 13!, times 2^n in two factors.
//   pow(x, y)     exp(y log x) for x > 0: relative error below
//                 (3 |y log x| + 4) 2^-53.
//   atan2(y, x)   the angle of (x, y) in [-pi, pi] within about 8 ulp of the
//                 angle, with the signs of the C library's atan2 at zeros;
//                 infinities are not handled. t = min(|x|, |y|) / max(|x|,
//                 |y|); t > tan(pi/12) is reduced by atan t = pi/6 + atan((t
//                 sqrt 3 - 1) / (t + sqrt 3)); the series of atan to u^29
//                 (|u| <= 0.268).
//   sinCosTurns(u)  cos(2 pi u) and sin(2 pi u) for u in [0, 1] given as a
//                 multiple of 2^-53 (the uniforms of the counter stream), within
//                 about 2 ulp: q = round(4 u) and t = u - q/4 (both exact),
//                 the Taylor series of sin and cos at 2 pi t (|2 pi t| <= pi/4,
//                 to the 17th and 18th powers), rotated by q quarter turns.
//   sqrt(x)       the IEEE square root.
// The series are summed by Estrin's scheme (polynomial). Arguments outside
// these domains give results that are unspecified but the same for every W.
// No state, no allocation; header-only.
//
// Every function is always inlined, at every optimisation level: a function
// compiled for AVX2 or AVX-512 (a target attribute) that called a baseline
// copy would pass its wide vectors in other registers than the copy expects
// (the x86-64 psABI differs between them for vectors of 32 bytes and more).
#include <bit>
#include <cstddef>
#include <cstdint>

namespace wind::lanes {

// The builds of the routines that compute on lanes: the baseline x86-64
// instruction set (SSE2), AVX2, AVX-512 (its foundation, AVX512F). Each
// gives the same bits; the widest the processor has is the fastest.
enum class InstructionSet { baseline, avx2, avx512 };

inline bool supported(InstructionSet s) {
  switch (s) {
    case InstructionSet::avx512: return __builtin_cpu_supports("avx512f");
    case InstructionSet::avx2: return __builtin_cpu_supports("avx2");
    default: return true;
  }
}

inline InstructionSet widestInstructionSet() {
  return supported(InstructionSet::avx512) ? InstructionSet::avx512
         : supported(InstructionSet::avx2) ? InstructionSet::avx2
                                           : InstructionSet::baseline;
}

template <int W>
struct LaneTypes {
  typedef double Doubles __attribute__((vector_size(8 * W)));
  typedef std::int64_t Int64s __attribute__((vector_size(8 * W)));
  typedef std::uint64_t Bits __attribute__((vector_size(8 * W)));
  typedef float Floats __attribute__((vector_size(4 * W)));
};

template <int W>
using Doubles = typename LaneTypes<W>::Doubles;
template <int W>
using Int64s = typename LaneTypes<W>::Int64s;  // comparison results: -1 true, 0 false
template <int W>
using Bits = typename LaneTypes<W>::Bits;
template <int W>
using Floats = typename LaneTypes<W>::Floats;

namespace detail {

inline constexpr double kLn2Hi = 6.93147180369123816490e-01;  // 32 leading bits of ln 2
inline constexpr double kLn2Lo = 1.90821492927058770002e-10;  // ln 2 - kLn2Hi
inline constexpr double kLog2E = 1.44269504088896338700e+00;  // 1 / ln 2
inline constexpr double kSqrt2 = 1.41421356237309514547e+00;
inline constexpr double kSqrt3 = 1.73205080756887719318e+00;
inline constexpr double kTanPiOver12 = 2.67949192431122695760e-01;  // 2 - sqrt 3
inline constexpr double kPi = 3.14159265358979311600e+00;
inline constexpr double kPiOver2 = 1.57079632679489655800e+00;
inline constexpr double kPiOver6 = 5.23598775598298815658e-01;
inline constexpr double kTwoPi = 6.28318530717958623200e+00;
inline constexpr double kTwoTo52 = 4503599627370496.0;
// 1.5 2^52: adding it rounds a double of magnitude below 2^51 to an integer
// and leaves that integer, offset, in the low bits.
inline constexpr double kRoundShift = 6755399441055744.0;
inline constexpr double kMinNormal = 2.2250738585072014e-308;  // 2^-1022
inline constexpr double kTwoTo54 = 18014398509481984.0;
inline constexpr double kExpLimit = 1100.0;  // |x| beyond it: overflow or underflow anyway
inline constexpr std::uint64_t kExponentOne = 0x3FF0000000000000ull;
inline constexpr std::uint64_t kMantissa = 0x000FFFFFFFFFFFFFull;
inline constexpr std::uint64_t kSign = 0x8000000000000000ull;
inline constexpr std::uint64_t kTwoTo52Bits = 0x4330000000000000ull;
inline constexpr std::uint64_t kRoundShiftBits = 0x4338000000000000ull;

// 1 / (2k + 3), k = 0 .. 9: the atanh series of log.
inline constexpr double kAtanh[] = {1.0 / 3,  1.0 / 5,  1.0 / 7,  1.0 / 9,  1.0 / 11,
                                    1.0 / 13, 1.0 / 15, 1.0 / 17, 1.0 / 19, 1.0 / 21};
// 1 / k!, k = 0 .. 13: the Taylor series of exp.
inline constexpr double kExp[] = {1.0,
                                  1.0,
                                  1.0 / 2,
                                  1.0 / 6,
                                  1.0 / 24,
                                  1.0 / 120,
                                  1.0 / 720,
                                  1.0 / 5040,
                                  1.0 / 40320,
                                  1.0 / 362880,
                                  1.0 / 3628800,
                                  1.0 / 39916800,
                                  1.0 / 479001600,
                                  1.0 / 6227020800};
// (-1)^k / (2k + 1), k = 0 .. 14: the series of atan u / u in u^2.
inline constexpr double kAtan[] = {1.0,       -1.0 / 3,  1.0 / 5,   -1.0 / 7,  1.0 / 9,
                                   -1.0 / 11, 1.0 / 13,  -1.0 / 15, 1.0 / 17,  -1.0 / 19,
                                   1.0 / 21,  -1.0 / 23, 1.0 / 25,  -1.0 / 27, 1.0 / 29};
// (-1)^(k+1) / (2k + 3)!, k = 0 .. 7: (sin th - th) / th^3 in th^2.
inline constexpr double kSin[] = {-1.0 / 6,           1.0 / 120,          -1.0 / 5040,
                                  1.0 / 362880,       -1.0 / 39916800,    1.0 / 6227020800,
                                  -1.0 / 1307674368000, 1.0 / 355687428096000};
// (-1)^(k+1) / (2k + 2)!, k = 0 .. 8: (cos th - 1) / th^2 in th^2.
inline constexpr double kCos[] = {-1.0 / 2,
                                  1.0 / 24,
                                  -1.0 / 720,
                                  1.0 / 40320,
                                  -1.0 / 3628800,
                                  1.0 / 479001600,
                                  -1.0 / 87178291200,
                                  1.0 / 20922789888000,
                                  -1.0 / 6402373705728000};

}  // namespace detail

template <int W>
[[gnu::always_inline]] inline Doubles<W> splat(double v) {
  return Doubles<W>{} + v;
}

// m ? a : b lane by lane, m from a comparison.
template <int W>
[[gnu::always_inline]] inline Doubles<W> select(Int64s<W> m, Doubles<W> a, Doubles<W> b) {
  return m ? a : b;
}

// The bits of a lane as they stand (a cast between vectors of one size).
template <int W>
[[gnu::always_inline]] inline Doubles<W> asDoubles(Bits<W> b) {
  return (Doubles<W>)b;
}

template <int W>
[[gnu::always_inline]] inline Bits<W> asBits(Doubles<W> d) {
  return (Bits<W>)d;
}

template <int W>
[[gnu::always_inline]] inline Doubles<W> sqrt(Doubles<W> x) {
  Doubles<W> r;
  for (int i = 0; i < W; ++i) r[i] = __builtin_sqrt(x[i]);
  return r;
}

// Rounded to float and widened again: the storing of an intermediate value
// in single precision.
template <int W>
[[gnu::always_inline]] inline Doubles<W> toFloat(Doubles<W> x) {
  // Widened lane by lane: GCC turns this loop into the one widening
  // instruction, where its generic conversion of the vector would split it.
  const Floats<W> f = __builtin_convertvector(x, Floats<W>);
  Doubles<W> r;
  for (int i = 0; i < W; ++i) r[i] = f[i];
  return r;
}

template <int W>
[[gnu::always_inline]] inline Doubles<W> abs(Doubles<W> x) {
  return asDoubles<W>(asBits<W>(x) & ~detail::kSign);
}

// |x| with the sign of s.
template <int W>
[[gnu::always_inline]] inline Doubles<W> withSignOf(Doubles<W> x, Doubles<W> s) {
  return asDoubles<W>((asBits<W>(x) & ~detail::kSign) | (asBits<W>(s) & detail::kSign));
}

// Integers n, |n| < 2^51, held exactly in doubles, as 2^n for -1022 <= n <=
// 1023.
template <int W>
[[gnu::always_inline]] inline Doubles<W> twoToThe(Doubles<W> n) {
  const Bits<W> biased = asBits<W>(n + (detail::kRoundShift + 1023.0)) - detail::kRoundShiftBits;
  return asDoubles<W>(biased << 52);
}

// sum of c[B + i] x^i for i < N by Estrin's scheme (Knuth vol. 2, 4.6.4),
// p[k] = x^(2^k): the lower half of the terms plus the upper half times the
// power of x that separates them, recursively, in a fixed order. The depth of
// dependent operations grows with log N rather than N, which is what bounds
// the time of a long polynomial on wide registers; written as templates, the
// tree is unrolled at every optimisation level.
template <std::size_t B, std::size_t N, int W, std::size_t M>
[[gnu::always_inline]] inline Doubles<W> estrin(const double (&c)[M], const Doubles<W>* p) {
  if constexpr (N == 1) {
    return splat<W>(c[B]);
  } else {
    constexpr std::size_t half = std::bit_floor(N - 1);
    return estrin<B, half, W>(c, p) +
           estrin<B + half, N - half, W>(c, p) * p[std::countr_zero(half)];
  }
}

// c[0] + c[1] x + ... + c[N-1] x^(N-1), N <= 16.
template <int W, std::size_t N>
[[gnu::always_inline]] inline Doubles<W> polynomial(Doubles<W> x, const double (&c)[N]) {
  static_assert(N >= 1 && N <= 16);
  Doubles<W> p[4] = {x, x * x, {}, {}};
  p[2] = p[1] * p[1];
  p[3] = p[2] * p[2];
  return estrin<0, N, W>(c, p);
}

template <int W>
[[gnu::always_inline]] inline Doubles<W> log(Doubles<W> x) {
  using namespace detail;
  // Subnormals scaled into the normal range first.
  const Int64s<W> tiny = x < kMinNormal;
  const Doubles<W> xs = x * select<W>(tiny, splat<W>(kTwoTo54), splat<W>(1.0));
  const Bits<W> b = asBits<W>(xs);
  // The biased exponent as an exact double, and the mantissa in [1, 2).
  Doubles<W> e = asDoubles<W>((b >> 52) | kTwoTo52Bits) - (kTwoTo52 + 1023.0);
  e = e - select<W>(tiny, splat<W>(54.0), splat<W>(0.0));
  Doubles<W> m = asDoubles<W>((b & kMantissa) | kExponentOne);
  const Int64s<W> high = m > kSqrt2;
  m = m * select<W>(high, splat<W>(0.5), splat<W>(1.0));
  e = e + select<W>(high, splat<W>(1.0), splat<W>(0.0));
  const Doubles<W> f = m - 1.0;
  const Doubles<W> s = f / (f + 2.0);
  const Doubles<W> z = s * s;
  const Doubles<W> p = polynomial<W>(z, kAtanh);
  const Doubles<W> twoS = s + s;
  const Doubles<W> r = e * kLn2Hi + (twoS + (twoS * (z * p) + e * kLn2Lo));
  // log 0 = -inf, log inf = inf, below zero (or NaN) NaN.
  const Doubles<W> inf = splat<W>(__builtin_inf());
  Doubles<W> out = select<W>(x == 0.0, -inf, r);
  out = select<W>(x == inf, inf, out);
  return select<W>(x >= 0.0, out, splat<W>(__builtin_nan("")));
}

template <int W>
[[gnu::always_inline]] inline Doubles<W> exp(Doubles<W> x) {
  using namespace detail;
  x = select<W>(x > kExpLimit, splat<W>(kExpLimit), x);
  x = select<W>(x < -kExpLimit, splat<W>(-kExpLimit), x);
  const Doubles<W> n = (x * kLog2E + kRoundShift) - kRoundShift;
  const Doubles<W> r = (x - n * kLn2Hi) - n * kLn2Lo;
  const Doubles<W> p = polynomial<W>(r, kExp);
  // 2^n in two factors, so that neither leaves the normal range.
  const Doubles<W> n1 = (n * 0.5 + kRoundShift) - kRoundShift;
  return (p * twoToThe<W>(n1)) * twoToThe<W>(n - n1);
}

template <int W>
[[gnu::always_inline]] inline Doubles<W> pow(Doubles<W> x, Doubles<W> y) {
  return exp<W>(y * log<W>(x));
}

template <int W>
[[gnu::always_inline]] inline Doubles<W> atan2(Doubles<W> y, Doubles<W> x) {
  using namespace detail;
  const Doubles<W> ax = abs<W>(x), ay = abs<W>(y);
  const Int64s<W> steep = ay > ax;
  const Doubles<W> num = select<W>(steep, ax, ay), den = select<W>(steep, ay, ax);
  const Doubles<W> t = select<W>(den == 0.0, splat<W>(0.0), num / den);
  const Int64s<W> reduce = t > kTanPiOver12;
  const Doubles<W> u = select<W>(reduce, (t * kSqrt3 - 1.0) / (t + kSqrt3), t);
  const Doubles<W> z = u * u;
  Doubles<W> a = select<W>(reduce, splat<W>(kPiOver6), splat<W>(0.0)) + u * polynomial<W>(z, kAtan);
  a = select<W>(steep, kPiOver2 - a, a);
  const Int64s<W> left = (asBits<W>(x) & kSign) != 0;  // x < 0, or x = -0
  a = select<W>(left, kPi - a, a);
  return withSignOf<W>(a, y);
}

// cos(2 pi u) and sin(2 pi u).
template <int W>
struct SinCos {
  Doubles<W> cos, sin;
};

template <int W>
[[gnu::always_inline]] inline SinCos<W> sinCosTurns(Doubles<W> u) {
  using namespace detail;
  const Doubles<W> q = (u * 4.0 + kRoundShift) - kRoundShift;
  const Doubles<W> th = (u - q * 0.25) * kTwoPi;
  const Doubles<W> z = th * th;
  const Doubles<W> s = th + (th * z) * polynomial<W>(z, kSin);
  const Doubles<W> c = 1.0 + z * polynomial<W>(z, kCos);
  // Quarter turns k = q mod 4: (c, s), (-s, c), (-c, -s), (s, -c).
  const Bits<W> k = asBits<W>(q + kRoundShift) & 3u;
  const Int64s<W> odd = (k & 1u) != 0;
  const Bits<W> cosSign = ((k + 1u) & 2u) << 62, sinSign = (k & 2u) << 62;
  return {asDoubles<W>(asBits<W>(select<W>(odd, s, c)) ^ cosSign),
          asDoubles<W>(asBits<W>(select<W>(odd, c, s)) ^ sinSign)};
}

}  // namespace wind::lanes
