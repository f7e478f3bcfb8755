#include "vorlan/vorlan_mpi.hpp"

#include <ostream>

#include "distributed/mpi_netcdf.hpp"
#include "distributed/mpi_run.hpp"
#include "distributed/slab_maker.hpp"
#include "runner/driver.hpp"
#include "support/version.hpp"
#include "vorlan/command_line.hpp"

namespace wind {

namespace {

constexpr const char* kProgram = "vorlan-mpi";

void printMpiHelp(std::ostream& out) {
  out << R"(Usage: mpirun -np P vorlan-mpi [OPTIONS] [FILE]    (or srun vorlan-mpi ...)

Synthesises the field of the parameter file FILE across the P processes of
an MPI job and writes the same files, bit for bit, as vorlan does; a box is
cut into slabs of planes along the wind, so no process holds all of it.

Options: vorlan's, with the same meaning and the same files (vorlan --help):
  --seeds LIST, --threads N (threads of each process), --layout NAME,
  --random NAME, --format NAME (raw, bts, wnd or netcdf), --wind-speed V,
  --hub-height Z, --grid-bottom B, --profile P, --scale iec,
  --openfast-template FILE, --constraints FILE, --help (-h), --version
The parameter file is vorlan's; docs/cluster.md tells how to run under Slurm
and how an LES code reads the NetCDF file.
)";
}

}  // namespace

int runVorlanMpi(MPI_Comm comm, int argc, const char* const argv[], std::ostream& echo,
                 std::ostream& listing) {
  MpiRun run(comm);
  std::ostream silent(nullptr);
  std::ostream& out = run.root() ? echo : silent;
  VorlanOptions options;
  run.agree([&] {
    options = parseVorlanCommandLine(argc, argv);
    checkParallelNetcdf(options.format);
  });
  if (options.help || options.version) {
    if (run.root()) {
      if (options.help) printMpiHelp(listing);
      else listing << kProgram << ' ' << kVersion << '\n';
      listing.flush();
    }
    return 0;
  }
  // Every rank reads the parameter file; each process's memory is its slab's.
  PreparedRuns prepared;
  prepared.options = options;
  run.agree([&] {
    readParameterFile(prepared, parameterSourceStep, out);
    prepareRuns(prepared, {.memory = false});
  });
  checkRankMemory(run, prepared.input);
  SlabBoxMaker maker(run, prepared, listing);
  runSequence(prepared, maker, out);
  return 0;
}

}  // namespace wind
