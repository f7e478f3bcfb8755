#pragma once
// Table search, cubic splines, bicubic interpolation in one grid cell and a
// secant root finder (after Press et al., Numerical Recipes, 2nd ed., sections
// 3.3, 3.4, 3.6 and 9.2).
//
// Index base and length. The routines are written for 1-based tables x_1 .. x_n.
// A table is passed as a std::span whose element 0 is x_1 and whose length is n:
// an index-ranged array's span() (vector(1, n), vector(0, n - 1)), a std::array
// or span.first(n) of a longer one. The abscissa span sets n; the value and
// second-derivative spans must hold at least n elements (a shorter one is a
// programming error, checked in debug and sanitizer builds, not in release
// builds), and only their first n are read or written.
//
// Precision. Data and results are single precision; intermediate arithmetic is
// done in double and rounded where a value is stored, so that results do not
// depend on the compiler's choice of registers.
//
// Failures are fatal and go through fatalError:
//   splint    "Bad xa input to routine splint"                 two equal abscissas bracket x
//   bcuint    "Bad input in routine bcuint"                    a cell of zero width
//   rtsec     "Maximum number of iterations exceeded in rtsec" no convergence in 30 steps
//   splineSetup "splineSetup needs at least two points"        n < 2
//
// No routine keeps state between calls. splineSetup takes its work vector from
// the heap on every call (allocation failure is fatal, as for every vector);
// the others allocate nothing.

#include <array>
#include <cmath>
#include <span>
#include <utility>

#include "support/fatal_error.hpp"

namespace wind {

// Bisection search in the monotonic (rising or falling) table xx_1 .. xx_n.
// For a rising table the result j satisfies xx_j <= x < xx_{j+1}: 0 below the
// table, n above it. A value equal to an end point is put into the first or last
// interval (result 1 or n - 1, never 0 or n). For a falling table the result
// satisfies xx_j > x >= xx_{j+1}, with the same treatment of the end points.
// Never fails; the out-of-range results 0 and n are for the caller to test.
// An empty table gives 0.
int tableLocate(std::span<const float> xx, float x);

// Second derivatives y2_1 .. y2_n of the cubic spline through (x_i, y_i),
// i = 1 .. n, with x strictly increasing, by the tridiagonal solve of Press et
// al. (3.3.7). yp1 and ypn are the first derivatives wanted at x_1 and x_n; a
// value above 0.99e30 asks for a natural end (second derivative zero) instead.
// Fails with "splineSetup needs at least two points" when n < 2.
inline constexpr float kNaturalSpline = 1.0e30f;
void splineSetup(std::span<const float> x, std::span<const float> y, float yp1, float ypn,
                 std::span<float> y2);

// Value at x of the cubic spline set up by splineSetup over (xa, ya), y2a its
// second derivatives. The interval is found by bisection; outside
// [xa_1, xa_n] the end interval's cubic is extrapolated without complaint.
// Fails with "Bad xa input to routine splint" when the two abscissas that
// bracket x are equal (also for n < 2).
float splint(std::span<const float> xa, std::span<const float> ya, std::span<const float> y2a,
             float x);

// Corner data of one bicubic cell. Corners are numbered counter-clockwise from
// the lower left in the (first, second) coordinate plane and stored at index
// corner - 1: corner 1 = (x1l, x2l), 2 = (x1u, x2l), 3 = (x1u, x2u), 4 = (x1l, x2u).
using BicubicCorners = std::array<float, 4>;

// c[i - 1][j - 1] is the coefficient c_ij of t^(i-1) u^(j-1), i, j = 1 .. 4.
using BicubicCoefficients = std::array<std::array<float, 4>, 4>;

// Coefficients of the bicubic Hermite patch p(t, u) on the unit square whose
// value, d/dt, d/du and d2/dt du at the four corners equal y, y1 d1, y2 d2 and
// y12 d1 d2 (Press et al., 3.6.6): y the corner values, y1 and y2 the
// derivatives along the first and second coordinate, y12 the cross derivatives,
// d1 and d2 the cell sizes.
BicubicCoefficients bicubicCoef(const BicubicCorners& y, const BicubicCorners& y1,
                                const BicubicCorners& y2, const BicubicCorners& y12, float d1,
                                float d2);

// Interpolated value and first derivatives of a bicubic patch.
struct BicubicValue {
  float ansy;   // value
  float ansy1;  // derivative along the first coordinate
  float ansy2;  // derivative along the second coordinate
};

// One bicubic cell: the rectangle [x1l, x1u] x [x2l, x2u] and the corner data
// of bicubicCoef at its corners (y, y1, y2, y12 as there, d1 = x1u - x1l and
// d2 = x2u - x2l).
struct BicubicCell {
  float x1l, x1u, x2l, x2u;
  BicubicCorners y, y1, y2, y12;
};

// Bicubic interpolation at (x1, x2) in a cell. The point need not lie inside the
// cell; outside it the patch is extrapolated. Fails with "Bad input in routine
// bcuint" when the cell has zero width in either coordinate.
BicubicValue bcuint(const BicubicCell& cell, float x1, float x2);

// Root of func by the secant method (Press et al., routine rtsec), started from
// x1 and x2; the start point with the smaller |func| becomes the first estimate.
// The root need not be bracketed. Returns as soon as a step is shorter than xacc
// (absolute) or func vanishes exactly; after 30 steps without that, fails with
// "Maximum number of iterations exceeded in rtsec".
//
// func is any callable taking a float and returning a float or a double; its
// values are held in double, the abscissas and steps in single precision.
// Callers capture whatever parameters func needs. rtsecStatus is the same
// iteration with its outcome returned: true with the root, or false with the
// last estimate after 30 steps, for callers that name the failure themselves.
inline constexpr int kRtsecMaxSteps = 30;

template <class Func>
bool rtsecStatus(Func&& func, float x1, float x2, float xacc, float& root) {
  double fl = static_cast<double>(func(x1));
  double f = static_cast<double>(func(x2));
  float rts, xl;
  if (std::fabs(fl) < std::fabs(f)) {
    rts = x1;
    xl = x2;
    std::swap(fl, f);
  } else {
    xl = x1;
    rts = x2;
  }
  for (int step = 1; step <= kRtsecMaxSteps; ++step) {
    const float dx = static_cast<float>(
        (static_cast<double>(xl) - static_cast<double>(rts)) * f / (f - fl));
    xl = rts;
    fl = f;
    rts = static_cast<float>(static_cast<double>(rts) + static_cast<double>(dx));
    f = static_cast<double>(func(rts));
    if (std::fabs(dx) < xacc || f == 0.0) {
      root = rts;
      return true;
    }
  }
  root = rts;
  return false;
}

template <class Func>
float rtsec(Func&& func, float x1, float x2, float xacc) {
  float root = 0.0f;
  if (!rtsecStatus(func, x1, x2, xacc, root))
    fatalError("Maximum number of iterations exceeded in rtsec");
  return root;
}

}  // namespace wind
