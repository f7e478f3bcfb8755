#pragma once
// Internal to turb3d (synthesis/turb3d.hpp): the plan of the wave-vector space,
// which wave vectors of an N1 x N2 x N3 grid are generated and where each one
// stands in the sequence of generated wave vectors.
//
// Indices are those of the packed half spectrum (fourier_grid.hpp): i = 1 ..
// N1 and j = 1 .. N2 along the full directions, l = 1 .. N3/2 + 1 along the
// last one. The visiting order is i (outer, one plane per i), j, l (inner);
// k = 0 (i = j = l = 1) is never generated, and in the planes l = 1 (k3 = 0)
// and l = N3/2 + 1 (the highest k3), where the half spectrum must be Hermitian
// within the plane, only one of each pair (k1, k2), (-k1, -k2) is generated:
// 1 < i < N1/2 + 1, or i in {1, N1/2 + 1} with j <= N2/2 + 1. The conjugate of
// a generated one is written at its mirror, and a mode that is its own mirror
// (i in {1, N1/2 + 1} and j in {1, N2/2 + 1}) gets a real coefficient.
//
// The sequence. Every generated wave vector has one place n = 0, 1, ... in the
// visiting order over the whole grid; planeStart(i) is the place of the first
// one of plane i and rowOffset(i, j) that of row (i, j) within its plane. The
// random deviates and the amplitude store follow this sequence, so a part of
// the grid (a range of planes, for example) finds its own deviates and
// amplitudes at the same places as the whole grid does.
//
// Needs N3 >= 2 (the planes l = 1 and l = N3/2 + 1 are then distinct);
// the caller checks the grid. The plane starts take N1 + 1 integers, allocated
// by the constructor; the queries allocate nothing and are reentrant.
#include <cstdint>
#include <vector>

#include "synthesis/grid.hpp"

namespace wind::detail {

class Turb3dPlan {
 public:
  explicit Turb3dPlan(const BoxGrid& grid);

  int N1, N2, N3;
  int iHigh, jHigh, lNyquist;  // indices of the highest frequencies

  // i is its own mirror along the first direction (k1 = 0 or the highest k1).
  bool iSelf(int i) const { return i == 1 || i == iHigh; }
  // Row (i, j) generates its wave vectors in the planes l = 1 and l = N3/2 + 1.
  bool inPlaneRow(int i, int j) const {
    return (1 < i && i < iHigh) || (iSelf(i) && j <= jHigh);
  }
  // The first l of row (i, j): 2 for i = j = 1 (k = 0 is never generated).
  int firstL(int i, int j) const { return (i == 1 && j == 1) ? 2 : 1; }
  bool generates(int i, int j, int l) const {
    if (l < firstL(i, j)) return false;
    return inPlaneRow(i, j) || (l != 1 && l != lNyquist);
  }
  // Generated wave vectors of row (i, j): l = firstL .. lNyquist, less the two
  // in-plane ones when the row's mirror generates them.
  int rowCount(int i, int j) const {
    return inPlaneRow(i, j) ? lNyquist - firstL(i, j) + 1 : lNyquist - 2;
  }
  // Place of the first generated wave vector of row (i, j) within plane i.
  std::int64_t rowOffset(int i, int j) const;

  // Place of the first generated wave vector of plane i in the whole sequence,
  // i = 1 .. N1 + 1 (planeStart(N1 + 1) is the number of generated wave vectors).
  std::int64_t planeStart(int i) const { return start_[std::size_t(i) - 1]; }
  // Generated wave vectors of the planes first .. last.
  std::int64_t planeModes(int first, int last) const {
    return planeStart(last + 1) - planeStart(first);
  }
  std::int64_t modes() const { return planeStart(N1 + 1); }
  // The widest of the planes first .. last, in generated wave vectors.
  std::int64_t widestPlane(int first, int last) const;

 private:
  std::vector<std::int64_t> start_;
};

}  // namespace wind::detail
