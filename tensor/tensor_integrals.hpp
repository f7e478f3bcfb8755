#pragma once
// Integrals of the spectral velocity tensor Phi_ij(k) (tensor/spectral_tensor.hpp)
// over wave-number lines, planes and grid cells.
//
// Spectra of fields with fewer than three dimensions integrate Phi over the wave
// numbers the field does not resolve; near the origin of a discrete wave-number
// grid the engines replace the point value by the average of Phi over a grid
// cell, weighted by the squared sinc response of the cell.
//
//   phiInt        (1/norm) int int sinc^2((k2c-k2) D2/2) sinc^2((k3c-k3) D3/2) Phi_ij(k1,k2,k3)
//                 over k2 in k2c +- 2pi/D2, k3 in k3c +- 2pi/D3, for the cell centred on
//                 kc = (k1, k2c, k3c) with window lengths Delta = (D1, D2, D3): the
//                 weighted cell mean (a constant tensor comes back unchanged);
//   phiIntMatrix  all nine cell means (six integrals, mirrored);
//   phiIntk2k3    F_ij(k1) = int int Phi_ij dk2 dk3 over the whole plane, the one-point
//                 cross-spectrum in k1 (two-sided in k1: int F_ii dk1 over the real
//                 line is the variance);
//   phiIntComp    int Phi_ij dk_c over the whole line of one component
//                 (IntegrateComp 1: k2, with k3 = kOther; 2: k3, with k2 = kOther);
//   phiIntCompAlias  the same with, at every point, the inertial-range Phi11 of the
//                 16 wave vectors shifted by (a/p1, b/p2), a, b in {+-1, +-2},
//                 added to the integrand, (p1, p2) the periods;
//   phiIntkxSinc  int dk_c of the sinc^2 window mean of Phi_ij over the other
//                 component, window centre c and length D.
//
// Infinite ranges are mapped onto (-1, 1) by kappa = ks s / (1 - |s|), with
// dkappa/ds = (ks + |kappa|)^2 / ks and ks = max(k1, 1/L), so that the mapped integrand
// is smooth where the spectrum turns over. A window of length D spans 2pi/D
// either side of its centre, with 2pi in single precision; 1.22686 =
// (pi / int_{-pi}^{pi} sinc^2)^2 normalises a pair of windows and its square root a
// single one.
//
// Quadrature (numerics/quadrature.hpp) and budgets:
//   phiIntk2k3                    adapint2, 100000 evaluations
//   phiIntComp, phiIntCompAlias   adapint,  10000 evaluations
//   phiInt, phiIntMatrix          adapint2, 14000 evaluations
//   phiIntkxSinc                  adapint2, 14000 evaluations
// tol is the relative tolerance handed to the integrator (as double).
//
// Failure. A quadrature status other than 0 prints diagnostics on standard
// error and ends the run through fatalError ("Error in adapint2" for phiIntk2k3,
// "Error in adapint2 (called from phiInt)", "Error in adapint",
// "Error in adapint2 (called from phiIntkxSinc)"). Except in phiIntk2k3, a
// status at k1 == 0 is accepted silently and the integral (0 on an exhausted
// budget) is used. IntegrateComp outside {1, 2} is fatal
// ("IntegrateComp has to be 1 or 2 (corresponding to k_2 or k_3)"), and so is a
// component index outside 0..2.
//
// Every routine carries its parameters to its integrand by capture: there is no
// shared state, calls are independent and reentrant. The model
// (tensor/model.hpp) goes unchanged to spectralTensor; the routines do not
// check its tables (the callers' boundary does, TensorModel::checkTables).
// Results are double; callers store them as float.

#include <bit>
#include <cstdint>
#include <span>
#include <vector>

#include "numerics/small_types.hpp"
#include "tensor/model.hpp"

namespace wind {

// sin(x)/x, and 1 - x^2/6 for |x| below 0.0003 (single-precision threshold).
double sinc(double x);

// (1/(4pi)) alphaeps |q|^(-17/3) (q2^2 + q3^2): Phi11 of the inertial-range
// isotropic tensor, with |q|^2 rounded to float and the exponent -17/6 in single
// precision. q = 0 is not defined.
double inertialPhi11(float alphaeps, Vector3 q);

// CellMemo: the values the cell integrals of one k1 have computed, kept for
// the integrals that visit the same points again. The six integrals of a cell
// sample largely the same points, a cell and its mirror at -k2 sample the
// mirrored points, and neighbouring cells meet where their windows overlap:
// on the load box of the benchmark (8192 x 32 x 32, LMax 16384 93 93) the
// cells of a plane call the tensor at about 16 distinct wave vectors in 100
// evaluations.
//   use(model, k1)     the memo holds values of this model at this k1 from
//                      now on (it forgets what it held for any other);
//   element(k2, k3, u, odd)  element u of spectralTensor(model, (k1, k2,
//                      k3)) in the order (0, 0), (0, 1), (0, 2), (1, 1),
//                      (1, 2), (2, 2) (upperIndex; the tensor is symmetric to
//                      the last bit), odd when exactly one of the indices is
//                      1. The value at (k1, -k2, k3) is P Phi P with P =
//                      diag(1, -1, 1) (synthesis/turb3d_amplitude.hpp: exact
//                      but for the signs of zeros, which no integral can carry
//                      to a nonzero result), so a mirrored point is served
//                      from the same entry, its odd elements negated;
//   sinc(x)            sinc(x), remembered by x;
//   tensor(model, k)   the whole matrix (use, then the nine elements).
// All return exactly what the plain calls return (zeros perhaps with another
// sign), so an integral with a memo has the bits of one without. Memory: the
// constructor allocates about 300 KB; a full table simply stops remembering.
// One memo per thread: the calls change it.
class CellMemo {
 public:
  CellMemo();

  void use(const TensorModel& model, float k1);
  float element(float k2, float k3, int u, bool odd);
  double sinc(double x);
  Mat3 tensor(const TensorModel& model, Vector3 k);

  // Wave vectors the tensor was computed at, and the calls it served
  // (for tests and profiles).
  std::int64_t computed() const { return computed_; }
  std::int64_t served() const { return served_; }

  // The bytes the constructor allocates.
  static std::size_t tableBytes();

  // The index of element (i, j) in element's order.
  static int upperIndex(int i, int j) {
    constexpr int kIndex[3][3] = {{0, 1, 2}, {1, 3, 4}, {2, 4, 5}};
    return kIndex[i][j];
  }

  static constexpr int kTensorSlotsLog2 = 13;
  static constexpr int kSincSlotsLog2 = 10;

 private:
  // A slot of 32 bytes, so that a probe touches one cache line: the bits of
  // |k2| and k3 as one key (kEmpty, whose |k2| would have its sign bit set,
  // for none) and the six elements at (k1, |k2|, k3).
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};
  struct TensorSlot {
    std::uint64_t key = kEmpty;
    float phi[6] = {};
  };
  struct SincSlot {
    double x = 0.0, value = 1.0;  // sinc(0) = 1: a valid entry from the start
  };
  static std::size_t tensorSlot(std::uint64_t key) {
    return std::size_t((key * 0x9E3779B97F4A7C15ull) >> (64 - kTensorSlotsLog2));
  }
  // A missed element: computed, and kept in the empty slot found for it.
  float compute(float k2, float k3, std::size_t slot, int u);

  std::vector<TensorSlot> tensor_;
  std::vector<std::uint32_t> filled_;  // the slots in use, to empty them again
  std::vector<SincSlot> sinc_;
  TensorModel model_;
  float k1_ = 0.0f;
  bool any_ = false;  // model_ and k1_ are in use
  std::int64_t computed_ = 0, served_ = 0;
};

inline float CellMemo::element(float k2, float k3, int u, bool odd) {
  const auto bits2 = std::bit_cast<std::uint32_t>(k2);
  const std::uint32_t abs2 = bits2 & 0x7FFFFFFFu;
  const std::uint64_t key = std::uint64_t{abs2} << 32 | std::bit_cast<std::uint32_t>(k3);
  const std::size_t mask = tensor_.size() - 1;
  std::size_t at = tensorSlot(key);
  for (;; at = (at + 1) & mask) {
    const TensorSlot& s = tensor_[at];
    if (s.key == key) {
      ++served_;
      return odd && abs2 != bits2 ? -s.phi[u] : s.phi[u];
    }
    if (s.key == kEmpty) break;
  }
  return compute(k2, k3, at, u);
}

inline double CellMemo::sinc(double x) {
  const auto bits = std::bit_cast<std::uint64_t>(x);
  SincSlot& s = sinc_[std::size_t((bits * 0x9E3779B97F4A7C15ull) >> (64 - kSincSlotsLog2))];
  if (std::bit_cast<std::uint64_t>(s.x) != bits) s = {x, wind::sinc(x)};
  return s.value;
}

// Sinc^2-weighted mean of Phi_ij over the cell centred on kc = (k1, k2c, k3c)
// with window lengths Delta.y, Delta.z (Delta.x is not used). i, j are 0-based.
// With a memo the same bits, in less time where its points recur.
double phiInt(const TensorModel& model, Vector3 kc, Vector3 Delta, float tol, int i, int j,
              CellMemo* memo = nullptr);

// phiInt with the quadrature's status returned instead of reported: flag is
// adapint2's (0 when it converged), the result the same bits as phiInt's. For
// checks of a box before any work.
double phiIntStatus(const TensorModel& model, Vector3 kc, Vector3 Delta, float tol, int i, int j,
                    int& flag);

// The symmetric matrix of phiInt for the cell centred on k, computed for (0,0),
// (0,1), (0,2), (1,1), (1,2), (2,2).
Mat3 phiIntMatrix(const TensorModel& model, Vector3 k, Vector3 Delta, float tol,
                  CellMemo* memo = nullptr);

// F_ij(k1) for the component pair (i, j). The pair is sorted in place so that
// i <= j; the pairs (0, 1) and (1, 2), odd in k2, give 0 without integrating.
double phiIntk2k3(const TensorModel& model, float k1, std::span<int, 2> pair, float tol);

// int Phi_ij dk_c over the component selected by IntegrateComp (1: k2, 2: k3);
// kOther is the fixed value of the other one.
double phiIntComp(const TensorModel& model, float k1, float kOther, int IntegrateComp, float tol,
                  int i, int j);

// phiIntComp with the aliasing sum of inertialPhi11 (at the model's alphaeps)
// over the shifts a/p1 of k1 and b/p2 of kOther, a, b in {-2, -1, 1, 2},
// periods = (p1, p2).
double phiIntCompAlias(const TensorModel& model, float k1, float kOther, int IntegrateComp,
                       Pair2 periods, float tol, int i, int j);

// int dk_c (IntegrateComp 1: k2, 2: k3) of the sinc^2 window mean of Phi_ij over
// the other component, window centre c and window length Delta.
double phiIntkxSinc(const TensorModel& model, float k1, float c, float Delta, int IntegrateComp,
                    float tol, int i, int j);

}  // namespace wind
