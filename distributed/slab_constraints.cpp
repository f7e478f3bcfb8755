#include "distributed/slab_constraints.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <span>

#include "distributed/mpi_exchange.hpp"
#include "support/fatal_error.hpp"
#include "support/threads.hpp"

namespace wind {

namespace {

// The mirror N1 - i + 2 of plane i; planes 1 and N1/2 + 1 are their own.
int mirrorOf(int i, int n1) { return i == 1 || i == n1 / 2 + 1 ? i : n1 - i + 2; }

// Runs body(k) for k = 0 .. n - 1 on the threads; a failure is carried out of
// the team and raised again on the calling thread.
template <class Body>
void onThreads(std::int64_t n, Body&& body) {
  std::exception_ptr failure;
#pragma omp parallel for schedule(dynamic) num_threads(maxThreads())
  for (std::int64_t k = 0; k < n; ++k) {
    try {
      body(k);
    } catch (...) {
#pragma omp critical(slabConditioningFailure)
      if (!failure) failure = std::current_exception();
    }
  }
  if (failure) std::rethrow_exception(failure);
}

// A plane conditioned away from its holder: its arrays on the conditioning
// rank, one row of each component.
struct StagedPlane {
  std::array<F3tensor, 3> fields;
  std::array<Matrix, 3> nyquist, mirror;
  Turb3dSlab slab;
};

}  // namespace

struct SlabConditioning::Plan {
  int n1 = 0, rank = 0, ranks = 1;
  std::vector<int> owner;                // [p], planes 1 .. n1
  std::vector<int> local;                // the pairs this rank conditions alone
  std::vector<std::vector<int>> remote;  // [q]: rank q's pairs of two holders, ascending
  std::int64_t batch = 1, rounds = 0;    // pairs a round, rounds
  std::vector<RandomStream> streams;     // at each own plane's first deviate

  int conditioner(int i) const {
    const int im = mirrorOf(i, n1);
    return i % 2 == 0 ? owner[std::size_t(i)] : owner[std::size_t(im)];
  }
  // The plane of pair i that its conditioner does not hold.
  int sent(int i) const {
    const int im = mirrorOf(i, n1);
    return owner[std::size_t(i)] == conditioner(i) ? im : i;
  }
  // Rank q's pairs of round t.
  std::span<const int> batchOf(int q, std::int64_t t) const {
    const std::vector<int>& r = remote[std::size_t(q)];
    const std::int64_t from = std::min<std::int64_t>(t * batch, std::int64_t(r.size()));
    const std::int64_t to = std::min<std::int64_t>(from + batch, std::int64_t(r.size()));
    return std::span<const int>(r).subspan(std::size_t(from), std::size_t(to - from));
  }
};

SlabConditioning::SlabConditioning(MpiRun& run, SlabBox& box, const Turb3dRequest& request)
    : run_(run), box_(box), plan_(std::make_unique<Plan>()) {
  run.agree([&] { pairs_ = std::make_unique<Turb3dPairs>(request, maxThreads()); });
  Plan& p = *plan_;
  p.n1 = int(box.cut.nn1);
  p.rank = run.rank();
  p.ranks = run.size();
  p.owner.assign(std::size_t(p.n1) + 1, 0);
  for (int q = 0; q < p.ranks; ++q) {
    const PlaneRange planes = box.cut.planes(q);
    for (std::int64_t i = planes.first; i <= planes.last; ++i) p.owner[std::size_t(i)] = q;
  }
  p.remote.assign(std::size_t(p.ranks), {});
  for (int i = 1; i <= p.n1 / 2 + 1; ++i) {
    const int im = mirrorOf(i, p.n1);
    if (p.owner[std::size_t(i)] == p.owner[std::size_t(im)]) {
      if (p.owner[std::size_t(i)] == p.rank) p.local.push_back(i);
    } else {
      p.remote[std::size_t(p.conditioner(i))].push_back(i);
    }
  }
  const std::int64_t planeFloats = box.nComp * (box.planeFloats() + 2 * box.cut.nn2);
  p.batch = std::max<std::int64_t>(1, kPairRoundFloats / planeFloats);
  for (const std::vector<int>& r : p.remote)
    p.rounds = std::max(p.rounds, (std::int64_t(r.size()) + p.batch - 1) / p.batch);
}

SlabConditioning::~SlabConditioning() = default;

void SlabConditioning::amplitudes(const RandomStream& start) {
  Plan& p = *plan_;
  SlabBox& box = box_;
  Turb3dPairs& pairs = *pairs_;
  const auto n = std::size_t(box.nComp);
  const int n2 = int(box.cut.nn2), n3 = int(box.cut.nn3);
  const Turb3dSlab slab{box.planes, std::span<F3tensor>(box.box.data(), n),
                        std::span<Matrix>(box.nyquist.data(), n),
                        std::span<Matrix>(box.mirror.data(), n)};
  const auto holds = [&](int plane) { return box.planes.contains(plane); };
  // The deviates of an own plane, from its recorded stream.
  const auto draw = [&](int plane, std::vector<float>& x) {
    x.resize(std::size_t(pairs.deviateCount(plane)));
    RandomStream s = p.streams[std::size_t(plane - box.planes.first)];
    gaussDeviates(s, x);
  };
  double largest = 0.0;
  int taken = 0;
  const auto nugget = [&](double v) {
#pragma omp critical(slabConditioningNugget)
    {
      largest = std::max(largest, v);
      if (v > 0.0) ++taken;
    }
  };

  // The streams at the planes' first deviates, and the pairs held whole here.
  run_.agree([&] {
    RandomStream s = start;
    for (std::int64_t plane = box.planes.first; plane <= box.planes.last; ++plane) {
      p.streams.push_back(s);
      if (plane < box.planes.last)
        skipGaussDeviates(s.gen, s.state, pairs.deviateCount(int(plane)));
    }
    onThreads(std::int64_t(p.local.size()), [&](std::int64_t k) {
      const int i = p.local[std::size_t(k)], im = mirrorOf(i, p.n1);
      std::vector<float> xi, xm;
      draw(i, xi);
      if (im != i) draw(im, xm);
      nugget(pairs(i, xi, xm, slab, slab));
    });
  });

  // The pairs of two holders, round by round.
  const std::int64_t planeFloats = box.planeFloats() + 2 * std::int64_t(n2);  // a component's
  for (std::int64_t t = 0; t < p.rounds; ++t) {
    const std::span<const int> mine = p.batchOf(p.rank, t);
    // Deviates: to each conditioner those of my planes it needs, in its order.
    Exchange deviates(p.ranks);
    std::vector<float> out, in;
    std::vector<std::int64_t> at(mine.size());  // where each of my pairs' deviates arrive
    run_.agree([&] {
      std::vector<float> x;
      for (int q = 0; q < p.ranks; ++q) {
        deviates.sendAt[std::size_t(q)] = int(out.size());
        for (const int i : p.batchOf(q, t))
          if (holds(p.sent(i))) {
            draw(p.sent(i), x);
            out.insert(out.end(), x.begin(), x.end());
          }
        deviates.sendCount[std::size_t(q)] = int(out.size()) - deviates.sendAt[std::size_t(q)];
      }
      std::int64_t total = 0;
      for (int q = 0; q < p.ranks; ++q) {
        deviates.recvAt[std::size_t(q)] = int(total);
        for (std::size_t k = 0; k < mine.size(); ++k)
          if (p.owner[std::size_t(p.sent(mine[k]))] == q) {
            at[k] = total;
            total += pairs.deviateCount(p.sent(mine[k]));
          }
        deviates.recvCount[std::size_t(q)] = int(total) - deviates.recvAt[std::size_t(q)];
      }
      in.resize(std::size_t(std::max<std::int64_t>(total, 1)));
    });
    deviates.run(out.data(), in.data(), MPI_FLOAT, run_.comm());

    // The pairs, each sent plane in arrays of its own; then back to its holder.
    std::vector<StagedPlane> staged(mine.size());
    Exchange planes(p.ranks);
    std::vector<float> back, received;
    run_.agree([&] {
      for (std::size_t k = 0; k < mine.size(); ++k) {
        const int s = p.sent(mine[k]);
        StagedPlane& sp = staged[k];
        const PlaneRange targets = turb3dMirrorTargets(p.n1, {s, s});
        for (std::size_t c = 0; c < n; ++c) {
          sp.fields[c] = f3tensor(s, s, 1, n2, 1, n3);
          sp.nyquist[c] = matrix(s, s, 1, 2 * n2);
          if (targets.count() > 0)
            sp.mirror[c] = matrix(int(targets.first), int(targets.last), 1, 4 * n2);
        }
        sp.slab = {{s, s}, std::span<F3tensor>(sp.fields.data(), n),
                   std::span<Matrix>(sp.nyquist.data(), n), std::span<Matrix>(sp.mirror.data(), n)};
      }
      onThreads(std::int64_t(mine.size()), [&](std::int64_t k) {
        const int i = mine[std::size_t(k)], im = mirrorOf(i, p.n1), s = p.sent(i);
        const std::span<const float> theirs(in.data() + at[std::size_t(k)],
                                            std::size_t(pairs.deviateCount(s)));
        std::vector<float> own;
        draw(s == i ? im : i, own);
        const bool sentI = s == i;
        nugget(pairs(i, sentI ? theirs : std::span<const float>(own),
                     sentI ? std::span<const float>(own) : theirs,
                     sentI ? staged[std::size_t(k)].slab : slab,
                     sentI ? slab : staged[std::size_t(k)].slab));
      });
      // The finished planes to their holders, in the order their deviates came.
      for (int q = 0; q < p.ranks; ++q) {
        planes.sendAt[std::size_t(q)] = int(back.size());
        for (std::size_t k = 0; k < mine.size(); ++k) {
          if (p.owner[std::size_t(p.sent(mine[k]))] != q) continue;
          const int s = p.sent(mine[k]);
          for (std::size_t c = 0; c < n; ++c) {
            const float* rows = &staged[k].fields[c](s, 1, 1);
            back.insert(back.end(), rows, rows + box.planeFloats());
            const float* ny = staged[k].nyquist[c].row(s);
            back.insert(back.end(), ny, ny + 2 * n2);
          }
        }
        planes.sendCount[std::size_t(q)] = int(back.size()) - planes.sendAt[std::size_t(q)];
      }
      std::int64_t total = 0;
      for (int q = 0; q < p.ranks; ++q) {
        planes.recvAt[std::size_t(q)] = int(total);
        for (const int i : p.batchOf(q, t))
          if (holds(p.sent(i))) total += std::int64_t(n) * planeFloats;
        planes.recvCount[std::size_t(q)] = int(total) - planes.recvAt[std::size_t(q)];
      }
      received.resize(std::size_t(std::max<std::int64_t>(total, 1)));
    });
    planes.run(back.data(), received.data(), MPI_FLOAT, run_.comm());
    const float* from = received.data();
    for (int q = 0; q < p.ranks; ++q)
      for (const int i : p.batchOf(q, t)) {
        const int s = p.sent(i);
        if (!holds(s)) continue;
        for (std::size_t c = 0; c < n; ++c) {
          std::memcpy(&box.box[c](s, 1, 1), from, std::size_t(box.planeFloats()) * sizeof(float));
          from += box.planeFloats();
          std::memcpy(box.nyquist[c].row(s), from, std::size_t(2 * n2) * sizeof(float));
          from += 2 * n2;
        }
      }
  }
  MPI_Allreduce(&largest, &outcome_.largestNugget, 1, MPI_DOUBLE, MPI_MAX, run_.comm());
  MPI_Allreduce(&taken, &outcome_.nuggetWaveNumbers, 1, MPI_INT, MPI_SUM, run_.comm());
}

const Turb3dConstraintOutcome& SlabConditioning::differences() {
  const auto n = std::size_t(box_.nComp);
  std::vector<double> largest;
  run_.agree([&] {
    largest = pairs_->differences(std::span<const F3tensor>(box_.box.data(), n), box_.planes);
  });
  outcome_.largestDifference.assign(largest.size(), 0.0);
  MPI_Allreduce(largest.data(), outcome_.largestDifference.data(), int(largest.size()), MPI_DOUBLE,
                MPI_MAX, run_.comm());
  return outcome_;
}

}  // namespace wind
