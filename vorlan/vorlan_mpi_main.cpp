// vorlan-mpi: the simulator across the processes of an MPI job.
#include <mpi.h>

#include <iostream>

#include "vorlan/vorlan_mpi.hpp"

int main(int argc, char** argv) {
  int provided = 0;
  // Only the thread that calls MPI_Init_thread talks to MPI; OpenMP teams
  // compute between the calls.
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  const int status = wind::runVorlanMpi(MPI_COMM_WORLD, argc, argv, std::cerr, std::cout);
  MPI_Finalize();
  return status;
}
