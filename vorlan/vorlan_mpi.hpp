#pragma once
// vorlan-mpi: the simulator across the processes of an MPI job
// (`mpirun -np P vorlan-mpi FILE [options]`, or Slurm's srun).
//
// Same parameter file, same echo and summary (from rank 0), same output files
// and the same bytes as vorlan (runner/driver.hpp) for every P and thread
// count; the run record is vorlan's but for "program": "vorlan-mpi" and a
// "processes" entry. A three-dimensional box is cut into slabs of planes
// along axis 1 (distributed/slab_box.hpp): no rank ever holds the whole
// field. A line or a plane (a few megabytes at most) is synthesised by rank 0
// alone and written through the same collective path.
//
// Options: every option of vorlan's, read by vorlan's parser (--threads
// per process); --format netcdf needs the parallel NetCDF library
// (distributed/mpi_netcdf.hpp).
//
// Every rank reads the parameter file (and a terrain file) itself; every
// step that may fail on some ranks only is agreed on before the next
// collective (distributed/mpi_run.hpp), so a failure ends every rank with
// status 1 and the fatal report printed once, by rank 0; the outputs then
// leave nothing behind (distributed/mpi_outputs.hpp). VORLAN_STAGE_TIMES
// prints rank 0's stage times as vorlan does (the amplitude stage includes
// the start of the classic stream; the transforms include the exchanges).
#include <mpi.h>

#include <iosfwd>

namespace wind {

// One complete run on comm (MPI already initialised); returns 0 on every rank,
// failures do not return.
int runVorlanMpi(MPI_Comm comm, int argc, const char* const argv[], std::ostream& echo,
                 std::ostream& listing);

}  // namespace wind
