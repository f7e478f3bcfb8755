#pragma once
// Adaptive quadrature in one and two dimensions.
//
//   adapint (f, a, b,       tol, maxfun, nofun, flag)  ~ integral of f(x)    over [a, b]
//   adapint2(f, a, b, c, d, tol, maxfun, nofun, flag)  ~ integral of f(x, y) over [a, b] x [c, d]
//
// Both are globally adaptive in the sense of Berntsen, Espelid and Genz: every
// region is either accepted or split in two, the half that looks rougher is
// processed first and the other waits on an explicit stack of at most 64 pending
// regions. A region is accepted when its error indicator is small against tol
// times a running estimate Q of the integral of |f| (the magnitudes of the
// regions accepted so far, of those still pending and of the current one), so
// tol is a relative tolerance on the whole integral, not on each piece.
//
// One dimension. On an interval of length h the rule samples the relative
// positions 0, 1/8, 1/4, 1/2, 3/4, 7/8, 1 (values f0, f18, fq1, fm, fq3, f78, f1):
//     estimate  h (549 (f0+f1) + 2048 (f18+f78) + 2016 (fq1+fq3) + 4004 fm) / 13230,
// exact for polynomials of degree 7, and the null rule
//     N = h (15 (f0+f1) + 84 (fq1+fq3) - 64 (f18+f78) - 70 fm),
// which vanishes on polynomials of degree 5, serves as error indicator. Halving
// reuses five of the seven values, so each visit costs three evaluations.
//
// Two dimensions. On a rectangle of signed area A, with the 5x5 grid of quarter
// positions F(i, j) (i along x, j along y, 0..4), the 13-point rule
//     estimate  A (3 Sc + 8 (Se + fc) + 32 So) / 180        (exact to total degree 5)
//     indicator E = A (8 So + 2 Se - 3 Sc - 28 fc) / 45      (zero to total degree 3)
// uses the corners (Sc), edge midpoints (Se), centre (fc) and the four interior
// points F(1|3, 1|3) (So). Each visit costs four evaluations, each split six more.
// The result keeps the orientation of the rectangle through the signed area.
//
// Status written to flag:
//   0  converged;
//   1  the subdivision depth reached 64 somewhere: the tolerance was relaxed to
//      what the deepest region achieved and the result is still returned;
//   2  more than maxfun evaluations were needed: the result is 0.
// When the depth limit (or, in one dimension, the resolution of double) stops a
// region from being split, it is accepted as it is and tol is raised, for the rest
// of the integration, to exactly the value that region would have passed.
//
// Sums are compensated (Kahan): S' = t + S, C += t - (S' - S), result S + C.
//
// The integrand is any callable, double(double) for adapint and
// double(double, double) for adapint2; it is called exactly nofun times and
// carries its own parameters (capture them in a lambda). The integrators keep
// their stacks in their own frame: no allocation, no output, no global state.
// adapint with b < a returns minus the integral over [b, a].

#include <cmath>

namespace wind {

// Status codes of adapint and adapint2.
inline constexpr int kQuadConverged = 0;
inline constexpr int kQuadDepthLimit = 1;
inline constexpr int kQuadBudgetExceeded = 2;

// Maximum number of pending regions (and subdivision depth).
inline constexpr int kQuadMaxDepth = 64;

namespace quadrature_detail {

// Compensated summation with the correction accumulated separately.
struct CompensatedSum {
  double s = 0.0;
  double c = 0.0;
  void add(double t) {
    const double sNew = t + s;
    c += t - (sNew - s);
    s = sNew;
  }
  double value() const { return s + c; }
};

// The magnitudes of the accepted and of the pending regions, which with the
// current one make up the running estimate Q of the integral of |f|.
struct Magnitudes {
  double acc = 0.0;   // accepted regions
  double pend = 0.0;  // pending regions
};

// ---------------------------------------------------------------- adapint

// 2205/64: ratio between the magnitude scale of the 7-point rule (12 times a
// Simpson estimate) and its weight sum 13230, folded into the convergence test.
inline constexpr double kRule7Scale = 34.453125;
// 64/2205, its reciprocal, for the relaxed tolerance.
inline constexpr double kRule7ScaleInv = 0.029024943310657598;
// 1/13230, the weight normalisation of the 7-point rule.
inline constexpr double kRule7Norm = 7.558578987150416e-5;

// An interval oriented from x0 to x1 (x1 < x0 is allowed), with its values at
// the start, quarter point, midpoint and end: what a visit starts from.
struct Interval {
  double x0, x1, f0, fq1, fm, f1;
};

// A pending interval and the pending magnitude to restore when it is taken up
// again.
struct PendingInterval {
  Interval v;
  double pend;
};

// The three new values of a visit, at the three-quarter point and at 1/8 and
// 7/8 of the interval, taken in this order.
struct IntervalSample {
  double fq3, f18, f78;
};

template <class Func>
IntervalSample sampleInterval(Func& f, const Interval& v) {
  IntervalSample s;
  s.fq3 = f((v.x0 + 3 * v.x1) / 4);
  s.f18 = f((7 * v.x0 + v.x1) / 8);
  s.f78 = f((v.x0 + 7 * v.x1) / 8);
  return s;
}

// The error estimate of a visit: the magnitudes of the two halves, the null
// rule scaled to the whole span, Q, and whether the interval is accepted.
struct IntervalEstimate {
  double mL, mR, err, q;
  bool converged;
};

inline IntervalEstimate estimateInterval(const Interval& v, const IntervalSample& s, double h,
                                         double span, const Magnitudes& m, double tol) {
  IntervalEstimate e;
  e.mL = std::fabs(4 * v.fq1 + v.f0 + v.fm) * h;
  e.mR = std::fabs(4 * s.fq3 + v.f1 + v.fm) * h;
  const double nullRule = h * (15 * (v.f0 + v.f1) + 84 * (v.fq1 + s.fq3) -
                               64 * (s.f18 + s.f78) - 70 * v.fm);
  e.q = e.mR + e.mL + m.pend + m.acc;
  e.err = std::sqrt(span / h) * std::fabs(nullRule);
  e.converged = e.q * tol * kRule7Scale >= e.err;
  return e;
}

// The 7-point rule of an interval of length h, before the factor 1/13230.
inline double rule7(const Interval& v, const IntervalSample& s, double h) {
  return h * (549 * (v.f0 + v.f1) + 2048 * (s.f18 + s.f78) + 2016 * (v.fq1 + s.fq3) +
              4004 * v.fm);
}

// Splits v at its midpoint xm: the half whose second difference is smaller
// (roughness zero when f is quadratic there) goes onto top with its
// magnitude, v becomes the other half. A right half is kept oriented from x1
// back to xm.
inline void halveInterval(Interval& v, const IntervalSample& s, double xm,
                          const IntervalEstimate& e, PendingInterval& top, Magnitudes& m) {
  const double dR = std::fabs(6 * s.fq3 + 3 * v.f1 - 8 * s.f78 - v.fm);
  const double dL = std::fabs(6 * v.fq1 + 3 * v.f0 - 8 * s.f18 - v.fm);
  top.pend = m.pend;
  if (dR <= dL) {
    // Keep the right half for later; go on with the left half.
    top.v = {v.x1, xm, v.f1, s.f78, s.fq3, v.fm};
    m.pend += e.mR;
    v = {v.x0, xm, v.f0, s.f18, v.fq1, v.fm};
  } else {
    // Keep the left half for later; go on with the right half.
    top.v = {v.x0, xm, v.f0, s.f18, v.fq1, v.fm};
    m.pend += e.mL;
    v = {v.x1, xm, v.f1, s.f78, s.fq3, v.fm};
  }
}

// ---------------------------------------------------------------- adapint2

// The axes of a split.
inline constexpr int kAxisX = 0;
inline constexpr int kAxisY = 1;

// The 3x3 grid of corners, edge midpoints and centre of a rectangle, g[i][j]
// with i along x.
using Grid3 = double[3][3];

// The current rectangle with its values on the 5x5 grid of quarter positions,
// F[i][j] at (xs[i], ys[j]).
struct Rectangle {
  double x0, x1, y0, y1;
  double F[5][5] = {};
  double xs[5];
  double ys[5];

  void setAbscissae() {
    xs[0] = x0;
    xs[4] = x1;
    xs[2] = (x0 + x1) / 2;
    xs[1] = (x0 + xs[2]) / 2;
    xs[3] = (xs[2] + x1) / 2;
    ys[0] = y0;
    ys[4] = y1;
    ys[2] = (y0 + y1) / 2;
    ys[1] = (y0 + ys[2]) / 2;
    ys[3] = (ys[2] + y1) / 2;
  }
  // The 3x3 grid of a half rectangle, read from F. The half lies along axis
  // from quarter position start (0: lower half, 2: upper half) and spans the
  // whole rectangle across it.
  void halfGrid(Grid3& g, int axis, int start) const {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        g[i][j] = axis == kAxisX ? F[start + i][2 * j] : F[2 * i][start + j];
  }
  // A 3x3 grid made the coarse grid of F.
  void loadGrid(const Grid3& g) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) F[2 * i][2 * j] = g[i][j];
  }
};

// A pending rectangle with its 3x3 grid and the pending magnitude to restore.
struct PendingRectangle {
  double x0, x1, y0, y1;
  Grid3 g;
  double pend;
};

// The four interior points F(1|3, 1|3) of a visit (y outer, x inner).
template <class Func>
void sampleInterior(Func& f, Rectangle& r) {
  for (int j = 1; j <= 3; j += 2)
    for (int i = 1; i <= 3; i += 2) r.F[i][j] = f(r.xs[i], r.ys[j]);
}

// The rules of a visit: the sums of the corners (sc), edge midpoints (se),
// centre (fc) and interior points (so), the magnitudes of the four quadrants
// and their sum v, the error indicator e, Q, and whether the rectangle is
// accepted.
struct RectangleEstimate {
  double area, sc, se, fc, so;
  double mLL, mLR, mUL, mUR, v;
  double e, q;
  bool converged;
};

inline RectangleEstimate estimateRectangle(const Rectangle& r, const Magnitudes& m, double tol,
                                           double area0) {
  const auto& F = r.F;
  RectangleEstimate e;
  const double area = (r.x1 - r.x0) * (r.y1 - r.y0);
  e.area = area;
  e.sc = F[0][0] + F[4][0] + F[0][4] + F[4][4];
  e.se = F[0][2] + F[4][2] + F[2][0] + F[2][4];
  e.fc = F[2][2];
  e.so = F[1][1] + F[1][3] + F[3][1] + F[3][3];
  // Magnitude of the quadrant with lower-left grid corner (i, j): a corner and
  // centre rule applied to |f|.
  const auto quadrant = [&](int i, int j) {
    return (std::fabs(F[i][j]) + std::fabs(F[i + 2][j]) + std::fabs(F[i][j + 2]) +
            std::fabs(F[i + 2][j + 2]) + 8 * std::fabs(F[i + 1][j + 1])) *
           area / 48;
  };
  e.mLL = quadrant(0, 0);
  e.mLR = quadrant(2, 0);
  e.mUL = quadrant(0, 2);
  e.mUR = quadrant(2, 2);
  e.v = e.mLL + e.mLR + e.mUL + e.mUR;
  e.e = area * (8 * e.so + 2 * e.se - 3 * e.sc - 28 * e.fc) / 45;
  e.q = e.v + m.pend + m.acc;
  const double qt = e.q * tol;
  e.converged = std::fabs(area) * (qt * qt) >= std::fabs(area0) * (e.e * e.e);
  return e;
}

// Halves r along axis: evaluates the six new points (y outer, x inner, like
// every sweep of F), pushes the half whose second difference along the axis
// is smaller onto top with its magnitude (mLow for the lower half, mHigh for
// the upper), and goes on with the other half. Returns the evaluations (6).
template <class Func>
int halveRectangle(Func& f, Rectangle& r, int axis, PendingRectangle& top, double mLow,
                   double mHigh, Magnitudes& m) {
  auto& F = r.F;
  // F with u along the axis and w across it.
  const auto G = [&](int u, int w) { return axis == kAxisX ? F[u][w] : F[w][u]; };
  for (int j = 0; j <= 4; ++j)
    for (int i = 0; i <= 4; ++i) {
      const int u = axis == kAxisX ? i : j;
      const int w = axis == kAxisX ? j : i;
      if (u % 2 == 1 && w % 2 == 0) F[i][j] = f(r.xs[i], r.ys[j]);
    }
  double& lo = axis == kAxisX ? r.x0 : r.y0;
  double& hi = axis == kAxisX ? r.x1 : r.y1;
  const double mid = axis == kAxisX ? r.xs[2] : r.ys[2];
  const bool lowSmoother =
      std::fabs(G(2, 2) - 2 * G(1, 2) + G(0, 2)) < std::fabs(G(4, 2) - 2 * G(3, 2) + G(2, 2));
  top.x0 = r.x0;
  top.x1 = r.x1;
  top.y0 = r.y0;
  top.y1 = r.y1;
  double& topLo = axis == kAxisX ? top.x0 : top.y0;
  double& topHi = axis == kAxisX ? top.x1 : top.y1;
  if (lowSmoother)
    topHi = mid;
  else
    topLo = mid;
  r.halfGrid(top.g, axis, lowSmoother ? 0 : 2);
  m.pend += lowSmoother ? mLow : mHigh;
  Grid3 kept;
  r.halfGrid(kept, axis, lowSmoother ? 2 : 0);
  r.loadGrid(kept);
  if (lowSmoother)
    lo = mid;
  else
    hi = mid;
  return 6;
}

// Splits r across the direction of the larger second difference through the
// centre, keeping the magnitudes of the two halves.
template <class Func>
int splitRectangle(Func& f, Rectangle& r, const RectangleEstimate& e, PendingRectangle& top,
                   Magnitudes& m) {
  const auto& F = r.F;
  const double gx = std::fabs(F[4][2] - 2 * F[2][2] + F[0][2]);
  const double gy = std::fabs(F[2][4] - 2 * F[2][2] + F[2][0]);
  if (gx < gy) return halveRectangle(f, r, kAxisY, top, e.mLL + e.mLR, e.mUL + e.mUR, m);
  return halveRectangle(f, r, kAxisX, top, e.mLL + e.mUL, e.mLR + e.mUR, m);
}

}  // namespace quadrature_detail

// Integral of f over [a, b] to relative tolerance tol with at most maxfun
// evaluations (see the header comment). nofun receives the number of
// evaluations, flag the status. a == b gives 0 after 4 evaluations.
template <class Func>
double adapint(Func&& f, double a, double b, double tol, int maxfun, int& nofun, int& flag) {
  using namespace quadrature_detail;
  PendingInterval stack[kQuadMaxDepth];
  Interval v;
  v.fm = f((a + b) / 2);
  v.f0 = f(a);
  v.f1 = f(b);
  v.fq1 = f((3 * a + b) / 4);
  nofun = 4;
  flag = kQuadConverged;
  CompensatedSum sum;
  Magnitudes m;
  int depth = 0;

  if (a != b) {
    const double span = std::fabs(b - a);
    v.x0 = a;
    v.x1 = b;
    for (;;) {
      const double h = std::fabs(v.x1 - v.x0);
      const IntervalSample s = sampleInterval(f, v);
      const double xm = (v.x0 + v.x1) / 2;
      nofun += 3;
      if (nofun > maxfun) {
        flag = kQuadBudgetExceeded;
        return 0.0;
      }
      const IntervalEstimate e = estimateInterval(v, s, h, span, m, tol);
      if (!e.converged && depth < kQuadMaxDepth && xm != v.x0 && xm != v.x1) {
        halveInterval(v, s, xm, e, stack[depth], m);
        ++depth;
        if (depth == kQuadMaxDepth) flag = kQuadDepthLimit;
        continue;
      }
      // Accept this interval and take up the last pending one.
      sum.add(rule7(v, s, h));
      m.acc += e.mL + e.mR;
      if (!e.converged) tol = (e.err / e.q) * kRule7ScaleInv;
      if (depth == 0) break;
      --depth;
      v = stack[depth].v;
      m.pend = stack[depth].pend;
    }
  }
  const double result = sum.value() * kRule7Norm;
  return b < a ? -result : result;
}

// Integral of f(x, y) over x in [a, b], y in [c, d] to relative tolerance tol
// with at most maxfun evaluations (see the header comment), signed by the
// orientation (b - a)(d - c). nofun receives the number of evaluations, flag the
// status. The budget is checked after each split and after taking up a pending
// rectangle, so the four evaluations of a visit may pass maxfun by up to 4.
// A rectangle of zero area gives 0 with flag 0 after 9 evaluations.
template <class Func>
double adapint2(Func&& f, double a, double b, double c, double d, double tol, int maxfun, int& nofun,
                int& flag) {
  using namespace quadrature_detail;
  PendingRectangle stack[kQuadMaxDepth];
  Rectangle r;
  r.x0 = a;
  r.x1 = b;
  r.y0 = c;
  r.y1 = d;
  r.setAbscissae();
  for (int j = 0; j <= 4; j += 2)
    for (int i = 0; i <= 4; i += 2) r.F[i][j] = f(r.xs[i], r.ys[j]);
  nofun = 9;
  flag = kQuadConverged;
  const double area0 = (b - a) * (d - c);
  if (area0 == 0) return 0.0;
  if (maxfun < 9) {
    flag = kQuadBudgetExceeded;
    return 0.0;
  }

  CompensatedSum sum;
  Magnitudes m;
  int depth = 0;
  for (;;) {
    r.setAbscissae();
    sampleInterior(f, r);
    nofun += 4;
    const RectangleEstimate e = estimateRectangle(r, m, tol, area0);

    if (!e.converged && depth < kQuadMaxDepth) {
      PendingRectangle& top = stack[depth];
      ++depth;
      top.pend = m.pend;
      nofun += splitRectangle(f, r, e, top, m);
      if (nofun > maxfun) {
        flag = kQuadBudgetExceeded;
        return 0.0;
      }
      continue;
    }

    // Accept this rectangle and take up the last pending one.
    if (depth == kQuadMaxDepth) flag = kQuadDepthLimit;
    sum.add(e.area * (3 * e.sc + 8 * (e.se + e.fc) + 32 * e.so) / 180);
    if (depth == 0) return sum.value();
    m.acc += e.v;
    if (!e.converged) tol = std::sqrt(std::fabs(area0 / e.area)) * std::fabs(e.e) / e.q;
    --depth;
    const PendingRectangle& top = stack[depth];
    r.x0 = top.x0;
    r.x1 = top.x1;
    r.y0 = top.y0;
    r.y1 = top.y1;
    r.loadGrid(top.g);
    m.pend = top.pend;
    if (nofun > maxfun) {
      flag = kQuadBudgetExceeded;
      return 0.0;
    }
  }
}

}  // namespace wind
