#include "distributed/slab_box.hpp"

#include <algorithm>
#include <type_traits>

#include "distributed/mpi_exchange.hpp"
#include "distributed/slab_fft.hpp"
#include "simulation/layout.hpp"
#include "synthesis/turb3d.hpp"

namespace wind {

namespace {

SlabPartition cutOf(const SimulationInput& in, int parts) {
  return {in.NPoint[0], in.NPoint[1], in.NPoint[2], parts};
}

// Planes of room a rank's arrays need: its planes, or its block of the
// transpose when that is larger, rounded up to whole planes.
std::int64_t roomPlanes(const SlabPartition& cut, int rank) {
  const std::int64_t planeFloats = cut.nn2 * cut.nn3;
  return (rlft3SlabBuffers(cut, rank).slab + planeFloats - 1) / planeFloats;
}

}  // namespace

std::int64_t slabBoxBytes(const SimulationInput& in, int parts, int rank) {
  const SlabPartition cut = cutOf(in, parts);
  const PlaneRange planes = cut.planes(rank);
  const std::int64_t rows = planes.count() + turb3dMirrorTargets(cut.nn1, planes).count() * 2;
  const std::int64_t perComponent = roomPlanes(cut, rank) * cut.nn2 * cut.nn3 + rows * 2 * cut.nn2;
  return std::int64_t(sizeof(float)) *
         (in.nComp * perComponent + rlft3SlabBuffers(cut, rank).work);
}

SlabBox allocateSlabBox(const SimulationInput& in, int parts, int rank) {
  SlabBox b;
  b.cut = cutOf(in, parts);
  b.planes = b.cut.planes(rank);
  b.nComp = in.nComp;
  const int first = int(b.planes.first), last = int(b.planes.last);
  const int n2 = in.NPoint[1], n3 = in.NPoint[2];
  const PlaneRange targets = turb3dMirrorTargets(b.cut.nn1, b.planes);
  const int room = int(roomPlanes(b.cut, rank));
  for (int c = 0; c < in.nComp; ++c) {
    b.box[std::size_t(c)] = f3tensor(first, first + room - 1, 1, n2, 1, n3);
    b.nyquist[std::size_t(c)] = matrix(first, last, 1, 2 * n2);
    if (targets.count() > 0)
      b.mirror[std::size_t(c)] = matrix(int(targets.first), int(targets.last), 1, 4 * n2);
  }
  b.work = vector(1, int(std::max<std::int64_t>(rlft3SlabBuffers(b.cut, rank).work, 1)));
  return b;
}

RandomStream classicSlabStart(MPI_Comm comm, const SlabBox& box, std::int32_t seed,
                              StreamStart how) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  const BoxGrid grid{int(box.cut.nn1), int(box.cut.nn2), int(box.cut.nn3), Vector3()};
  const std::int64_t perMode = 2 * box.nComp;
  if (how == StreamStart::replay)
    return gaussStreamAt(seed, turb3dPlaneStart(grid, int(box.planes.first)) * perMode);
  std::vector<RandomStream> states;
  if (rank == 0) {
    std::vector<std::int64_t> offsets(std::size_t(box.cut.parts));
    for (int r = 0; r < box.cut.parts; ++r)
      offsets[std::size_t(r)] = turb3dPlaneStart(grid, int(box.cut.planes(r).first)) * perMode;
    states.resize(offsets.size());
    gaussStreamStates(seed, offsets, states);
  }
  RandomStream mine;
  MPI_Scatter(states.data(), int(sizeof(RandomStream)), MPI_BYTE, &mine, int(sizeof(RandomStream)),
              MPI_BYTE, 0, comm);
  return mine;
}

void exchangeMirrorRows(MPI_Comm comm, SlabBox& box) {
  const SlabPartition& cut = box.cut;
  const int ranks = cut.parts;
  const std::int64_t n2 = cut.nn2, rowFloats = 4 * n2;
  const PlaneRange mine = box.planes, myTargets = turb3dMirrorTargets(cut.nn1, mine);
  Exchange rows(ranks);
  for (int q = 0; q < ranks; ++q) {
    const PlaneRange out = overlap(myTargets, cut.planes(q));
    const PlaneRange in = overlap(turb3dMirrorTargets(cut.nn1, cut.planes(q)), mine);
    rows.sendCount[std::size_t(q)] = int(out.count());
    rows.sendAt[std::size_t(q)] = int(out.count() > 0 ? out.first - myTargets.first : 0);
    rows.recvCount[std::size_t(q)] = int(in.count());
    rows.recvAt[std::size_t(q)] = int(in.count() > 0 ? in.first - mine.first : 0);
  }
  const FloatRun row(rowFloats);
  std::vector<float> received(std::size_t(std::max<std::int64_t>(mine.count(), 1) * rowFloats));
  for (int c = 0; c < box.nComp; ++c) {
    rows.run(box.mirror[std::size_t(c)].data(), received.data(), row.type(), comm);
    // The k3 = 0 column (l = 1) of each row j and the Nyquist row, whole:
    // the rows arrive in the order of the planes they belong to.
    F3tensor& u = box.box[std::size_t(c)];
    Matrix& nyquist = box.nyquist[std::size_t(c)];
    for (int q = 0; q < ranks; ++q) {
      const std::int64_t first = mine.first + rows.recvAt[std::size_t(q)];
      const PlaneRange in{first, first + rows.recvCount[std::size_t(q)] - 1};
      for (std::int64_t p = in.first; p <= in.last; ++p) {
        const float* r = received.data() + (p - mine.first) * rowFloats;
        for (int j = 1; j <= int(n2); ++j) {
          u(int(p), j, 1) = r[2 * j - 2];
          u(int(p), j, 2) = r[2 * j - 1];
        }
        std::copy_n(r + 2 * n2, 2 * n2, nyquist.row(int(p)));
      }
    }
  }
}

void transformSlabBox(MPI_Comm comm, SlabBox& box) {
  for (int c = 0; c < box.nComp; ++c) {
    F3tensor& u = box.box[std::size_t(c)];
    if (box.planes.contains(1)) {
      u(1, 1, 1) = 0.0f;
      u(1, 1, 2) = 0.0f;
    }
    rlft3InverseAcross(comm, box.cut, u.data(), box.nyquist[std::size_t(c)].data(), box.work.data());
  }
}

PlaneRange filePlanes(const SlabBox& box, OutputLayout layout) {
  if (layout == OutputLayout::classic || box.planes.count() == 0) return box.planes;
  return {box.cut.nn1 - box.planes.last + 1, box.cut.nn1 - box.planes.first + 1};
}

void toFileLayout(SlabBox& box, OutputLayout layout) {
  if (layout != OutputLayout::inflowwind) return;
  for (int c = 0; c < box.nComp; ++c)
    reverseRows(box.values(c).data(), box.planes.count(), box.cut.nn2, box.cut.nn3, true, true);
}

FileSums gatherPlaneSums(MPI_Comm comm, SlabBox& box, int c, OutputLayout layout) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  const int ranks = box.cut.parts;
  // The owner of the file's first value: the rank whose file planes begin at 1.
  std::vector<PlaneRange> file(static_cast<std::size_t>(ranks));
  int owner = 0;
  for (int q = 0; q < ranks; ++q) {
    SlabBox probe;
    probe.cut = box.cut;
    probe.planes = box.cut.planes(q);
    file[std::size_t(q)] = filePlanes(probe, layout);
    if (file[std::size_t(q)].contains(1)) owner = q;
  }
  const std::span<float> v = box.values(c);
  FileSums sums;
  if (rank == owner) sums.shift = v[0];
  MPI_Bcast(&sums.shift, 1, MPI_DOUBLE, owner, comm);

  const std::int64_t n = box.planeFloats(), count = box.planes.count();
  std::vector<PlaneSums> mine(static_cast<std::size_t>(count));
#pragma omp parallel for schedule(static)
  for (std::int64_t p = 0; p < count; ++p)
    mine[std::size_t(p)] = planeSums(v.data() + p * n, n, sums.shift);

  constexpr int kDoubles = int(sizeof(PlaneSums) / sizeof(double));
  static_assert(sizeof(PlaneSums) == kDoubles * sizeof(double));
  std::vector<int> counts(static_cast<std::size_t>(ranks)), at(static_cast<std::size_t>(ranks));
  for (int q = 0; q < ranks; ++q) {
    counts[std::size_t(q)] = int(file[std::size_t(q)].count() * kDoubles);
    at[std::size_t(q)] = int((file[std::size_t(q)].count() > 0 ? file[std::size_t(q)].first - 1 : 0) * kDoubles);
  }
  if (rank == 0) sums.planes.resize(std::size_t(box.cut.nn1));
  MPI_Gatherv(mine.data(), int(count * kDoubles), MPI_DOUBLE, sums.planes.data(), counts.data(),
              at.data(), MPI_DOUBLE, 0, comm);
  return sums;
}

namespace {

constexpr int kSumDoubles = int(sizeof(PlaneSums) / sizeof(double));
static_assert(sizeof(PlaneSums) == kSumDoubles * sizeof(double));

}  // namespace

std::vector<PlaneSums> SlabReduction::allPlanes(std::span<const PlaneSums> mine) const {
  std::vector<int> counts(std::size_t(cut_.parts)), at(std::size_t(cut_.parts));
  for (int q = 0; q < cut_.parts; ++q) {
    const PlaneRange planes = cut_.planes(q);
    counts[std::size_t(q)] = int(planes.count() * kSumDoubles);
    at[std::size_t(q)] = int((planes.count() > 0 ? planes.first - 1 : 0) * kSumDoubles);
  }
  std::vector<PlaneSums> all(std::size_t(cut_.nn1));
  MPI_Allgatherv(mine.data(), int(mine.size()) * kSumDoubles, MPI_DOUBLE, all.data(),
                 counts.data(), at.data(), MPI_DOUBLE, comm_);
  return all;
}

double SlabReduction::fromFirstPlane(double value) const {
  int holder = 0;
  for (int q = 0; q < cut_.parts; ++q)
    if (cut_.planes(q).contains(1)) holder = q;
  MPI_Bcast(&value, 1, MPI_DOUBLE, holder, comm_);
  return value;
}

void SlabReduction::maximum(std::span<double> values) const {
  MPI_Allreduce(MPI_IN_PLACE, values.data(), int(values.size()), MPI_DOUBLE, MPI_MAX, comm_);
}

PlaneSums SlabReduction::carried(const std::function<void(PlaneSums&)>& add) const {
  int rank = 0, ranks = 1;
  MPI_Comm_rank(comm_, &rank);
  MPI_Comm_size(comm_, &ranks);
  PlaneSums s;
  static_assert(std::is_trivially_copyable_v<PlaneSums>);
  if (rank > 0)
    MPI_Recv(&s, kSumDoubles, MPI_DOUBLE, rank - 1, 0, comm_, MPI_STATUS_IGNORE);
  add(s);
  if (rank + 1 < ranks) MPI_Send(&s, kSumDoubles, MPI_DOUBLE, rank + 1, 0, comm_);
  MPI_Bcast(&s, kSumDoubles, MPI_DOUBLE, ranks - 1, comm_);
  return s;
}

}  // namespace wind
