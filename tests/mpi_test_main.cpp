// The main of every test executable that mpiexec runs (wind_mpi_tests):
// GoogleTest inside MPI, rank 0 reporting in full and the others their
// failures, one line each with the rank; the job fails when any rank does.
#include <gtest/gtest.h>
#include <mpi.h>

#include <cstdio>

namespace {

int worldRank() {
  int rank = 0;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  return rank;
}

// The failures of a rank other than 0, one line each with the rank.
class RankFailures : public ::testing::EmptyTestEventListener {
  void OnTestPartResult(const ::testing::TestPartResult& r) override {
    if (r.failed())
      std::fprintf(stderr, "rank %d: %s:%d: %s\n", worldRank(), r.file_name(), r.line_number(),
                   r.summary());
  }
};

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  ::testing::InitGoogleTest(&argc, argv);
  if (worldRank() != 0) {
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    listeners.Append(new RankFailures);
  }
  int failed = RUN_ALL_TESTS() != 0 ? 1 : 0, anyFailed = 0;
  MPI_Allreduce(&failed, &anyFailed, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  MPI_Finalize();
  return anyFailed;
}
