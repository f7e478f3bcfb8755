#pragma once
// Constraint lines on a box cut into slabs (distributed/slab_box.hpp), with
// vorlan's bytes: the conditioning per along-wind wave number k1 pairs plane
// i with its mirror N1 - i + 2 (i = 1 .. N1/2 + 1), which another rank may
// hold (synthesis/turb3d.hpp, Turb3dPairs).
//
// Who conditions a pair: its planes' holder when one rank holds both (and the
// planes 1 and N1/2 + 1, their own mirrors); otherwise, to share the work, the
// holder of plane i for even i and the holder of the mirror for odd i. The
// other rank sends that rank its plane's deviates (drawn from its slab's
// classic stream: the states at its planes' first deviates, recorded in one
// skip through the slab) and receives the finished plane back (its rows and
// Nyquist row of each component), in rounds of at most kPairRoundFloats of
// finished planes per rank, two MPI_Alltoallv a round; every rank knows every
// rank's pairs, so no round needs more than the exchanges. Every pair is
// computed by the same operations as vorlan's whole box, so the field is the
// same bits, and the conjugates each pair writes make the mirror-row exchange
// of the plain synthesis unneeded (it is skipped).
//
// After the transforms, the largest |box - value| of each line is the
// largest over the ranks' planes, and the nugget figures those over the
// pairs, on every rank. Failures inside a round (allocation, the lines'
// checks) are agreed on and end the run once.
//
// Memory per rank: its planes' recorded streams (about 150 bytes a plane), one
// round's received deviates and finished planes (kPairRoundFloats each, at
// least one plane), and the pair step's per-thread arrays.
#include <cstdint>
#include <memory>
#include <vector>

#include "distributed/mpi_run.hpp"
#include "distributed/slab_box.hpp"
#include "synthesis/turb3d.hpp"

namespace wind {

inline constexpr std::int64_t kPairRoundFloats = std::int64_t{16} << 20;

class SlabConditioning {
 public:
  // request: the box's, with work.constraints (checked here: agreed).
  SlabConditioning(MpiRun& run, SlabBox& box, const Turb3dRequest& request);
  ~SlabConditioning();

  // The amplitude stage of every pair, start the classic stream at the first
  // deviate of the rank's first plane.
  void amplitudes(const RandomStream& start);

  // After the transforms: the outcome, on every rank.
  const Turb3dConstraintOutcome& differences();

 private:
  struct Plan;
  MpiRun& run_;
  SlabBox& box_;
  std::unique_ptr<Turb3dPairs> pairs_;
  std::unique_ptr<Plan> plan_;
  Turb3dConstraintOutcome outcome_;
};

}  // namespace wind
