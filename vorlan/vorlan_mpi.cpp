#include "vorlan/vorlan_mpi.hpp"

#include <ostream>
#include <string>
#include <string_view>

#include "distributed/mpi_run.hpp"
#include "distributed/slab_maker.hpp"
#include "runner/driver.hpp"
#include "support/fatal_error.hpp"
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

Options (as vorlan's):
  --seeds LIST      one run per seed, e.g. -1,-2,-3 or -1:-6
  --threads N       threads of each process
  --layout NAME     classic (default) or inflowwind
  --random NAME     classic (default) or counter
  --help, -h        this text
  --version         the version
The parameter file is vorlan's (vorlan --help); docs/cluster.md tells how to
run under Slurm.
)";
}

}  // namespace

void checkMpiOptions(int argc, const char* const argv[]) {
  static constexpr std::string_view kTaken[] = {"--seeds", "--threads", "--layout", "--random"};
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--help" || arg == "-h" || arg == "--version") continue;
    if (arg.size() < 2 || arg.substr(0, 2) != "--") continue;
    bool taken = false;
    for (const std::string_view name : kTaken) {
      if (arg == name) {
        taken = true;
        ++i;  // its value
      } else if (arg.size() > name.size() && arg.substr(0, name.size()) == name &&
                 arg[name.size()] == '=') {
        taken = true;
      }
      if (taken) break;
    }
    if (!taken)
      fatalError(std::string(kProgram) + ": " + std::string(arg.substr(0, arg.find('='))) +
                 " is not supported; it takes --seeds, --threads, --layout, --random, --help "
                 "and --version");
  }
}

int runVorlanMpi(MPI_Comm comm, int argc, const char* const argv[], std::ostream& echo,
                 std::ostream& listing) {
  MpiRun run(comm);
  std::ostream silent(nullptr);
  std::ostream& out = run.root() ? echo : silent;
  VorlanOptions options;
  run.agree([&] {
    checkMpiOptions(argc, argv);
    options = parseVorlanCommandLine(argc, argv);
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
