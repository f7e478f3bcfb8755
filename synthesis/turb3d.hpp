#pragma once
// Three-dimensional Fourier synthesis of a sheared turbulent wind field.
//
// turb3d fills one, two or three velocity components of a periodic,
// homogeneous, Gaussian random field on the N1 x N2 x N3 grid over a box of
// lengths Lbox = (L1, L2, L3) (BoxGrid, synthesis/grid.hpp) whose spectral
// velocity tensor is the sheared (optionally terrain-stretched) model of
// tensor/spectral_tensor.hpp.
//
// Method: the spectral representation of a multivariate Gaussian field
// (Shinozuka and Deodatis 1991), evaluated with the FFT. For
// every wave vector k of the discrete grid (fourier_grid.hpp) on the stored half
// of wave-number space the coefficient vector
//     H(k) = D M(k) (xi_r + i xi_i),   D = 2 sqrt(1/2) sqrt((2pi)^3 / (L1 L2 L3)),
// is formed from an amplitude matrix M(k) with M M^T = Phi(k) and 2 ncomp
// independent standard normal deviates; H(-k) = conj H(k) supplies the other
// half, and one inverse three-dimensional real FFT per component (rlft3,
// numerics/fft.hpp) gives
//     u_c(x) = sum_k sqrt(dk1 dk2 dk3 / 2) (M(k) (xi_r + i xi_i))_c exp(-i k.x),
// so that a coefficient that is not its own mirror has E[c c^H] =
// M M^T dk1 dk2 dk3 and a self-conjugate one half of that. The mean (k = 0) of
// every component is zero.
//
// Near the origin, where the tensor changes much across one grid cell, the
// point value Phi(k) is replaced by its sinc^2-weighted cell mean (phiInt /
// phiIntMatrix of tensor/tensor_integrals.hpp, tolerance 0.0025, windows of
// the box lengths): this is done when |k_d L| < LimNormK_d for d = 1, 2, 3
// (strict, single precision). LimNormK = (0, 0, 0) switches it off.
//
// Amplitude by ncomp (c0, c1 = comps[0], comps[1]):
//   3  cell: sqrtSym3(phiIntMatrix)         point: tensorAmplitude
//   2  cell: sqrtSym2 of the phiInt 2x2     point: sqrtSym2 of Phi's c0/c1 block
//   1  cell: sqrt(phiInt(c0, c0))           point: sqrt(Phi[c0][c0])
//
// Visiting order and random sequence, which fix the field for a seed: i = 1 ..
// N1, j = 1 .. N2, l = 1 .. N3/2 + 1 (l = 1 skipped for i = j = 1); in the
// planes l = 1 and l = N3/2 + 1 only one of each pair (k1, k2), (-k1, -k2) is
// generated (1 < i < N1/2 + 1, or i in {1, N1/2 + 1} with j <= N2/2 + 1) and
// its conjugate written at the mirror indices; modes that are their own mirror
// get a real coefficient (their imaginary draw is made and discarded). Each
// generated wave vector draws, in this order, xi_r[0], xi_i[0], xi_r[1],
// xi_i[1], ... from one RandomGenerator started from `seed` (which must be
// negative). Same seed, grid and parameters give bit-identical fields;
// changing ncomp changes the whole sequence.
//
// Layout. fields[c] (c = 0 .. ncomp-1) is an f3tensor [1..N1][1..N2][1..N3]
// of floats; element (i, j, l) is the velocity (m/s) at
// ((i-1) L1/N1, (j-1) L2/N2, (l-1) L3/N3). While the engine runs it holds the
// packed half spectrum of rlft3; the k3 = N3/2 plane lives in a working plane
// [1..N1][1..2 N2] per component, allocated once per call.
//
// Arguments: one request (synthesis/turb3d_request.hpp). Its comps list the
// components of fields[0 .. ncomp-1] (synthesis/grid.hpp), ncomp =
// comps.size(); the model (tensor/model.hpp) goes unchanged to every tensor
// routine, and its tables are checked once before any work
// (TensorModel::checkTables).
//
// Failure (through fatalError): ncomp not 1, 2 or 3 ("Number of components not
// correct"); a component number outside 0..2 ("Component number not
// correct"); N3 < 2 ("The third dimension of a three-dimensional field needs
// at least 2 points"); a field array whose ranges are not the grid
// ("turb3d: field array does not match the grid"); a model without the tables
// it needs; and the failures of the routines called (allocation, jacobi, the
// cell integrals, rlft3).
//
// Steps. The plan of the wave-vector space (synthesis/turb3d_plan.hpp) fixes
// which wave vectors are generated and their places in the sequence; the
// amplitude step of one plane i (synthesis/turb3d_plane.hpp) forms and stores
// their coefficients from deviates it is given; the draw-ahead ring
// (synthesis/deviate_ring.hpp) draws the deviates and hands each plane its
// own; the transforms end the call.
//
// Threads. The wave vectors are visited plane by plane (one i at a time per
// thread, on all threads of the OpenMP team, maxThreads of
// support/threads.hpp; one thread below 2048 wave vectors), in slabs of
// consecutive planes. The deviates cannot be drawn in parallel, but each
// generated wave vector draws exactly 2 ncomp of them, so the deviates of a
// whole slab are drawn ahead, in the visiting order, into one of a ring of
// three buffers: whichever thread finds the generator free draws the next slab
// while the others form the coefficients of earlier ones; no thread waits at a
// barrier.
// Every stored coefficient (the Hermitian mirror writes included) belongs to
// exactly one generated wave vector, so no two tasks write the same element,
// and each one is computed by the same operations whichever thread runs it:
// the fields are the same bits for every thread count. Within a plane the
// point amplitude at (k1, -k2, k3) is obtained from the one at (k1, k2, k3)
// by fixed sign changes (ModeAmplitude::mirroredPoint,
// synthesis/turb3d_amplitude.hpp), which halves the tensor evaluations
// without changing a bit. The transforms are the parallel rlft3.
//
// Several seeds. work.amplitudes, when given, keeps the amplitude of every
// generated wave vector (ncomp^2 floats each, turb3dAmplitudeBytes): the
// first call fills it, later calls with the same grid, model, components and
// LimNormK read it instead of evaluating the tensor, and give the same bits
// as a call without it. The caller guarantees that sameness; a store filled
// for another number of wave vectors ends the run ("turb3d: amplitude store
// belongs to another grid"). A store whose block the heap refuses
// (std::bad_alloc) is left empty and unfilled, and the call evaluates the
// amplitudes as without one: a later call tries again.
//
// Random streams. work.random chooses where the deviates come from. classic
// (the default) is the sequential stream above, drawn ahead by the ring.
// counter draws each generated wave vector's deviates from the counter-based
// stream (numerics/counter_random.hpp) keyed by the seed, its counter the
// wave vector's place n in the sequence (the same place the amplitude store
// uses) and the component position: any plane's deviates are then computed
// where they are needed, the planes run in any order on any thread (dynamic
// schedule, no ring), and the field is the same bits for every thread count
// and every cut of the planes. The two streams give different fields for the
// same seed, with the same statistics.
//
// Slabs. turb3dSlab runs the amplitude stage alone on a range of planes
// first .. last of the grid (a process's share of a box cut along axis 1),
// into arrays whose rows cover at least those planes (see Turb3dSlab); its
// coefficients are the ones turb3d stores there, bit for bit, given the
// classic stream's state at the slab's first deviate (planeStart(first) times
// 2 ncomp deviates into the sequence). The conjugates that planes 1 < i < N1/2
// + 1 store in the planes k3 = 0 and k3 = N3/2 of their mirrors N1 - i + 2 go
// to mirrorRows when the mirror lies outside the slab (turb3dMirrorTargets
// names those planes): element (p, 2 j - 1 .. 2 j) for k3 = 0 and (p, 2 N2 +
// 2 j - 1 .. 2 N2 + 2 j) for k3 = N3/2 of row j. Those planes receive nothing
// else in those two columns, so the owner of plane p copies them in whole.
// The mean (k = 0) is left as it is (zero in fresh arrays), and nothing is
// transformed.
//
// Constraints. work.constraints, when given, makes the box hold the given
// series along the wind at given points of the cross-section
// (synthesis/constraints.hpp) and be a sample of the model conditioned on
// them everywhere else: for each along-wind wave number the coefficients are
// corrected by the Gaussian conditioning on the lines' transforms
// (synthesis/turb3d_constrained.hpp). The unconditioned coefficients are the
// plain engine's, bit for bit: the same deviates (the planes 1 .. N1/2 + 1
// from the classic stream's states recorded in one pass,
// synthesis/classic_planes.hpp, the others drawn ahead in their order) and the
// same plane step; the planes are visited in mirror pairs on every thread,
// still the same bits for every thread count. An empty
// list of lines gives the plain engine's field. work.outcome, when given,
// receives the largest |box - value| along each line and the nuggets the
// solves took. Lines that do not fit the grid end the run ("turb3d:
// constraint line <n> ...", before any work).
//
// Constraints on slabs. A box cut into slabs holds constraint lines when each
// mirror pair of planes i and N1 - i + 2 (i = 1 .. N1/2 + 1) is conditioned
// in one place from both planes' deviates (Turb3dPairs): the caller brings
// there the deviates of a plane held elsewhere (or draws them), and takes the
// finished plane back to its holder. Every pair gives turb3d's bits for those
// two planes, and nothing else is written: the conjugates that plane i
// stores in its mirror's planes k3 = 0 and k3 = N3/2 are written into the
// mirror's arrays by the pair itself (mirror rows from the plane step, when
// the mirror lies outside plane i's arrays, are left unused).
//
// Progress. work.progress, when given, sees the stages amplitudes (one step
// per plane i) and transforms (one step per component), and is left in the
// transforms stage.
//
// State: none beyond the call. Memory: the fields themselves, ncomp planes
// of N1 x 2 N2 floats, three slabs of deviates (a fraction of a percent of the
// fields, at least two planes per thread), the plan's N1 + 1 plane starts and
// one counter per slab; nothing is allocated per wave vector.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "numerics/arrays.hpp"
#include "numerics/fft_slab.hpp"
#include "numerics/random.hpp"
#include "numerics/small_types.hpp"
#include "synthesis/constraints.hpp"
#include "synthesis/grid.hpp"
#include "synthesis/progress.hpp"
#include "synthesis/turb3d_request.hpp"
#include "tensor/model.hpp"

namespace wind {

// Bytes of a filled Turb3dAmplitudes for this grid and component count.
std::int64_t turb3dAmplitudeBytes(BoxGrid grid, int ncomp);

// Bytes that a call allocates beyond its fields and the amplitude store, on
// the thread count it would use now (maxThreads), at most: the Nyquist
// planes, the deviate ring (its slabs taken as full planes), the plan's
// plane starts and a memo of the cell integrals per thread. Without
// constraint lines: those add, per thread, about 480
// bytes per wave vector of the widest plane, and per call the lines' transforms
// and N1/2 + 2 recorded random states. Allocates nothing, whatever the grid;
// 0 for N3 < 2.
double turb3dWorkBytes(BoxGrid grid, int ncomp);

// The box's fields from the request (above); request.start.classic is not
// read: the classic stream starts at the seed.
void turb3d(std::span<F3tensor> fields, const Turb3dRequest& request);

// A check before any work: the cell integrals of the wave vectors on the k1
// axis, k = (m 2 pi / L1, 0, 0) for m = 1 .. kCellCheckCells, for the pairs of
// comps the engine integrates, where they are cells (|k_d L| < LimNormK_d) and
// k1 is below kCellCheckShare of the cells' width across the wind, 2 pi /
// min(L2, L3). A box much longer along the wind than across it has cells across the
// wind too wide for its long waves along it, and these are the integrals at
// which its synthesis stops ("Error in adapint2 (called from phiInt)"; seen
// with k1 up to a five-hundredth of that width). Returns the first such wave
// vector whose integral does not converge, or nullopt. The integrals are the
// engine's own, bit for bit, so a box refused here is one the engine would
// stop on; one that passes may still stop elsewhere (none has been seen to).
// A box less than 100 times longer than wide has nothing to check; no box
// more than 16 cells (a few hundredths of a second at most).
inline constexpr double kCellCheckShare = 0.01;
inline constexpr int kCellCheckCells = 16;
std::optional<Vector3> turb3dCellFailure(std::span<const int> comps, const TensorModel& model,
                                         BoxGrid grid, Vector3 LimNormK);

// The spectral arrays of a slab of planes, one of each per component:
// fields[c] rows covering planes (more rows are left alone), columns 1 .. N2,
// depth 1 .. N3; nyquist[c] rows covering planes, columns 1 .. 2 N2;
// mirrorRows[c] rows covering turb3dMirrorTargets(grid.N1, planes), columns
// 1 .. 4 N2 (unused, and may be empty, when that range is).
struct Turb3dSlab {
  PlaneRange planes;
  std::span<F3tensor> fields;
  std::span<Matrix> nyquist;
  std::span<Matrix> mirrorRows;
};

// Planes outside `own` whose k3 = 0 and k3 = N3/2 columns the planes of own
// fill (the mirrors N1 - i + 2 of its planes 1 < i < N1/2 + 1): one range,
// empty when there are none.
PlaneRange turb3dMirrorTargets(std::int64_t N1, PlaneRange own);

// Place of the first generated wave vector of plane i (1 .. N1 + 1) in the
// sequence, so that 2 ncomp times it is the plane's first classic deviate.
std::int64_t turb3dPlaneStart(BoxGrid grid, int i);

// The amplitude stage on slab.planes (see above). The amplitude store, when
// given, holds the slab's wave vectors only. Failures as turb3d's, and "turb3d:
// slab arrays do not cover the planes".
void turb3dSlab(const Turb3dSlab& slab, const Turb3dRequest& request);

// The conditioning of mirror pairs on a box cut into slabs (see above).
// request: the box's components, model, grid and LimNormK, and
// work.constraints (the classic stream; the amplitude store and progress are
// not used). Calls for different pairs may run at once on up to `threads`
// threads of an OpenMP team.
class Turb3dPairs {
 public:
  // Checks the lines and the model's tables (failures as turb3d's).
  Turb3dPairs(const Turb3dRequest& request, int threads);
  ~Turb3dPairs();
  Turb3dPairs(const Turb3dPairs&) = delete;
  Turb3dPairs& operator=(const Turb3dPairs&) = delete;

  // The deviates of plane p: how many (2 ncomp per generated wave vector),
  // and the place of the first in the classic stream's sequence.
  std::int64_t deviateCount(int p) const;
  std::int64_t deviateStart(int p) const;

  // The pair of plane i (1 .. N1/2 + 1) from the deviates xi of plane i and
  // xm of its mirror (empty when i is its own mirror): plane i into the arrays
  // of atI, the mirror into those of atM (each covering its plane in
  // `planes`; the same slab when it holds both). Returns the relative nugget
  // the solve took (0: none).
  double operator()(int i, std::span<const float> xi, std::span<const float> xm,
                    const Turb3dSlab& atI, const Turb3dSlab& atM);

  // After the transforms: the largest |box - value| of each line over the
  // planes `planes` of fields (rows covering them), in the lines' order.
  std::vector<double> differences(std::span<const F3tensor> fields, PlaneRange planes) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace wind
