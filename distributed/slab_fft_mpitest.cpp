// Run by mpiexec on 1 to 4 processes (wind_mpi_tests): every rank checks its
// planes against rlft3 on the whole array, computed locally.
#include "distributed/slab_fft.hpp"

#include <gtest/gtest.h>
#include <mpi.h>

#include <vector>

#include "tests/rlft3_reference.hpp"

using namespace wind;
using wind::testing::Rlft3Shape;

namespace {

int worldRank() {
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  return rank;
}

}  // namespace

// Slab counts that do and do not divide nn1, slabs of one plane, ranks
// without planes (nn1 = 2 and the two-dimensional nn1 = 1) or without
// columns (C = 2 on 3 or 4 ranks), and nn3 = 2.
TEST(Rlft3InverseAcross, EveryRankHoldsItsPlanesOfRlft3) {
  int ranks = 0;
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  const int me = worldRank();
  const Rlft3Shape shapes[] = {{16, 4, 8}, {8, 2, 2}, {2, 8, 4}, {1, 8, 8}, {32, 8, 16}, {4, 1, 4}};
  for (Rlft3Shape g : shapes) {
    const wind::testing::Rlft3Spectrum in = wind::testing::rlft3Noise(g, std::uint64_t(g.nn1 * 977 + g.nn3));
    const std::vector<float> want = wind::testing::rlft3WholeInverse(in, g);

    const SlabPartition cut{g.nn1, g.nn2, g.nn3, ranks};
    const PlaneRange mine = cut.planes(me);
    const SlabBufferSizes size = rlft3SlabBuffers(cut, me);
    const std::int64_t planeFloats = g.nn2 * g.nn3, offset = (mine.first - 1) * planeFloats;
    std::vector<float> slab(std::size_t(size.slab)), work(std::size_t(size.work));
    std::copy_n(in.data.begin() + offset, mine.count() * planeFloats, slab.begin());
    std::vector<float> nyquist(in.nyquist.begin() + (mine.first - 1) * 2 * g.nn2,
                               in.nyquist.begin() + mine.last * 2 * g.nn2);
    rlft3InverseAcross(MPI_COMM_WORLD, cut, slab.data(), nyquist.data(), work.data());

    EXPECT_TRUE(wind::testing::sameBits(slab.data(), want.data() + offset,
                                  std::size_t(mine.count() * planeFloats)))
        << g.nn1 << " x " << g.nn2 << " x " << g.nn3 << " on " << ranks << " ranks, rank " << me
        << " planes " << mine.first << ".." << mine.last;
  }
}
