#pragma once
// Internal to turb3d (synthesis/turb3d.hpp): the amplitude stage of a
// constrained synthesis, and the check of the constrained box.
//
// Gaussian conditioning per along-wind wave number. The stored coefficient
// H(k) of rlft3 is twice the coefficient C(k) of exp(-i k.x) in the field,
// u(x) = sum over the whole grid of C(k) exp(-i k.x) with C(-k) = conj C(k).
// C(k) = (D/2) M(k) (xr + i xi) has the covariance per wave vector
//     S(k) = E[C(k) C(k)^H] = (D^2/2) M(k) M(k)^T,
// half of that for the modes that are their own mirror (real coefficients),
// and distinct wave vectors other than k and -k are independent. S is real
// and symmetric, and S(-k) = S(k) (the mirror holds the conjugate).
//
// A constraint line a (component c_a at (y_a, z_a), ConstraintLine of
// synthesis/constraints.hpp) sees the phase phi_a(k) = Y_a(k2) Z_a(k3),
// Y_a(k2) = exp(-i k2 y_a) but cos(k2 y_a) at the highest k2 (the symmetric
// split of that term, which keeps the interpolant real), Z_a likewise; on a
// grid point these are the plain phases. Along the wind, the line is
// u_a(x_n) = sum_k1 L_a(k1) exp(-i k1 x_n), x_n = n dx, with
//     L_a(k1) = sum over (k2, k3) of C_{c_a}(k) phi_a(k),
// so L_a(k1) = (1/N1) sum_n u_a(x_n) exp(+i k1 x_n), and the given values
// have the transform D_a(k1) = (1/N1) sum_n values_a[n] exp(+i k1 x_n) (a
// forward realFft divided by N1). Then
//     M_ab(k1) = E[L_a L_b^*] = sum over (k2, k3) of S_{c_a c_b}(k) phi_a conj phi_b,
//     E[C(k) L_b^*] = S_{:, c_b}(k) conj phi_b(k),
// and the conditioned coefficients (Hoffman and Ribak 1991, "Constrained
// realizations of Gaussian fields")
//     C'(k) = C(k) + sum_b S_{:, c_b}(k) conj phi_b(k) w_b(k1),
//     M(k1) w(k1) = D(k1) - L(k1),
// give sum over (k2, k3) of C'_{c_a} phi_a = L_a + (M w)_a = D_a: the field
// holds the values on every line, and is a sample of the model conditioned on
// them. M(-k1) = conj M(k1), the same for D and L, so w(-k1) = conj w(k1) and
// C'(-k) = conj C'(k): the field stays real. At k1 = 0 and k1 = N1 pi / L1,
// their own mirrors, L, M, D and w are real (their real parts are taken).
//
// Pairs of planes. The sums over (k2, k3) run over the whole grid: plane i
// (k1) holds k3 >= 0, its mirror plane i' = N1 - i + 2 (-k1) holds the
// conjugates of k3 < 0. One task takes the planes i = 1 .. N1/2 + 1 with
// their mirrors (planes 1 and N1/2 + 1 are their own): it forms the
// coefficients and amplitudes of both planes with the plane step
// (synthesis/turb3d_plane.hpp, the same operations as the plain engine, so
// the same bits before conditioning), the amplitudes into a store of its own
// (2 planes of ncomp^2 floats per wave vector), then L and M, solves, and adds
// 2 dC to the stored H of both planes, rounding once to float. The
// conjugates in the planes k3 = 0 and k3 = N3/2 are written as the exact
// conjugates of the updated coefficients they mirror, and the modes that are
// their own mirror stay real. Tasks touch only their own two planes, and each
// computes the same operations whichever thread runs it: the same bits for
// every thread count.
//
// Solves. M is Hermitian positive semi-definite; it is factored by Cholesky
// (numerics/cholesky.hpp, Golub and Van Loan 4.2). A nugget nu = eps mu, mu
// the mean of M's diagonal, is added to the diagonal, eps = kFirstNugget,
// 10 kFirstNugget, .. up to 1 (the constants are in synthesis/constraints.hpp),
// for as long as
//   - the factorisation fails, or its condition estimate (largest / smallest
//     pivot)^2 exceeds kMaxCondition (M singular to working precision: more
//     lines of one component than the cross-section has modes, coincident
//     points), or
//   - the data are both improbable for the model and amplified by the solve:
//     the energy E = (D - L)^H (M + nu)^-1 (D - L) exceeds kMaxEnergy n (for
//     data that are a sample of the model, D - L has the covariance 2 M and
//     E/2 is distributed as Gamma(n, 1), chi-square(n) where k1 is its own
//     mirror: mean n, and E > 100 n has a probability below 1e-11), and E mu exceeds
//     kMaxAmplification |D - L|^2 (the correction's energy against the data's
//     own: about 1 for a sample of the model, up to the condition number for
//     data that differ along M's weakest directions).
// The second case is that of nearly coincident points of one component whose
// series differ more than the model lets them within so short a distance:
// conditioning exactly would drive the box to values far beyond the data
// (tens of times them, growing as the points close in), and the nugget
// instead treats the data as carrying a noise of variance nu, so that those
// lines keep a difference from their data, which the record shows. Data that
// are a plausible sample of the model are never touched, nor are large data
// that the box can follow without amplifying them (a trend in a series).
// The largest eps and the number of wave numbers that took one are reported.
//
// Cost per pair, n constraint lines on an N2 x N3 cross-section: the plain
// engine's amplitudes and coefficients of two planes, and about
// N2 (N3/2 + 1) (2 n^2 + 18 n + 180) flops for S, L, M and the update. Memory:
// per thread one plane's deviates, two planes' amplitude stores and a few
// arrays of N2 (N3/2 + 1) doubles; per call the phase tables, n (N1/2 + 1)
// complex transforms D, N1/2 + 2 recorded random states and the ring's
// buffers. Nothing per wave vector.
#include <cstdint>
#include <memory>
#include <span>

#include "numerics/arrays.hpp"
#include "synthesis/constraints.hpp"
#include "synthesis/grid.hpp"
#include "synthesis/progress.hpp"
#include "synthesis/turb3d_amplitude.hpp"
#include "synthesis/turb3d_plan.hpp"
#include "synthesis/turb3d_plane.hpp"

namespace wind::detail {

// What the constrained stage works on: the plain engine's plan, amplitude,
// limits and spectrum, the call's whole-grid amplitude store (or none), and
// the components of the fields (field c holds comps[c]).
struct ConstrainedSpectrum {
  const Turb3dPlan& plan;
  const ModeAmplitude& amplitude;
  Vector3 LimNormK;
  Turb3dSpectrum spectrum;
  Turb3dAmplitudes* store;
  std::span<const int> comps;
};

// Refuses lines that do not fit the grid: "turb3d: constraint line <n> ..."
// (values not N1 finite numbers, a component the fields do not hold, a point
// outside the span of the grid points).
void checkConstraintLines(const Turb3dConstraints& constraints, const BoxGrid& grid,
                          std::span<const int> comps);

// The amplitude stage with the conditioning on `threads` threads, the
// deviates those of the classic stream from seed; fills outcome's nugget
// figures. The planes 1 and N1/2 + 1 (their own mirrors) come first, then the
// pairs with their mirror planes N1/2 + 2 .. N1 in increasing order, whose
// deviates the draw-ahead ring (synthesis/deviate_ring.hpp, slabs of
// slabPlanes planes) draws from where plane N1/2 + 1 ends, while the planes
// 1 .. N1/2 + 1, needed in decreasing order, draw from states recorded in
// one pass that skips through them (synthesis/classic_planes.hpp): half the
// stream is skipped, none is drawn twice. A stream whose deviates need no
// order (counter-based) would call the same pair step in any order. A
// failure on a thread is raised again on the calling thread once the team
// has ended.
void conditionedPlanes(const ConstrainedSpectrum& s, std::int32_t seed,
                       const Turb3dConstraints& constraints, int threads, int slabPlanes,
                       Turb3dConstraintOutcome& outcome, SynthesisProgress* progress);

// The pair step alone, for a caller that holds the planes of a pair in arrays
// of its own (a box cut into slabs, whose mirror planes lie on other
// processes): the line tables built once, one task's arrays per thread of the
// team, made at first use. operator() forms the coefficients of plane i and
// of its mirror N1 - i + 2 (skipped when i is its own mirror) from their
// deviates, conditions them and stores the result, plane i in the arrays of
// atI, the mirror in those of atM (atI's own planes cover i, atM's the
// mirror; the same spectrum for a box held whole); calls for different pairs
// may run at once on different threads (threadNumber() < threads). deviates(p)
// is the calling thread's buffer for plane p's deviates. Failures as
// conditionedPlanes'.
class ConditionedPairs {
 public:
  ConditionedPairs(const ConstrainedSpectrum& s, const Turb3dConstraints& constraints,
                   int threads);
  ~ConditionedPairs();
  ConditionedPairs(const ConditionedPairs&) = delete;
  ConditionedPairs& operator=(const ConditionedPairs&) = delete;

  std::span<float> deviates(int p);
  double operator()(int i, std::span<const float> xi, std::span<const float> xm,
                    const Turb3dSpectrum& atI, const Turb3dSpectrum& atM);

 private:
  struct State;
  const ConstrainedSpectrum& s_;
  std::unique_ptr<State> state_;
};

// After the transforms: the largest |box - value| along each line over the
// planes own (fields' rows cover them).
void constraintDifferences(std::span<const F3tensor> fields, const BoxGrid& grid,
                           std::span<const int> comps, const Turb3dConstraints& constraints,
                           PlaneRange own, Turb3dConstraintOutcome& outcome);

}  // namespace wind::detail
