#pragma once
// rlft3's inverse transform taken apart into steps on slabs of planes and on
// blocks of columns, so that processes holding parts of one array compute
// exactly the bits of rlft3 (numerics/fft.hpp) on the whole of it.
//
// What rlft3 does. With isign = -1 on data [1..nn1][1..nn2][1..nn3] and its
// Nyquist plane [1..nn1][1..2 nn2], rlft3 runs, in this order:
//   (1) tangling: the half spectrum and the Nyquist plane are folded into the
//       spectrum of the complex view of the array, nn1 x nn2 x nn3/2 complex
//       values. Plane i is folded with its mirror j = nn1 - i + 2 (Hermitian
//       symmetry pairs wave vector k with -k): each pair i < j row i then row
//       j (detail::rlft3UntangleRow), the planes 1 and nn1/2 + 1, their own
//       mirrors, alone;
//   (2) the complex transforms along axis 3 (lines of nn3/2 values), then
//   (3) along axis 2 (lines of nn2), then
//   (4) along axis 1 (lines of nn1).
// Each step works on whole lines of its axis (step 1 on whole planes and
// their mirrors), and each line's result depends only on its own values, so
// a process holding planes first .. last can run (1) to (3), and one holding
// all nn1 values of a block of columns can run (4); every value then sees
// rlft3's operations in rlft3's order and the result is rlft3's, bit for
// bit, for any cut into slabs and blocks and any thread count.
//
// The steps, in the order of a distributed inverse (slab owners S, column
// block owners B; on one process S = B):
//   S: take copies of the planes rlft3MirrorPlanes names from their owners,
//      before anyone tangles them;
//   S: rlft3InverseTangle(own, mirror)          step (1)
//   S: rlft3InverseRows(own)                    steps (2) and (3)
//   S: copyColumnsOut for each block, send;     the transpose
//   B: receive into [1..nn1][block columns]: the piece of slab first .. last
//      lands at rows first .. last
//   B: rlft3InverseColumns(block)               step (4)
//   B: send rows first .. last of the block back to each slab owner;
//   S: copyColumnsIn for each block             the transpose back
// after which the slab holds planes first .. last of rlft3's output.
//
// Layout. A slab (Rlft3Slab) is planes first .. last (1-based along axis 1)
// in rlft3's layout: plane p at data + (p - first) nn2 nn3, element (i2, i3)
// at offset (i2 - 1) nn3 + i3 - 1 within it, and the rows of the Nyquist
// plane at nyquist + (p - first) 2 nn2. Complex columns are numbered
// col = (i2 - 1) nn3/2 + q for q = 0 .. nn3/2 - 1, 0-based, C = nn2 nn3/2 of
// them; complex value col of a plane is the floats 2 col, 2 col + 1 of the
// plane. A block of columns c0 .. c1 - 1 is [1..nn1][c1 - c0] complex values,
// row (plane) slowest.
//
// Failure (fatalError): dimensions that are not powers of two (nn3 >= 2) or
// planes outside 1 .. nn1: "rlft3 slab: dimensions are not powers of 2 or
// planes lie outside the array"; a mirror slab that lacks a plane the
// tangling needs: "rlft3 slab: copies of the mirror planes missing". The
// pointers and the column ranges of the copies are not checked.
//
// Cost and memory: the tangling of a pair whose planes lie on two processes
// is done by both (each keeps its own plane), which doubles step (1) for
// those planes, a step of O(N) against the O(N log N) transforms. Nothing
// allocates; the steps run on the library's threads, the same bits for
// every thread count. Reentrant on distinct arrays.
#include <algorithm>
#include <cstdint>

namespace wind {

// Planes first .. last along axis 1; empty when last < first.
struct PlaneRange {
  std::int64_t first = 1, last = 0;

  std::int64_t count() const { return last >= first ? last - first + 1 : 0; }
  bool contains(std::int64_t i) const { return first <= i && i <= last; }
};

// The planes two ranges share (empty when they share none).
inline PlaneRange overlap(PlaneRange a, PlaneRange b) {
  return {std::max(a.first, b.first), std::min(a.last, b.last)};
}

// Planes of an nn1 x nn2 x nn3 array, with their Nyquist rows (see the
// layout above).
struct Rlft3Slab {
  float* data = nullptr;
  float* nyquist = nullptr;
  PlaneRange planes;
};

// The planes whose copies rlft3InverseTangle needs for a slab of `own`
// planes: the mirrors nn1 - i + 2 of its planes i >= 2, less its own planes;
// always one contiguous range (empty when the slab holds all its mirrors).
PlaneRange rlft3MirrorPlanes(std::int64_t nn1, PlaneRange own);

// Step (1) on the planes of own; mirror holds copies of (at least) the planes
// rlft3MirrorPlanes names, with their Nyquist rows, as they were before the
// tangling, and is overwritten. own's Nyquist rows are left holding values
// of no further use (as rlft3 leaves its Nyquist plane).
void rlft3InverseTangle(const Rlft3Slab& own, const Rlft3Slab& mirror, std::int64_t nn1,
                        std::int64_t nn2, std::int64_t nn3);

// Steps (2) and (3): the inverse complex transforms along axes 3 and 2 of
// every plane of own.
void rlft3InverseRows(const Rlft3Slab& own, std::int64_t nn2, std::int64_t nn3);

// Step (4): the inverse complex transforms of length nn1 of the ncols
// complex columns of block ([1..nn1][ncols] complex values).
void rlft3InverseColumns(float* block, std::int64_t nn1, std::int64_t ncols);

// The transpose: complex columns c0 .. c1 - 1 of each of the `planes`
// planes of a slab of C complex columns per plane, to packed
// [planes][c1 - c0] (copyColumnsOut), and back (copyColumnsIn). Unchecked:
// 0 <= c0 <= c1 <= C.
void copyColumnsOut(const float* slab, std::int64_t planes, std::int64_t C, std::int64_t c0,
                    std::int64_t c1, float* packed);
void copyColumnsIn(const float* packed, std::int64_t planes, std::int64_t C, std::int64_t c0,
                   std::int64_t c1, float* slab);

// An even cut of the planes and of the columns among `parts` owners (parts
// >= 1): part r holds planes nn1 r / parts + 1 .. nn1 (r + 1) / parts and
// columns C r / parts .. C (r + 1) / parts - 1, so slabs differ by at most
// one plane and some are empty when parts > nn1.
struct SlabPartition {
  std::int64_t nn1 = 1, nn2 = 1, nn3 = 2;
  int parts = 1;

  std::int64_t columns() const { return nn2 * (nn3 / 2); }
  PlaneRange planes(int r) const { return {nn1 * r / parts + 1, nn1 * (r + 1) / parts}; }
  std::int64_t columnBegin(int r) const { return columns() * r / parts; }
  std::int64_t columnCount(int r) const { return columnBegin(r + 1) - columnBegin(r); }
};

}  // namespace wind
