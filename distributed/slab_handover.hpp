#pragma once
// The hand-over of a box held in slabs across the processes of an MPI job
// (distributed/slab_box.hpp), with the same bytes as vorlan's hand-over of the
// whole box (handover/hand_over.hpp), on the box in the classic layout after
// the transforms:
//
//   scaleSlabBox       --scale iec: each component's standard deviation over
//                      the whole box from every plane's sums in plane order
//                      (SlabReduction), the factors agreed on every rank, each
//                      rank's planes multiplied by them;
//   writeSlabWindFile  the .bts, or the .wnd with rank 0's .sum: the scales
//                      from the whole box's sums, rank 0 the header, every
//                      rank the slices of its own planes at their offsets
//                      (independent MPI-IO writes of at most kSliceChunk
//                      bytes); the quantisation errors the largest over the
//                      ranks. Or the NetCDF file (distributed/mpi_netcdf.hpp),
//                      its statistics from the whole box's sums and the hub
//                      figures, which every rank holds.
//
// Every function is collective over the run; a refusal (a value that is not
// finite, a component without variance) is agreed on, so the run ends once,
// on every rank.
#include <cstdint>
#include <optional>
#include <string>

#include "distributed/mpi_outputs.hpp"
#include "distributed/mpi_run.hpp"
#include "distributed/slab_box.hpp"
#include "handover/hand_over.hpp"

namespace wind {

// Bytes of slices a rank encodes before it writes them.
inline constexpr std::int64_t kSliceChunk = std::int64_t{16} << 20;

std::optional<IecScaling> scaleSlabBox(MpiRun& run, SlabBox& box, const SimulationInput& in,
                                       const HandOver& h);

// The wind file of a run that writes one (nothing for the raw files), its
// record entries into r.
void writeSlabWindFile(MpiRun& run, SlabBox& box, const SimulationInput& in, const HandOver& h,
                       MpiOutputFiles& files, const std::string& parameterFile,
                       RandomStreamKind random, HandOverRecord& r);

}  // namespace wind
