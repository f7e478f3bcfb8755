#pragma once
// Constraint lines of a three-dimensional synthesis: boxes that hold given
// series along the wind at given points of the cross-section, and are a
// sample of the model everywhere else (turb3d, synthesis/turb3d.hpp).
//
// A constraint line is one velocity component along axis 1 at a point (y, z)
// of the cross-section: values[i - 1] is the value the box must hold at plane
// i, x = (i - 1) L1/N1, for i = 1 .. N1. y and z are metres from the grid's
// first row (j = 1) and first column (k = 1), inside the span of the grid's
// points: 0 <= y <= (N2 - 1) dy, 0 <= z <= (N3 - 1) dz, dy = L2/N2,
// dz = L3/N3. A point that lies within kNodeTolerance spacings of a grid
// point along an axis is taken as that grid point.
//
// Off the grid points the box's value is its trigonometric interpolant: the
// field's own Fourier sum evaluated at (y, z), with the highest wave number
// of each cross-wind axis (k = N pi / L, a single term of the sum) taken as
// the real cosine cos(N pi y / L) rather than exp(-i N pi y / L), which keeps
// the interpolant of a real field real. Along one axis of N points, with p the
// position in spacings, the interpolant of values u_0 .. u_{N-1} is
//     u(p) = sum_n u_n (1/N) [1 + 2 sum_{m=1}^{N/2-1} cos(2 pi m (p - n) / N)
//                              + cos(pi p) cos(pi n)],
// equal to u_n at p = n (interpolationWeights gives the bracket over N).
// The constrained box holds the values there, not at the grid points around
// the point.
//
// The record of a constrained synthesis (Turb3dConstraintOutcome): the
// largest |box - value| along each line after the transforms (the box's
// float values, interpolated in double where the point is off the grid
// points), and the regularisation the solves needed (the nugget, see
// synthesis/turb3d.hpp): the largest relative nugget and the number of
// along-wind wave numbers 0 <= k1 <= N1 pi / L1 whose solve took one.
#include <span>
#include <vector>

namespace wind {

struct ConstraintLine {
  int comp = 0;                // velocity component: 0 u, 1 v, 2 w
  double y = 0.0, z = 0.0;     // metres from the grid's first row and column
  std::vector<double> values;  // N1 values, values[i - 1] at plane i (m/s)
};

struct Turb3dConstraints {
  std::vector<ConstraintLine> lines;
};

struct Turb3dConstraintOutcome {
  double largestNugget = 0.0;             // relative to the mean diagonal, 0: none
  int nuggetWaveNumbers = 0;              // k1 >= 0 whose solve took a nugget
  std::vector<double> largestDifference;  // per line: max over i of |box - value| (m/s)
};

// The nugget rule of the solves (synthesis/turb3d_constrained.hpp): the
// largest condition estimate, data energy per line and amplification a solve
// may have without a nugget, and the first relative nugget tried.
inline constexpr double kMaxCondition = 1e10;
inline constexpr double kMaxEnergy = 100.0;
inline constexpr double kMaxAmplification = 100.0;
inline constexpr double kFirstNugget = 1e-10;

// A point within this many grid spacings of a grid point is that grid point.
inline constexpr double kNodeTolerance = 1e-6;

// A position along one cross-wind axis, in grid spacings from the first grid
// point, snapped to the grid point within kNodeTolerance.
struct AxisPoint {
  double spacings = 0.0;
  bool node = false;
  int index = 0;  // 0-based grid point when node
};

// metres / spacing, snapped; inside when 0 <= spacings <= n - 1 (a point up to
// kNodeTolerance spacings beyond an end is that end).
AxisPoint axisPoint(double metres, double spacing);
bool insideAxis(const AxisPoint& p, int n);

// The weights w[0 .. n-1] of the trigonometric interpolant at p spacings on an
// axis of n points (n a power of two, at least 2): u(p) = sum_n w[n] u_n.
void interpolationWeights(double p, int n, std::span<double> w);

}  // namespace wind
