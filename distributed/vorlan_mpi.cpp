#include "distributed/vorlan_mpi.hpp"

#include <array>
#include <cstdlib>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "distributed/mpi_outputs.hpp"
#include "distributed/mpi_run.hpp"
#include "distributed/slab_box.hpp"
#include "numerics/version.hpp"
#include "sources/iec.hpp"
#include "sources/site_steps.hpp"
#include "synthesis/turb3d.hpp"
#include "vorlan/command_line.hpp"
#include "vorlan/driver.hpp"
#include "vorlan/layout.hpp"
#include "vorlan/run_memory.hpp"
#include "vorlan/run_record.hpp"

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

// Each rank replays its own prefix of the classic stream;
// VORLAN_MPI_STREAM_START=onepass has rank 0 record and scatter the states
// instead (for bench/mpi.sh, which measures both).
StreamStart streamStart() {
  const char* v = std::getenv("VORLAN_MPI_STREAM_START");
  return v != nullptr && std::string_view(v) == "onepass" ? StreamStart::onePass
                                                          : StreamStart::replay;
}

// Wall seconds of rank 0's stages, each ended at a barrier (only when timed).
class StageClock {
 public:
  StageClock(const MpiRun& run, bool on) : run_(run), on_(on) {}
  void start() {
    if (on_) t_ = MPI_Wtime();
  }
  void lap(double& seconds) {
    if (!on_) return;
    MPI_Barrier(run_.comm());
    const double now = MPI_Wtime();
    seconds += now - t_;
    t_ = now;
  }

 private:
  const MpiRun& run_;
  bool on_;
  double t_ = 0.0;
};

struct StageSeconds {
  double amplitudes = 0.0, transforms = 0.0, writing = 0.0;
};


// Collective: the number of the run's processes on this rank's machine.
int ranksOnThisMachine(const MpiRun& run) {
  MPI_Comm local;
  MPI_Comm_split_type(run.comm(), MPI_COMM_TYPE_SHARED, run.rank(), MPI_INFO_NULL, &local);
  int localRanks = 1;
  MPI_Comm_size(local, &localRanks);
  MPI_Comm_free(&local);
  return localRanks;
}

// Collective, before any file exists: each rank's memory weighed as vorlan
// weighs a whole run's (a line or a plane is rank 0's alone).
void checkRankMemory(MpiRun& run, const SimulationInput& in) {
  const int localRanks = ranksOnThisMachine(run);
  run.agree([&] {
    if (in.fieldDim != 3) {
      if (run.root()) checkRunMemory(in);
      return;
    }
    checkProcessMemory(double(slabBoxBytes(in, run.size(), run.rank())),
                       "its slab of the box, with room for the transpose and an exchange buffer",
                       run.size(), localRanks);
  });
}

// The amplitude store of a --seeds run: kept when, on every rank, the slab's
// store and box take at most kAmplitudeStoreShare of the rank's share of its
// machine's memory.
bool keepSlabAmplitudes(const MpiRun& run, const SimulationInput& in, std::size_t seeds) {
  if (seeds < 2 || in.fieldDim != 3) return false;
  const int localRanks = ranksOnThisMachine(run);
  const SlabPartition cut{in.NPoint[0], in.NPoint[1], in.NPoint[2], run.size()};
  const PlaneRange planes = cut.planes(run.rank());
  const BoxGrid grid{in.NPoint[0], in.NPoint[1], in.NPoint[2], Vector3()};
  const double modes = double(turb3dPlaneStart(grid, int(planes.last) + 1) -
                              turb3dPlaneStart(grid, int(planes.first)));
  const double bytes = 4.0 * modes * in.nComp * in.nComp + double(slabBoxBytes(in, run.size(), run.rank()));
  int fits = bytes <= kAmplitudeStoreShare * machineMemory().bytes / localRanks ? 1 : 0, all = 0;
  MPI_Allreduce(&fits, &all, 1, MPI_INT, MPI_MIN, run.comm());
  return all != 0;
}

// The hub figures of a box cut into slabs (rank 0's; none elsewhere): each
// rank's part of the four lines around the hub, gathered to rank 0 in plane
// order (the ranks hold ascending planes), where they are formed as vorlan
// forms them from the whole box.
std::optional<HubFigures> gatherHubFigures(MpiRun& run, SlabBox& box, const SimulationInput& in,
                                           const HandOver& h) {
  if (!h.placement) return std::nullopt;
  const BoxGrid grid = boxGridOf(in);
  const HubPoints at = hubPoints(grid, *h.placement);
  std::vector<int> counts(std::size_t(run.size())), starts(std::size_t(run.size()), 0);
  for (int r = 0; r < run.size(); ++r) {
    counts[std::size_t(r)] = static_cast<int>(box.cut.planes(r).count());
    if (r > 0) starts[std::size_t(r)] = starts[std::size_t(r) - 1] + counts[std::size_t(r) - 1];
  }
  std::array<HubLines, 3> lines;
  std::array<int, 3> comps{};
  for (int c = 0; c < in.nComp; ++c) {
    comps[std::size_t(c)] = in.components[c];
    HubLines mine;
    appendHubLines(box.values(c), box.planes.count(), grid, at, mine);
    for (std::size_t p = 0; p < 4; ++p) {
      if (run.root()) lines[std::size_t(c)][p].resize(std::size_t(grid.N1));
      MPI_Gatherv(mine[p].data(), static_cast<int>(mine[p].size()), MPI_FLOAT,
                  lines[std::size_t(c)][p].data(), counts.data(), starts.data(), MPI_FLOAT, 0,
                  run.comm());
    }
  }
  if (!run.root()) return std::nullopt;
  std::optional<double> sigma1;
  if (in.source == ParameterSource::iec) sigma1 = iecModel(in.iec).sigma1;
  return hubFigures(lines, at, comps, in.nComp, *h.placement, sigma1);
}

// What a run's record says of its box (rank 0's).
struct BoxFigures {
  std::array<ComponentStatistics, 3> statistics{};
  std::optional<HubFigures> hub;
};

// The box of one run: slabs, synthesis, exchanges and transforms, written in
// the file's layout; returns the statistics and the hub figures (at rank 0).
BoxFigures runBox(MpiRun& run, const PreparedRuns& setup,
                                          const SimulationInput& in, MpiOutputFiles& files,
                                          Turb3dAmplitudes* store, StageSeconds& seconds) {
  StageClock clock(run, stageTimesWanted());
  clock.start();
  SlabBox box;
  run.agree([&] { box = allocateSlabBox(in, run.size(), run.rank()); });
  const auto seed = static_cast<std::int32_t>(in.seed);
  const RandomStreamKind random = setup.options.random;
  const Turb3dSlabStart start{
      seed, random == RandomStreamKind::classic ? classicSlabStart(run.comm(), box, seed, streamStart())
                                                : RandomStream{}};
  const BoxGrid grid{in.NPoint[0], in.NPoint[1], in.NPoint[2],
                     Vector3(in.LMax[0], in.LMax[1], in.LMax[2])};
  const auto n = std::size_t(in.nComp);
  run.agree([&] {
    const Turb3dSlab slab{box.planes, std::span<F3tensor>(box.box.data(), n),
                          std::span<Matrix>(box.nyquist.data(), n),
                          std::span<Matrix>(box.mirror.data(), n)};
    turb3dSlab(slab, std::span<const int>(in.components, n), siteTensorModel(in, &setup.tables),
               grid, setup.lim, start, Turb3dWork{store, nullptr, random});
  });
  clock.lap(seconds.amplitudes);

  exchangeMirrorRows(run.comm(), box);
  transformSlabBox(run.comm(), box);
  clock.lap(seconds.transforms);

  BoxFigures figures;
  figures.hub = gatherHubFigures(run, box, in, setup.handOver);
  const OutputLayout layout = setup.options.layout;
  toFileLayout(box, layout);
  const PlaneRange file = filePlanes(box, layout);
  std::array<ComponentStatistics, 3>& stats = figures.statistics;
  for (int c = 0; c < in.nComp; ++c) {
    const std::span<float> v = box.values(c);
    files.write(run, c, (file.count() > 0 ? file.first - 1 : 0) * box.planeFloats(), v.data(),
                std::int64_t(v.size()));
    const FileSums sums = gatherPlaneSums(run.comm(), box, c, layout);
    if (run.root())
      stats[std::size_t(c)] = combinePlaneSums(sums.planes, sums.shift, box.cut.nn1 * box.planeFloats());
  }
  clock.lap(seconds.writing);
  return figures;
}

// A line or a plane: rank 0 synthesises it whole (as vorlan does) and writes
// it through the collective path.
BoxFigures runSmallField(MpiRun& run, const PreparedRuns& setup,
                                                 const SimulationInput& in, MpiOutputFiles& files,
                                                 std::ostream& listing) {
  FieldArrays fields;
  BoxFigures figures;
  std::array<ComponentStatistics, 3>& stats = figures.statistics;
  run.agree([&] {
    if (!run.root()) return;
    fields = allocateFields(in);
    SynthesisContext context;
    context.random = setup.options.random;
    synthesise(in, setup.lim, setup.tables, fields, context);
    if (setup.options.layout == OutputLayout::inflowwind) toInflowWindLayout(in, fields);
    stats = fieldStatistics(fields);
  });
  for (int c = 0; c < in.nComp; ++c) {
    const std::span<const float> v =
        run.root() ? fields.values(c) : std::span<const float>();
    files.write(run, c, 0, v.data(), std::int64_t(v.size()));
  }
  if (run.root() && in.source == ParameterSource::Kaimal1d) printKaimalListing(fields, listing);
  return figures;
}

PreparedRuns readSetup(MpiRun& run, int argc, const char* const argv[], std::ostream& echo) {
  PreparedRuns s;
  run.agree([&] {
    checkMpiOptions(argc, argv);
    s.options = parseVorlanCommandLine(argc, argv);
  });
  if (s.options.help || s.options.version) return s;
  run.agree([&] {
    readParameterFile(s, parameterSourceStep, echo);
    planRuns(s);
  });
  checkRankMemory(run, s.input);
  run.agree([&] {
    if (run.root()) checkBoxIntegrals(s.input, s.tables, s.lim);
  });
  return s;
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
  const PreparedRuns setup = readSetup(run, argc, argv, out);
  if (setup.options.help || setup.options.version) {
    if (run.root()) {
      if (setup.options.help) printMpiHelp(listing);
      else listing << kProgram << ' ' << kVersion << '\n';
      listing.flush();
    }
    return 0;
  }
  const bool seeded = !setup.options.seeds.empty();
  MpiOutputFiles plainFiles;
  if (!seeded) plainFiles.create(run, setup.input, out);  // before the summary, as vorlan
  if (run.root()) printSummary(out, setup.input, setup.lim);

  Turb3dAmplitudes store;
  const bool keep = keepSlabAmplitudes(run, setup.input, setup.options.seeds.size());
  for (const SimulationInput& in : setup.runs) {
    MpiOutputFiles seedFiles;
    MpiOutputFiles& files = seeded ? seedFiles : plainFiles;
    if (seeded) files.create(run, in, out);
    StageSeconds seconds;
    const BoxFigures figures =
        in.fieldDim == 3 ? runBox(run, setup, in, files, keep ? &store : nullptr, seconds)
                         : runSmallField(run, setup, in, files, listing);
    files.closeAll(run);
    std::string record;
    run.agree([&] {
      if (!run.root()) return;
      RunDescription description;
      description.parameterFile = setup.options.inputFile;
      description.layout = setup.options.layout;
      description.limNormK = setup.lim;
      description.statistics = figures.statistics;
      description.handOver = &setup.handOver;
      description.handed.hub = figures.hub;
      description.random = setup.options.random;
      description.program = kProgram;
      description.processes = run.size();
      checkFiniteRun(in, description);  // nothing non-finite is ever committed
      record = runRecordText(in, description);
    });
    files.commit(run, record);
    if (!run.root()) continue;
    if (stageTimesWanted())
      printStageTimes(out, seconds.amplitudes, seconds.transforms, seconds.writing);
    if (seeded) {
      out << "Seed " << in.seed << ":";
      for (int c = 0; c < in.nComp; ++c) out << " " << in.fname[c];
      out << "\n";
    }
    out.flush();
  }
  return 0;
}

}  // namespace wind
