#include "distributed/slab_fft.hpp"

#include <algorithm>
#include <climits>
#include <vector>

#include "distributed/mpi_exchange.hpp"
#include "support/fatal_error.hpp"

namespace wind {

namespace {

int count(std::int64_t n) { return static_cast<int>(n); }

}  // namespace

SlabBufferSizes rlft3SlabBuffers(const SlabPartition& cut, int r) {
  const std::int64_t planeFloats = cut.nn2 * cut.nn3, rowFloats = 2 * cut.nn2;
  const std::int64_t own = cut.planes(r).count() * planeFloats;
  const std::int64_t mirrors = rlft3MirrorPlanes(cut.nn1, cut.planes(r)).count() * (planeFloats + rowFloats);
  return {std::max(own, 2 * cut.nn1 * cut.columnCount(r)), std::max(own, mirrors)};
}

void rlft3InverseAcross(MPI_Comm comm, const SlabPartition& cut, float* slab, float* nyquist,
                        float* work) {
  int ranks = 0, me = 0;
  MPI_Comm_size(comm, &ranks);
  MPI_Comm_rank(comm, &me);
  if (ranks != cut.parts) fatalError("rlft3InverseAcross: the cut does not match the communicator");
  const std::int64_t nn1 = cut.nn1, nn2 = cut.nn2, nn3 = cut.nn3, C = cut.columns();
  const PlaneRange mine = cut.planes(me);
  const std::int64_t m = mine.count(), ncols = cut.columnCount(me);
  // The largest count or displacement of any rank below: in complex values,
  // or floats for a plane's type. Every rank reaches the same verdict.
  std::int64_t largest = nn2 * nn3;
  for (int q = 0; q < ranks; ++q)
    largest = std::max({largest, cut.planes(q).count() * C, nn1 * cut.columnCount(q)});
  if (largest > INT_MAX)
    fatalError(
        "rlft3InverseAcross: a piece of the transpose is too large for one exchange; use more "
        "processes");

  // 1. Copies of the mirror planes: rank q receives the planes of mine that
  // its tangling needs, and I those of its planes that mine needs.
  const PlaneRange needed = rlft3MirrorPlanes(nn1, mine);
  Exchange planes(ranks);
  for (int q = 0; q < ranks; ++q) {
    const PlaneRange out = overlap(mine, rlft3MirrorPlanes(nn1, cut.planes(q)));
    const PlaneRange in = overlap(cut.planes(q), needed);
    planes.sendCount[q] = count(out.count());
    planes.sendAt[q] = count(out.count() > 0 ? out.first - mine.first : 0);
    planes.recvCount[q] = count(in.count());
    planes.recvAt[q] = count(in.count() > 0 ? in.first - needed.first : 0);
  }
  float* mirrorData = work;
  float* mirrorNyquist = work + needed.count() * nn2 * nn3;
  {
    const FloatRun plane(nn2 * nn3), row(2 * nn2);
    planes.run(slab, mirrorData, plane.type(), comm);
    planes.run(nyquist, mirrorNyquist, row.type(), comm);
  }
  const Rlft3Slab own{slab, nyquist, mine};
  if (m > 0) {
    rlft3InverseTangle(own, {mirrorData, mirrorNyquist, needed}, nn1, nn2, nn3);
    rlft3InverseRows(own, nn2, nn3);
  }

  // 2. The transpose: my planes' columns of rank q's block go out packed at
  // m columnBegin(q) complex values; rank q's rows of my block land at rows
  // first .. last of [nn1][ncols] in the slab buffer.
  Exchange there(ranks), back(ranks);
  for (int q = 0; q < ranks; ++q) {
    const std::int64_t c0 = cut.columnBegin(q), c1 = c0 + cut.columnCount(q);
    copyColumnsOut(slab, m, C, c0, c1, work + 2 * m * c0);
    const PlaneRange theirs = cut.planes(q);
    there.sendCount[q] = back.recvCount[q] = count(m * (c1 - c0));
    there.sendAt[q] = back.recvAt[q] = count(m * c0);
    there.recvCount[q] = back.sendCount[q] = count(theirs.count() * ncols);
    there.recvAt[q] = back.sendAt[q] = count((theirs.first - 1) * ncols);
  }
  const FloatRun complexValue(2);
  there.run(work, slab, complexValue.type(), comm);
  rlft3InverseColumns(slab, nn1, ncols);
  back.run(slab, work, complexValue.type(), comm);
  for (int q = 0; q < ranks; ++q) {
    const std::int64_t c0 = cut.columnBegin(q), c1 = c0 + cut.columnCount(q);
    copyColumnsIn(work + 2 * m * c0, m, C, c0, c1, slab);
  }
}

}  // namespace wind
