#pragma once
// The NetCDF file of a box held in slabs (handover/netcdf_file.hpp), written
// by every rank at once through parallel NetCDF-4 (HDF5 over MPI-IO): the
// same dimensions, variables, attributes and values as vorlan's file of the
// whole box.
//
// Every rank opens the file's temporary (nc_create_par), defines the same
// content (the attributes from the whole box's statistics and the hub figures,
// which every rank holds), rank 0 writes the grid variables, and each rank
// writes the file planes of its own planes with collective puts
// (nc_var_par_access NC_COLLECTIVE), in as many rounds as the rank with the
// most chunks needs: a rank that has written its planes makes empty puts.
// Library failures are agreed on (MpiRun::settle) after the open, the
// definitions and the close, so a failure ends the run once.
//
// Why parallel NetCDF-4 rather than PnetCDF: parallel NetCDF-4 is what
// Debian packages (libnetcdf-mpi-dev), writes the same NetCDF-4 files as the
// serial library vorlan uses (one format for both programs), and has no 4 GiB
// limits; PnetCDF writes the classic formats (CDF-5 for large variables), is
// not packaged with NetCDF's parallel build, and would make vorlan-mpi's files
// another format than vorlan's.
//
// A build without the parallel library refuses the format
// (checkParallelNetcdf): "--format netcdf: this build of vorlan-mpi has no
// parallel NetCDF library; install it (Debian: libnetcdf-mpi-dev, or
// tools/install-prerequisites.sh netcdf), configure and build again, or write
// the box with vorlan".
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "distributed/mpi_outputs.hpp"
#include "distributed/mpi_run.hpp"
#include "handover/netcdf_file.hpp"

namespace wind {

void checkParallelNetcdf(WindFileFormat format);

// Collective: shared file 0 of files, this rank's planes first .. (0-based,
// values[c] component c, classic layout) of the box on grid.
void writeParallelNetcdf(MpiRun& run, MpiOutputFiles& files, const BoxGrid& grid,
                         const std::array<std::span<const float>, 3>& values,
                         std::int64_t first, const std::vector<NetcdfAttribute>& attributes);

}  // namespace wind
