#include "distributed/slab_maker.hpp"

#include <array>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "distributed/slab_box.hpp"
#include "distributed/slab_constraints.hpp"
#include "distributed/slab_handover.hpp"
#include "handover/hub_figures.hpp"
#include "simulation/layout.hpp"
#include "simulation/plane_statistics.hpp"
#include "simulation/run_memory.hpp"
#include "sources/site_steps.hpp"

namespace wind {

namespace {

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

}  // namespace

int ranksOnThisMachine(const MpiRun& run) {
  MPI_Comm local;
  MPI_Comm_split_type(run.comm(), MPI_COMM_TYPE_SHARED, run.rank(), MPI_INFO_NULL, &local);
  int localRanks = 1;
  MPI_Comm_size(local, &localRanks);
  MPI_Comm_free(&local);
  return localRanks;
}

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

namespace {

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

// The hub figures (and series) of a box cut into slabs, into handed on every
// rank: each rank's part of the four lines around the hub, gathered in plane
// order (the ranks hold ascending planes), from which every rank forms them as
// vorlan forms them from the whole box (the NetCDF file states them on every
// rank).
void gatherHub(MpiRun& run, SlabBox& box, const SimulationInput& in, const HandOver& h,
               HandOverRecord& handed) {
  if (!h.placement) return;
  const BoxGrid grid = boxGridOf(in);
  const HubPoints at = hubPoints(grid, *h.placement);
  std::vector<int> counts(std::size_t(run.size())), starts(std::size_t(run.size()), 0);
  for (int r = 0; r < run.size(); ++r) {
    counts[std::size_t(r)] = static_cast<int>(box.cut.planes(r).count());
    if (r > 0) starts[std::size_t(r)] = starts[std::size_t(r) - 1] + counts[std::size_t(r) - 1];
  }
  std::array<HubLines, 3> lines;
  for (int c = 0; c < in.nComp; ++c) {
    HubLines mine;
    appendHubLines(box.values(c), box.planes.count(), grid, at, mine);
    for (std::size_t p = 0; p < 4; ++p) {
      lines[std::size_t(c)][p].resize(std::size_t(grid.N1));
      MPI_Allgatherv(mine[p].data(), static_cast<int>(mine[p].size()), MPI_FLOAT,
                     lines[std::size_t(c)][p].data(), counts.data(), starts.data(), MPI_FLOAT,
                     run.comm());
    }
  }
  handOverHub(lines, in, h, handed);
}

// The box of one run: slabs, synthesis (with constraints, the pairs
// conditioned across the ranks: distributed/slab_constraints.hpp), exchanges
// and transforms, handed over and written in the file's layout; returns the
// statistics and the hub figures (at rank 0), and the constraints' outcome
// into outcome.
BoxOutcome runBox(MpiRun& run, const PreparedRuns& setup, const SimulationInput& in,
                  MpiOutputFiles& files, Turb3dAmplitudes* store,
                  Turb3dConstraintOutcome& outcome) {
  BoxOutcome figures;
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
  const std::span<const int> comps(in.components, n);
  TensorModel model;
  run.agree([&] { model = siteTensorModel(in, &setup.tables); });
  std::unique_ptr<SlabConditioning> conditioning;
  if (setup.constraints) {
    const Turb3dWork work{nullptr, nullptr, random, &setup.constraints->lines, nullptr};
    conditioning = std::make_unique<SlabConditioning>(
        run, box, Turb3dRequest{comps, model, grid, setup.lim, start, work});
    conditioning->amplitudes(start.classic);
  } else {
    run.agree([&] {
      const Turb3dSlab slab{box.planes, std::span<F3tensor>(box.box.data(), n),
                            std::span<Matrix>(box.nyquist.data(), n),
                            std::span<Matrix>(box.mirror.data(), n)};
      turb3dSlab(slab, {comps, model, grid, setup.lim, start, Turb3dWork{store, nullptr, random}});
    });
  }
  clock.lap(figures.amplitudes);

  // The pairs of a conditioned box wrote their mirrors' conjugates themselves.
  if (!conditioning) exchangeMirrorRows(run.comm(), box);
  transformSlabBox(run.comm(), box);
  if (conditioning) {
    outcome = conditioning->differences();
    figures.constraintOutcome = &outcome;
  }
  clock.lap(figures.transforms);

  // The hand-over as vorlan's (handOverBox, writeWindFile), on the classic layout.
  const HandOver& h = setup.handOver;
  figures.handed.scaling = scaleSlabBox(run, box, in, h);
  gatherHub(run, box, in, h, figures.handed);
  writeSlabWindFile(run, box, in, h, files, setup.options.inputFile, setup.options.random,
                    figures.handed);
  const OutputLayout layout = setup.options.layout;
  toFileLayout(box, layout);
  const PlaneRange file = filePlanes(box, layout);
  std::array<ComponentStatistics, 3>& stats = figures.statistics;
  for (int c = 0; c < in.nComp; ++c) {
    const std::span<float> v = box.values(c);
    if (h.format == WindFileFormat::raw)
      files.write(run, c, (file.count() > 0 ? file.first - 1 : 0) * box.planeFloats(), v.data(),
                  std::int64_t(v.size()));
    const FileSums sums = gatherPlaneSums(run.comm(), box, c, layout);
    if (run.root())
      stats[std::size_t(c)] = combinePlaneSums(sums.planes, sums.shift, box.cut.nn1 * box.planeFloats());
  }
  clock.lap(figures.writing);
  return figures;
}

// A line or a plane: rank 0 synthesises it whole (as vorlan does) and writes
// it through the collective path.
BoxOutcome runSmallField(MpiRun& run, const PreparedRuns& setup, const SimulationInput& in,
                         MpiOutputFiles& files, std::ostream& listing) {
  FieldArrays fields;
  BoxOutcome figures;
  std::array<ComponentStatistics, 3>& stats = figures.statistics;
  run.agree([&] {
    if (!run.root()) return;
    fields = allocateFields(in);
    SynthesisContext context;
    context.random = setup.options.random;
    synthesise(in, setup.lim, setup.tables, fields, context);
    figures.handed = handOverBox(in, setup.handOver, fields);
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

}  // namespace

SlabBoxMaker::SlabBoxMaker(MpiRun& run, const PreparedRuns& p, std::ostream& listing)
    : run_(run), p_(p), listing_(listing),
      keep_(keepSlabAmplitudes(run, p.input, p.options.seeds.size())) {}

void SlabBoxMaker::createFiles(const SimulationInput& run, std::ostream& echo) {
  files_ = std::make_unique<MpiOutputFiles>();
  files_->create(run_, run, p_.handOver, echo);
}

BoxOutcome SlabBoxMaker::makeBox(const SimulationInput& run, const std::string&) {
  BoxOutcome box = run.fieldDim == 3
                       ? runBox(run_, p_, run, *files_, keep_ ? &store_ : nullptr, outcome_)
                       : runSmallField(run_, p_, run, *files_, listing_);
  files_->closeAll(run_);
  return box;
}

void SlabBoxMaker::commit(const RunTexts& texts) { files_->commit(run_, texts); }

void SlabBoxMaker::agree(const std::function<void()>& step) { run_.agree(step); }

}  // namespace wind
