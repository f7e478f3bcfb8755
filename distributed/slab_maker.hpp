#pragma once
// The box maker of vorlan-mpi (runner/driver.hpp: BoxMaker): each run's box
// made across the processes of an MPI job and written through MPI-IO, with
// the same bytes as vorlan's for every process count and thread count.
//
// A three-dimensional box is cut into slabs of planes along axis 1
// (distributed/slab_box.hpp): each rank starts the classic stream at its
// slab's first deviate, synthesises its planes, and the slabs are exchanged
// and transformed across the ranks; no rank ever holds the whole field. The
// hub figures are formed on rank 0 from the four lines around the hub,
// gathered in plane order; the statistics from every plane's sums, gathered
// in file order (simulation/plane_statistics.hpp). A line or a plane (a few
// megabytes at most) is synthesised by rank 0 alone, as vorlan does, and
// written through the same collective path.
//
// Every method is collective over the run's communicator; rank 0 alone
// reports (prints the echo and describes the runs). In a run of several seeds
// the slab's amplitudes are kept when, on every rank, the slab's store and box
// take at most kAmplitudeStoreShare of the rank's share of its machine's
// memory. VORLAN_MPI_STREAM_START=onepass has rank 0 record and scatter the
// stream's states instead of each rank replaying its prefix (bench/mpi.sh
// measures both). Stage times are rank 0's, each stage ended at a barrier
// (only when VORLAN_STAGE_TIMES asks for them).
#include <mpi.h>

#include <iosfwd>
#include <string>

#include "distributed/mpi_outputs.hpp"
#include "distributed/mpi_run.hpp"
#include "runner/driver.hpp"
#include "synthesis/turb3d.hpp"

namespace wind {

// Collective: the number of the run's processes on this rank's machine.
int ranksOnThisMachine(const MpiRun& run);

// Collective, before any file exists: each rank's memory weighed as vorlan
// weighs a whole run's (checkProcessMemory, simulation/run_memory.hpp: its
// slab against its share of its machine; a line or a plane is rank 0's
// alone, checkRunMemory), every rank ending with the same report.
void checkRankMemory(MpiRun& run, const SimulationInput& in);

class SlabBoxMaker : public BoxMaker {
 public:
  // listing: rank 0's Kaimal1d listing.
  SlabBoxMaker(MpiRun& run, const PreparedRuns& p, std::ostream& listing);
  void createFiles(const SimulationInput& run, std::ostream& echo) override;
  BoxOutcome makeBox(const SimulationInput& run, const std::string& label) override;
  void commit(const RunTexts& texts) override;
  bool reports() const override { return run_.root(); }
  void agree(const std::function<void()>& step) override;
  std::string program() const override { return "vorlan-mpi"; }
  int processes() const override { return run_.size(); }

 private:
  MpiRun& run_;
  const PreparedRuns& p_;
  std::ostream& listing_;
  Turb3dAmplitudes store_;
  bool keep_ = false;
  Turb3dConstraintOutcome outcome_;  // of the run being made, with constraints
  std::unique_ptr<MpiOutputFiles> files_;
};

}  // namespace wind
