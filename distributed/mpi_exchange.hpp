#pragma once
// Internal to distributed/: the pieces of an MPI_Alltoallv exchange.
#include <mpi.h>

#include <cstdint>
#include <vector>

namespace wind {

// Counts and displacements of one MPI_Alltoallv, per rank.
struct Exchange {
  std::vector<int> sendCount, sendAt, recvCount, recvAt;

  explicit Exchange(int ranks)
      : sendCount(std::size_t(ranks)), sendAt(std::size_t(ranks)), recvCount(std::size_t(ranks)),
        recvAt(std::size_t(ranks)) {}

  void run(const float* send, float* recv, MPI_Datatype unit, MPI_Comm comm) const {
    MPI_Alltoallv(send, sendCount.data(), sendAt.data(), unit, recv, recvCount.data(),
                  recvAt.data(), unit, comm);
  }
};

// An MPI type of n consecutive floats, freed with the object.
class FloatRun {
 public:
  explicit FloatRun(std::int64_t n) {
    MPI_Type_contiguous(static_cast<int>(n), MPI_FLOAT, &type_);
    MPI_Type_commit(&type_);
  }
  ~FloatRun() { MPI_Type_free(&type_); }
  FloatRun(const FloatRun&) = delete;
  FloatRun& operator=(const FloatRun&) = delete;
  MPI_Datatype type() const { return type_; }

 private:
  MPI_Datatype type_ = MPI_DATATYPE_NULL;
};

}  // namespace wind
