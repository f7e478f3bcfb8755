#pragma once
// A three-dimensional box of vorlan-mpi held as slabs of planes along axis 1,
// rank r of P holding planes N1 r / P + 1 .. N1 (r + 1) / P (SlabPartition,
// numerics/fft_slab.hpp) of every component, and the steps that take it from
// the spectrum to the field in the file's layout.
//
// Steps, in order, every one collective over the communicator except where
// said:
//   classicSlabStart   the classic stream's state at each rank's first
//                      deviate. By default each rank replays its own prefix
//                      (gaussStreamAt: the uniform draws and rejection tests
//                      alone, 8.5 ns a deviate); StreamStart::onePass has rank
//                      0 make one pass that records every slab's state
//                      (gaussStreamStates) and scatter them, sizeof
//                      (RandomStream) bytes each. Both put a skip of (P - 1)/P
//                      of the stream before the last slab's first deviate;
//                      the replays cost more CPU in all (about P/2 passes) but
//                      need no message and no rank waits on rank 0: measured
//                      equal on 2 processes and faster on 4 (bench/mpi.sh r,
//                      docs/cluster.md), since ranks waiting in the scatter
//                      spin on the cores that the pass needs.
//   turb3dSlab         (synthesis/turb3d.hpp, local) the amplitude stage of
//                      the rank's planes;
//   exchangeMirrorRows the conjugates that planes 1 < i < N1/2 + 1 store in
//                      the k3 = 0 and k3 = N3/2 columns of their mirrors
//                      N1 - i + 2 go to the ranks that hold those mirrors
//                      (MPI_Alltoallv, 4 N2 floats a plane);
//   transformSlabBox   the mean set to zero, then rlft3's inverse of each
//                      component across the ranks (rlft3InverseAcross,
//                      distributed/slab_fft.hpp: the mirror planes of the
//                      real-to-complex pairing and two transposes);
//   toFileLayout       (local) the inflowwind layout's reversal of the plane
//                      and row orders (simulation/layout.hpp): the slab becomes
//                      planes N1 - last + 1 .. N1 - first + 1 of the file;
//   gatherPlaneSums    every plane's sums for the run record's statistics
//                      (simulation/plane_statistics.hpp), at rank 0 in file order.
// The field is vorlan's, bit for bit, for every P and thread count: every
// coefficient is formed by the same operations from the same deviates and
// amplitude, and the transforms are rlft3's.
//
// Memory of a rank: its planes of every component, each array with room for
// the larger of its planes and its block of columns in the transpose (the
// same size when P divides N1 and N2 N3 / 2), one exchange buffer of the
// transforms (about one component's planes), and small Nyquist and mirror
// rows: about (nComp + 1) / nComp times its share of the fields.
// allocateSlabBox fails through fatalError on allocation (run it under
// MpiRun::agree).
#include <mpi.h>

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "numerics/arrays.hpp"
#include "numerics/fft_slab.hpp"
#include "numerics/random.hpp"
#include "simulation/layout.hpp"
#include "simulation/plane_statistics.hpp"
#include "simulation/simulation_input.hpp"

namespace wind {

struct SlabBox {
  SlabPartition cut;
  PlaneRange planes;
  int nComp = 0;
  std::array<F3tensor, 3> box;    // rows planes.first .., room for the transpose
  std::array<Matrix, 3> nyquist;  // rows planes, columns 1 .. 2 N2
  std::array<Matrix, 3> mirror;   // rows turb3dMirrorTargets, columns 1 .. 4 N2
  Vector work;                    // exchange buffer of the transforms

  std::int64_t planeFloats() const { return cut.nn2 * cut.nn3; }
  // The rank's planes of component c, in storage order.
  std::span<float> values(int c) {
    return {box[std::size_t(c)].data(), std::size_t(planes.count() * planeFloats())};
  }
};

// Bytes a rank allocates for its slab box (fields, rows and buffer).
std::int64_t slabBoxBytes(const SimulationInput& in, int parts, int rank);

SlabBox allocateSlabBox(const SimulationInput& in, int parts, int rank);

enum class StreamStart { onePass, replay };

// The classic stream at the first deviate of the rank's slab of box.
RandomStream classicSlabStart(MPI_Comm comm, const SlabBox& box, std::int32_t seed,
                              StreamStart how = StreamStart::replay);

void exchangeMirrorRows(MPI_Comm comm, SlabBox& box);

void transformSlabBox(MPI_Comm comm, SlabBox& box);

// The file planes the rank's slab becomes in layout (after toFileLayout).
PlaneRange filePlanes(const SlabBox& box, OutputLayout layout);

void toFileLayout(SlabBox& box, OutputLayout layout);

// Component c's sums of every plane of the file, in file order, at rank 0
// (empty elsewhere), about the file's first value (broadcast from its owner).
struct FileSums {
  std::vector<PlaneSums> planes;
  double shift = 0.0;
};
FileSums gatherPlaneSums(MPI_Comm comm, SlabBox& box, int c, OutputLayout layout);

// The plane reduction (simulation/plane_statistics.hpp) of a box cut into
// slabs over comm: every plane's sums gathered on every rank in plane order
// (MPI_Allgatherv, 32 bytes a plane), the first plane's value broadcast from
// its holder, maxima by MPI_Allreduce, running sums passed from rank to rank
// in rank order (the ranks hold the planes in that order) and broadcast from
// the last. Each member is collective over comm.
class SlabReduction : public PlaneReduction {
 public:
  SlabReduction(MPI_Comm comm, const SlabPartition& cut) : comm_(comm), cut_(cut) {}
  std::vector<PlaneSums> allPlanes(std::span<const PlaneSums> mine) const override;
  double fromFirstPlane(double value) const override;
  void maximum(std::span<double> values) const override;
  PlaneSums carried(const std::function<void(PlaneSums&)>& add) const override;

 private:
  MPI_Comm comm_;
  SlabPartition cut_;
};

}  // namespace wind
