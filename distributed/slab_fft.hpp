#pragma once
// rlft3's inverse transform (numerics/fft.hpp) of one array cut into slabs of
// planes across the processes of an MPI communicator, with rlft3's bits.
//
// rlft3InverseAcross composes the slab steps of numerics/fft_slab.hpp (see
// there why the bits are rlft3's) with two kinds of exchange, collective
// over comm:
//   1. the mirror planes: each rank receives copies of the planes (with
//      their Nyquist rows) that the tangling of its slab pairs with its own
//      and another rank holds (MPI_Alltoallv, one plane a unit), then
//      tangles and transforms along axes 3 and 2 (rlft3InverseTangle,
//      rlft3InverseRows);
//   2. the transpose: the complex columns of every slab are packed by the
//      column blocks of the cut (copyColumnsOut into work) and exchanged
//      (MPI_Alltoallv) so that rank r holds all nn1 rows of its columns, in
//      the slab buffer itself; the transforms along axis 1 run there
//      (rlft3InverseColumns); the reverse exchange and copyColumnsIn bring
//      the planes home.
// The bits are rlft3's for every number of ranks, slabs of one plane and
// empty ones (more ranks than planes) included, and every thread count.
//
// Cut and buffers: comm has cut.parts ranks; rank r holds planes
// cut.planes(r). slab is its planes in rlft3's layout, in a buffer of
// rlft3SlabBuffers(cut, r).slab floats (at least the planes; the column
// block of the transpose lands there too), nyquist its Nyquist rows (2 nn2
// floats a plane), work a buffer of rlft3SlabBuffers(cut, r).work floats
// (the mirror copies, then the packed columns). On return slab holds the
// rank's planes of rlft3's output, nyquist and work values of no further
// use. Memory per rank: about twice its share of the array, the slab and one
// buffer of the same size.
//
// Failure (fatalError, on the ranks that see it): a communicator whose size
// is not cut.parts ("rlft3InverseAcross: the cut does not match the
// communicator"); a piece of an exchange beyond the int counts of MPI
// ("rlft3InverseAcross: a piece of the transpose is too large for one
// exchange; use more processes"); the failures of the slab steps. Errors of
// MPI itself end the job (its default handler).
#include <mpi.h>

#include <cstdint>

#include "numerics/fft_slab.hpp"

namespace wind {

// Floats of the two buffers of rank r.
struct SlabBufferSizes {
  std::int64_t slab = 0;
  std::int64_t work = 0;
};
SlabBufferSizes rlft3SlabBuffers(const SlabPartition& cut, int r);

void rlft3InverseAcross(MPI_Comm comm, const SlabPartition& cut, float* slab, float* nyquist,
                        float* work);

}  // namespace wind
