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
//   atan2(y, x)   the angle of (x, y) in [-pi, pi] within about 8 ulp, with
//                 the signs of atan2 of the C library at zeros; infinities
//                 are not handled (the error is relative to the angle). t = min(|x|, |y|) / max(|x|, |y|); t >
//                 tan(pi/12) is reduced by atan t = pi/6 + atan((t sqrt 3 - 1)
//                 / (t + sqrt 3)); the series of atan to u^29 (|u| <= 0.268).
//   sinCosTurns(u)  cos(2 pi u) and sin(2 pi u) for u in [0, 1] given as a
//                 multiple of 2^-53 (the uniforms of the counter stream), within
//                 about 2 ulp: q = round(4 u) and t = u - q/4 (both exact),
//                 the Taylor series of sin and cos at 2 pi t (|2 pi t| <= pi/4,
//                 to the 17th and 18th powers), rotated by q quarter turns.
//   sqrt(x)       the IEEE square root.
// Arguments outside these domains give results that are unspecified but the
// same for every W. No state, no allocation; header-only, the functions inline.
#include <cstdint>

namespace wind::lanes {

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

// 1 / (2k + 1), k = 1 .. 10: the atanh series of log.
inline constexpr double kAtanh[] = {1.0 / 3,  1.0 / 5,  1.0 / 7,  1.0 / 9,  1.0 / 11,
                                    1.0 / 13, 1.0 / 15, 1.0 / 17, 1.0 / 19, 1.0 / 21};

}  // namespace detail

template <int W>
inline Doubles<W> splat(double v) {
  return Doubles<W>{} + v;
}

// m ? a : b lane by lane, m from a comparison.
template <int W>
inline Doubles<W> select(Int64s<W> m, Doubles<W> a, Doubles<W> b) {
  return m ? a : b;
}

// The bits of a lane as they stand (a cast between vectors of one size).
template <int W>
inline Doubles<W> asDoubles(Bits<W> b) {
  return (Doubles<W>)b;
}

template <int W>
inline Bits<W> asBits(Doubles<W> d) {
  return (Bits<W>)d;
}

template <int W>
inline Doubles<W> sqrt(Doubles<W> x) {
  Doubles<W> r;
  for (int i = 0; i < W; ++i) r[i] = __builtin_sqrt(x[i]);
  return r;
}

// Rounded to float and widened again: the storing of an intermediate value
// in single precision.
template <int W>
inline Doubles<W> toFloat(Doubles<W> x) {
  return __builtin_convertvector(__builtin_convertvector(x, Floats<W>), Doubles<W>);
}

template <int W>
inline Doubles<W> abs(Doubles<W> x) {
  return asDoubles<W>(asBits<W>(x) & ~detail::kSign);
}

// |x| with the sign of s.
template <int W>
inline Doubles<W> withSignOf(Doubles<W> x, Doubles<W> s) {
  return asDoubles<W>((asBits<W>(x) & ~detail::kSign) | (asBits<W>(s) & detail::kSign));
}

// Integers n, |n| < 2^51, held exactly in doubles, as 2^n for -1022 <= n <=
// 1023.
template <int W>
inline Doubles<W> twoToThe(Doubles<W> n) {
  const Bits<W> biased = asBits<W>(n + (detail::kRoundShift + 1023.0)) - detail::kRoundShiftBits;
  return asDoubles<W>(biased << 52);
}

template <int W>
inline Doubles<W> log(Doubles<W> x) {
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
  Doubles<W> p = splat<W>(kAtanh[9]);
  for (int k = 8; k >= 0; --k) p = p * z + kAtanh[k];
  const Doubles<W> twoS = s + s;
  const Doubles<W> r = e * kLn2Hi + (twoS + (twoS * (z * p) + e * kLn2Lo));
  // log 0 = -inf, log inf = inf, below zero (or NaN) NaN.
  const Doubles<W> inf = splat<W>(__builtin_inf());
  Doubles<W> out = select<W>(x == 0.0, -inf, r);
  out = select<W>(x == inf, inf, out);
  return select<W>(x >= 0.0, out, splat<W>(__builtin_nan("")));
}

template <int W>
inline Doubles<W> exp(Doubles<W> x) {
  using namespace detail;
  x = select<W>(x > kExpLimit, splat<W>(kExpLimit), x);
  x = select<W>(x < -kExpLimit, splat<W>(-kExpLimit), x);
  const Doubles<W> n = (x * kLog2E + kRoundShift) - kRoundShift;
  const Doubles<W> r = (x - n * kLn2Hi) - n * kLn2Lo;
  // Taylor series of e^r, Horner from 1/13!.
  Doubles<W> p = splat<W>(1.0 / 6227020800.0);
  constexpr double kInverseFactorials[] = {1.0 / 479001600.0, 1.0 / 39916800.0,
                                           1.0 / 3628800.0,   1.0 / 362880.0,
                                           1.0 / 40320.0,     1.0 / 5040.0,
                                           1.0 / 720.0,       1.0 / 120.0,
                                           1.0 / 24.0,        1.0 / 6.0,
                                           0.5,               1.0,
                                           1.0};
  for (const double c : kInverseFactorials) p = p * r + c;
  // 2^n in two factors, so that neither leaves the normal range.
  const Doubles<W> n1 = (n * 0.5 + kRoundShift) - kRoundShift;
  return (p * twoToThe<W>(n1)) * twoToThe<W>(n - n1);
}

template <int W>
inline Doubles<W> pow(Doubles<W> x, Doubles<W> y) {
  return exp<W>(y * log<W>(x));
}

template <int W>
inline Doubles<W> atan2(Doubles<W> y, Doubles<W> x) {
  using namespace detail;
  const Doubles<W> ax = abs<W>(x), ay = abs<W>(y);
  const Int64s<W> steep = ay > ax;
  const Doubles<W> num = select<W>(steep, ax, ay), den = select<W>(steep, ay, ax);
  const Doubles<W> t = select<W>(den == 0.0, splat<W>(0.0), num / den);
  const Int64s<W> reduce = t > kTanPiOver12;
  const Doubles<W> u = select<W>(reduce, (t * kSqrt3 - 1.0) / (t + kSqrt3), t);
  const Doubles<W> z = u * u;
  // atan u = u (1 - z/3 + z^2/5 - ... - z^14/29), Horner from z^14.
  Doubles<W> p = splat<W>(1.0 / 29);
  for (int k = 13; k >= 0; --k) p = p * (-z) + 1.0 / (2 * k + 1);
  Doubles<W> a = select<W>(reduce, splat<W>(kPiOver6), splat<W>(0.0)) + u * p;
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
inline SinCos<W> sinCosTurns(Doubles<W> u) {
  using namespace detail;
  const Doubles<W> q = (u * 4.0 + kRoundShift) - kRoundShift;
  const Doubles<W> th = (u - q * 0.25) * kTwoPi;
  const Doubles<W> z = th * th;
  // sin th = th + th z (-1/3! + z/5! - ... + z^7/17!),
  // cos th = 1 + z (-1/2! + z/4! - ... - z^8/18!), Horner from the highest power.
  constexpr double kSin[] = {-1.0 / 1307674368000.0, 1.0 / 6227020800.0, -1.0 / 39916800.0,
                             1.0 / 362880.0,          -1.0 / 5040.0,     1.0 / 120.0,
                             -1.0 / 6.0};
  constexpr double kCos[] = {1.0 / 20922789888000.0, -1.0 / 87178291200.0, 1.0 / 479001600.0,
                             -1.0 / 3628800.0,       1.0 / 40320.0,        -1.0 / 720.0,
                             1.0 / 24.0,             -1.0 / 2.0};
  Doubles<W> ps = splat<W>(1.0 / 355687428096000.0);
  for (const double c : kSin) ps = ps * z + c;
  Doubles<W> pc = splat<W>(-1.0 / 6402373705728000.0);
  for (const double c : kCos) pc = pc * z + c;
  const Doubles<W> s = th + (th * z) * ps;
  const Doubles<W> c = 1.0 + z * pc;
  // Quarter turns k = q mod 4: (c, s), (-s, c), (-c, -s), (s, -c).
  const Bits<W> k = asBits<W>(q + kRoundShift) & 3u;
  const Int64s<W> odd = (k & 1u) != 0;
  const Bits<W> cosSign = ((k + 1u) & 2u) << 62, sinSign = (k & 2u) << 62;
  return {asDoubles<W>(asBits<W>(select<W>(odd, s, c)) ^ cosSign),
          asDoubles<W>(asBits<W>(select<W>(odd, c, s)) ^ sinSign)};
}

}  // namespace wind::lanes
