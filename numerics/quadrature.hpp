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

// 2205/64: ratio between the magnitude scale of the 7-point rule (12 times a
// Simpson estimate) and its weight sum 13230, folded into the convergence test.
inline constexpr double kRule7Scale = 34.453125;
// 64/2205, its reciprocal, for the relaxed tolerance.
inline constexpr double kRule7ScaleInv = 0.029024943310657598;
// 1/13230, the weight normalisation of the 7-point rule.
inline constexpr double kRule7Norm = 7.558578987150416e-5;

}  // namespace quadrature_detail

// Integral of f over [a, b] to relative tolerance tol with at most maxfun
// evaluations (see the header comment). nofun receives the number of
// evaluations, flag the status. a == b gives 0 after 4 evaluations.
template <class Func>
double adapint(Func&& f, double a, double b, double tol, int maxfun, int& nofun, int& flag) {
  using namespace quadrature_detail;
  // A pending interval, oriented from x0 to x1 (x1 < x0 is allowed), with its
  // values at the start, quarter point, midpoint and end, and the pending
  // magnitude to restore when it is taken up again.
  struct Pending {
    double x0, x1, f0, fq1, fm, f1, pend;
  };
  Pending stack[kQuadMaxDepth];

  double fm = f((a + b) / 2);
  double f0 = f(a);
  double f1 = f(b);
  double fq1 = f((3 * a + b) / 4);
  nofun = 4;
  flag = kQuadConverged;
  CompensatedSum sum;
  double acc = 0.0;   // magnitude of the accepted intervals
  double pend = 0.0;  // magnitude of the pending intervals
  int depth = 0;

  if (a != b) {
    const double span = std::fabs(b - a);
    double x0 = a;
    double x1 = b;
    for (;;) {
      const double h = std::fabs(x1 - x0);
      const double fq3 = f((x0 + 3 * x1) / 4);
      const double f18 = f((7 * x0 + x1) / 8);
      const double f78 = f((x0 + 7 * x1) / 8);
      const double xm = (x0 + x1) / 2;
      nofun += 3;
      if (nofun > maxfun) {
        flag = kQuadBudgetExceeded;
        return 0.0;
      }

      const double mL = std::fabs(4 * fq1 + f0 + fm) * h;
      const double mR = std::fabs(4 * fq3 + f1 + fm) * h;
      const double nullRule = h * (15 * (f0 + f1) + 84 * (fq1 + fq3) - 64 * (f18 + f78) - 70 * fm);
      const double q = mR + mL + pend + acc;
      const double err = std::sqrt(span / h) * std::fabs(nullRule);
      const bool converged = q * tol * kRule7Scale >= err;

      if (!converged && depth < kQuadMaxDepth && xm != x0 && xm != x1) {
        // Split at xm. Roughness of each half: zero when f is quadratic there.
        const double dR = std::fabs(6 * fq3 + 3 * f1 - 8 * f78 - fm);
        const double dL = std::fabs(6 * fq1 + 3 * f0 - 8 * f18 - fm);
        Pending& top = stack[depth];
        top.pend = pend;
        if (dR <= dL) {
          // Keep the right half for later, oriented from x1 back to xm.
          top.x0 = x1;
          top.x1 = xm;
          top.f0 = f1;
          top.fq1 = f78;
          top.fm = fq3;
          top.f1 = fm;
          pend += mR;
          // Go on with the left half.
          x1 = xm;
          f1 = fm;
          fm = fq1;
          fq1 = f18;
        } else {
          // Keep the left half for later.
          top.x0 = x0;
          top.x1 = xm;
          top.f0 = f0;
          top.fq1 = f18;
          top.fm = fq1;
          top.f1 = fm;
          pend += mL;
          // Go on with the right half, oriented from x1 back to xm.
          const double fmOld = fm;
          x0 = x1;
          x1 = xm;
          f0 = f1;
          fm = fq3;
          f1 = fmOld;
          fq1 = f78;
        }
        ++depth;
        if (depth == kQuadMaxDepth) flag = kQuadDepthLimit;
        continue;
      }

      // Accept this interval.
      sum.add(h * (549 * (f0 + f1) + 2048 * (f18 + f78) + 2016 * (fq1 + fq3) + 4004 * fm));
      acc += mL + mR;
      if (!converged) tol = (err / q) * kRule7ScaleInv;
      if (depth == 0) break;
      --depth;
      const Pending& top = stack[depth];
      x0 = top.x0;
      x1 = top.x1;
      f0 = top.f0;
      fq1 = top.fq1;
      fm = top.fm;
      f1 = top.f1;
      pend = top.pend;
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
  // A pending rectangle with its values on the 3x3 grid of corners, edge
  // midpoints and centre (g[i][j], i along x), and the pending magnitude to restore.
  struct Pending {
    double x0, x1, y0, y1;
    double g[3][3];
    double pend;
  };
  Pending stack[kQuadMaxDepth];

  // Values on the 5x5 grid of quarter positions of the current rectangle,
  // F[i][j] at (xs[i], ys[j]).
  double F[5][5] = {};
  double xs[5];
  double ys[5];
  double x0 = a, x1 = b, y0 = c, y1 = d;
  const auto setAbscissae = [&] {
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
  };

  // The axes of a split.
  constexpr int kAxisX = 0;
  constexpr int kAxisY = 1;

  // The 3x3 grid of a half rectangle, read from F, and the same grid made the
  // coarse grid of F. The half lies along axis (kAxisX or kAxisY) from quarter
  // position start (0: lower half, 2: upper half) and spans the whole
  // rectangle across it.
  using Grid = double[3][3];
  const auto halfGrid = [&](Grid& g, int axis, int start) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        g[i][j] = axis == kAxisX ? F[start + i][2 * j] : F[2 * i][start + j];
  };
  const auto loadGrid = [&](const Grid& g) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) F[2 * i][2 * j] = g[i][j];
  };

  setAbscissae();
  for (int j = 0; j <= 4; j += 2)
    for (int i = 0; i <= 4; i += 2) F[i][j] = f(xs[i], ys[j]);
  nofun = 9;
  flag = kQuadConverged;
  const double area0 = (b - a) * (d - c);
  if (area0 == 0) return 0.0;
  if (maxfun < 9) {
    flag = kQuadBudgetExceeded;
    return 0.0;
  }

  CompensatedSum sum;
  double acc = 0.0;   // magnitude of the accepted rectangles
  double pend = 0.0;  // magnitude of the pending rectangles
  int depth = 0;

  // Halves the current rectangle along axis: evaluates the six new points (y
  // outer, x inner, like every sweep of F), pushes the half whose second
  // difference along the axis is smaller onto top with its magnitude (mLow for
  // the lower half, mHigh for the upper), and goes on with the other half.
  const auto halve = [&](int axis, Pending& top, double mLow, double mHigh) {
    // F with u along the axis and w across it.
    const auto G = [&](int u, int w) { return axis == kAxisX ? F[u][w] : F[w][u]; };
    for (int j = 0; j <= 4; ++j)
      for (int i = 0; i <= 4; ++i) {
        const int u = axis == kAxisX ? i : j;
        const int w = axis == kAxisX ? j : i;
        if (u % 2 == 1 && w % 2 == 0) F[i][j] = f(xs[i], ys[j]);
      }
    nofun += 6;
    double& lo = axis == kAxisX ? x0 : y0;
    double& hi = axis == kAxisX ? x1 : y1;
    const double mid = axis == kAxisX ? xs[2] : ys[2];
    const bool lowSmoother =
        std::fabs(G(2, 2) - 2 * G(1, 2) + G(0, 2)) < std::fabs(G(4, 2) - 2 * G(3, 2) + G(2, 2));
    top.x0 = x0;
    top.x1 = x1;
    top.y0 = y0;
    top.y1 = y1;
    double& topLo = axis == kAxisX ? top.x0 : top.y0;
    double& topHi = axis == kAxisX ? top.x1 : top.y1;
    if (lowSmoother)
      topHi = mid;
    else
      topLo = mid;
    halfGrid(top.g, axis, lowSmoother ? 0 : 2);
    pend += lowSmoother ? mLow : mHigh;
    Grid kept;
    halfGrid(kept, axis, lowSmoother ? 2 : 0);
    loadGrid(kept);
    if (lowSmoother)
      lo = mid;
    else
      hi = mid;
  };

  for (;;) {
    setAbscissae();
    for (int j = 1; j <= 3; j += 2)
      for (int i = 1; i <= 3; i += 2) F[i][j] = f(xs[i], ys[j]);
    nofun += 4;

    const double area = (x1 - x0) * (y1 - y0);
    const double sc = F[0][0] + F[4][0] + F[0][4] + F[4][4];
    const double se = F[0][2] + F[4][2] + F[2][0] + F[2][4];
    const double fc = F[2][2];
    const double so = F[1][1] + F[1][3] + F[3][1] + F[3][3];
    // Magnitude of the quadrant with lower-left grid corner (i, j): a corner and
    // centre rule applied to |f|.
    const auto quadrant = [&](int i, int j) {
      return (std::fabs(F[i][j]) + std::fabs(F[i + 2][j]) + std::fabs(F[i][j + 2]) +
              std::fabs(F[i + 2][j + 2]) + 8 * std::fabs(F[i + 1][j + 1])) *
             area / 48;
    };
    const double mLL = quadrant(0, 0);
    const double mLR = quadrant(2, 0);
    const double mUL = quadrant(0, 2);
    const double mUR = quadrant(2, 2);
    const double v = mLL + mLR + mUL + mUR;
    const double e = area * (8 * so + 2 * se - 3 * sc - 28 * fc) / 45;
    const double q = v + pend + acc;
    const double qt = q * tol;
    const bool converged = std::fabs(area) * (qt * qt) >= std::fabs(area0) * (e * e);

    if (!converged && depth < kQuadMaxDepth) {
      Pending& top = stack[depth];
      ++depth;
      top.pend = pend;
      // Split across the direction of the larger second difference through the centre.
      const double gx = std::fabs(F[4][2] - 2 * F[2][2] + F[0][2]);
      const double gy = std::fabs(F[2][4] - 2 * F[2][2] + F[2][0]);
      if (gx < gy)
        halve(kAxisY, top, mLL + mLR, mUL + mUR);
      else
        halve(kAxisX, top, mLL + mUL, mLR + mUR);
      if (nofun > maxfun) {
        flag = kQuadBudgetExceeded;
        return 0.0;
      }
      continue;
    }

    // Accept this rectangle.
    if (depth == kQuadMaxDepth) flag = kQuadDepthLimit;
    sum.add(area * (3 * sc + 8 * (se + fc) + 32 * so) / 180);
    if (depth == 0) return sum.value();
    acc += v;
    if (!converged) tol = std::sqrt(std::fabs(area0 / area)) * std::fabs(e) / q;
    --depth;
    const Pending& top = stack[depth];
    x0 = top.x0;
    x1 = top.x1;
    y0 = top.y0;
    y1 = top.y1;
    loadGrid(top.g);
    pend = top.pend;
    if (nofun > maxfun) {
      flag = kQuadBudgetExceeded;
      return 0.0;
    }
  }
}

}  // namespace wind
