#pragma once
// Internal to turb3d (synthesis/turb3d.hpp): the amplitude step of one plane
// i of wave-number space, k1 fixed.
//
// For every wave vector of the plane that the plan generates
// (synthesis/turb3d_plan.hpp) the step takes the amplitude matrix M(k)
// (ModeAmplitude of synthesis/turb3d_amplitude.hpp: the cell mean inside the
// LimNormK box, the point tensor outside it), forms the coefficient
// D M (xr + i xi) from the wave vector's deviates and stores it in the packed
// half spectrum of rlft3, with its conjugate at the in-plane mirror where it
// has one (fourier_grid.hpp). Rows j and -j are visited together, so that a
// point amplitude at k2 serves for -k2 too (ModeAmplitude::mirroredPoint).
//
// The deviates come from the caller, perMode = 2 ncomp per generated wave
// vector in the plan's order (the draw-ahead ring of synthesis/deviate_ring.hpp
// hands them out; any source of the same numbers will do). The amplitude store,
// when given, is read when filled and written otherwise, at the wave vector's
// place in the plan's sequence.
//
// Every element written belongs to exactly one generated wave vector of the
// plane, so the steps of different planes may run at the same time, and each
// element is computed by the same operations whichever thread runs the step.
// The constructor allocates the k3 of the planes (N3/2 + 1 floats); a plane
// step allocates nothing; it reads the model's tables, which the caller has
// checked. The cell integrals use the memo of the calling thread
// (memos[threadNumber()], support/threads.hpp) when the caller gives memos.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "numerics/arrays.hpp"
#include "numerics/small_types.hpp"
#include "numerics/fft_slab.hpp"
#include "synthesis/turb3d_amplitude.hpp"
#include "synthesis/turb3d_plan.hpp"
#include "synthesis/turb3d_request.hpp"

namespace wind::detail {

// The spectral arrays of a synthesis: the fields, which hold the packed half
// spectra of rlft3 until the transforms, and the k3 = N3/2 plane of each
// component (rows i, columns 1..2 N2, real and imaginary parts side by side),
// for the planes `own`; the in-plane conjugates bound for planes outside own
// go to mirrorRows (the layout of Turb3dSlab, synthesis/turb3d.hpp).
struct Turb3dSpectrum {
  std::span<F3tensor> fields;
  std::span<Matrix> nyquist;
  std::span<Matrix> mirrorRows;
  PlaneRange own;
};

// Memos of the cell integrals for the plane steps of one call: one per thread
// of maxThreads() when the LimNormK box can hold a wave vector (every limit
// positive), none otherwise or when the heap refuses them (the same bits,
// more slowly). About 300 KB each.
std::vector<CellMemo> cellMemos(Vector3 LimNormK);

class Turb3dPlaneStep {
 public:
  // store: the amplitude store of the call, or none; when it is not filled,
  // its values must already hold ncomp^2 floats per generated wave vector of
  // the planes own, the first of them at planeStart(own.first), or at
  // storeFirst when given (the store of one task's planes, say).
  Turb3dPlaneStep(const Turb3dPlan& plan, const ModeAmplitude& amplitude, Vector3 LimNormK,
                  Turb3dSpectrum spectrum, Turb3dAmplitudes* store,
                  std::optional<std::int64_t> storeFirst = std::nullopt,
                  std::span<CellMemo> memos = {});

  // Plane i (1 .. N1) with its deviates.
  void operator()(int i, std::span<const float> deviates) const;

 private:
  // Wave vectors per chunk of a row.
  static constexpr int kChunk = 64;

  // The amplitudes of row (i, j) at l = l0 .. l1 (at most kChunk) into
  // mj[l - l0], and of its mirror row jm (0: none) into mm, for the wave
  // vectors the plan generates; nj and nm are the places of the rows' first
  // generated wave vectors at or after l0.
  void rowAmplitudes(int i, int j, int jm, float k1, float k2, int l0, int l1, std::int64_t nj,
                     std::int64_t nm, CellMemo* memo, Mat3* mj, Mat3* mm) const;
  // The coefficient of wave vector (i, j, l) with amplitude m and deviates x,
  // stored with its in-plane mirror where it has one.
  void storeCoefficient(int i, int j, int l, const Mat3& m, const float* x) const;
  // The same for 1 < l < N3/2 + 1, rows[c] the element (i, j, 1) of
  // component c: no mirror, no Nyquist plane.
  void storeInterior(int ncomp, float* const* rows, int l, const Mat3& m, const float* x) const;
  // The stored amplitude of the n-th wave vector of the sequence, and saving one.
  Mat3 loadAmplitude(std::int64_t n) const;
  void saveAmplitude(std::int64_t n, const Mat3& m) const;

  const Turb3dPlan& plan_;
  ModeAmplitude amplitude_;
  Vector3 LimNormK_;
  Turb3dSpectrum spectrum_;
  Turb3dAmplitudes* store_;
  bool reuse_;  // the store is filled: read it instead of the tensor
  std::int64_t storeFirst_;  // place of the store's first wave vector
  std::span<CellMemo> memos_;
  float D_;     // the coefficient norm 2 sqrt(1/2) sqrt((2pi)^3 / (L1 L2 L3))
  int perMode_;
  std::vector<float> k3_;  // k3 of l = 1 .. N3/2 + 1 at l - 1
};

}  // namespace wind::detail
