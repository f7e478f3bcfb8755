#include "distributed/mpi_netcdf.hpp"

#include <optional>

#include "support/fatal_error.hpp"

#ifndef WIND_HAS_PARALLEL_NETCDF
#define WIND_HAS_PARALLEL_NETCDF 0
#endif
#if WIND_HAS_PARALLEL_NETCDF
#include <netcdf.h>
#include <netcdf_par.h>
#endif

namespace wind {

void checkParallelNetcdf(WindFileFormat format) {
  if (format == WindFileFormat::netcdf && !WIND_HAS_PARALLEL_NETCDF)
    fatalError("--format netcdf: this build of vorlan-mpi has no parallel NetCDF library; "
               "install it (Debian: libnetcdf-mpi-dev, or tools/install-prerequisites.sh "
               "netcdf), configure and build again, or write the box with vorlan");
}

#if WIND_HAS_PARALLEL_NETCDF

namespace {

std::string failure(const std::string& name, int status) {
  return "Could not write output file " + name + ": " + nc_strerror(status);
}

}  // namespace

void writeParallelNetcdf(MpiRun& run, MpiOutputFiles& files, const BoxGrid& grid,
                         const std::array<std::span<const float>, 3>& values,
                         std::int64_t first, const std::vector<NetcdfAttribute>& attributes) {
  const std::string& name = files.name(0);
  run.agree([&] {
    if (files.direct(0))
      fatalError("--format netcdf: " + name +
                 " is a device or a pipe; a NetCDF file must be a file: give another name");
  });
  int ncid = -1;
  const int opened = nc_create_par(files.path(0).c_str(), NC_CLOBBER | NC_NETCDF4, run.comm(),
                                   MPI_INFO_NULL, &ncid);
  run.settle(opened != NC_NOERR, opened != NC_NOERR ? failure(name, opened) : std::string());
  std::optional<NetcdfWriter> writer;
  run.agree([&] { writer.emplace(ncid, name, grid, attributes); });
  writer->keepGoing();
  int status = NC_NOERR;
  for (const int var : writer->velocities()) {
    const int s = nc_var_par_access(ncid, var, NC_COLLECTIVE);
    if (status == NC_NOERR) status = s;
  }
  if (run.root()) writer->writeGrid();
  const std::int64_t planes = grid.N2 > 0 && grid.N3 > 0
                                  ? std::int64_t(values[0].size()) / (std::int64_t(grid.N2) * grid.N3)
                                  : 0;
  std::int64_t rounds = writer->chunks(first, planes), most = 0;
  MPI_Allreduce(&rounds, &most, 1, MPI_INT64_T, MPI_MAX, run.comm());
  writer->writeVelocities(values, first, most);
  if (status == NC_NOERR) status = writer->failure();
  const int closed = nc_close(ncid);
  if (status == NC_NOERR) status = closed;
  run.settle(status != NC_NOERR, status != NC_NOERR ? failure(name, status) : std::string());
}

#else

void writeParallelNetcdf(MpiRun&, MpiOutputFiles&, const BoxGrid&,
                         const std::array<std::span<const float>, 3>&, std::int64_t,
                         const std::vector<NetcdfAttribute>&) {
  checkParallelNetcdf(WindFileFormat::netcdf);
}

#endif

}  // namespace wind
