#pragma once
// The draw-ahead ring of turb3d (synthesis/turb3d.hpp): standard normal
// deviates drawn in their one sequential order, slab by slab, ahead of the
// threads that consume them plane by plane.
//
// Each generated wave vector takes perMode deviates (2 ncomp), in the
// sequence of the plan (synthesis/turb3d_plan.hpp). One generator cannot
// draw in parallel, but how many deviates each plane takes is known in
// advance, so the deviates of a slab of consecutive planes are drawn in one go
// while other threads work on the planes of earlier slabs.
//
// A ring covers the planes first .. last of a plan (the whole grid, or a range
// of its planes: the deviates are then those of the grid's sequence from the
// first wave vector of plane `first` on), in slabs of slabPlanes consecutive
// planes (the last one may be shorter). It holds kRing buffers of the widest
// slab; slab s lives in buffer s % kRing.
//
// run(threads, draw, body):
//   draw(std::span<float> x)  fills x with the next x.size() deviates of the
//       sequence; called once per slab, slab after slab in order, never by two
//       threads at the same time, so a stateful generator needs no lock.
//   body(i, std::span<const float> x)  called once for every plane i = first ..
//       last with the plane's deviates (perMode per generated wave vector, in
//       the plan's order), after the draw of its slab; the bodies of different
//       planes may run at the same time, on up to `threads` threads of an
//       OpenMP team (threads <= 1: the calling thread, slab after slab).
//   No barrier between slabs: the planes are claimed one at a time, in order;
//       a plane waits only until its slab is drawn, and whichever thread finds
//       the generator free draws the next slab as soon as every plane of the
//       slab that last used its buffer has finished. A thread descheduled in
//       the middle of a plane therefore holds up that plane alone until the
//       draw two slabs ahead needs its buffer.
//   Failures: an exception from draw or body (a fatal report under a throwing
//       handler) is carried out of the team and raised again on the calling
//       thread once the team has ended; only the first is kept, and no draw
//       or plane starts after it. On one thread it ends the run at once.
//
// Memory: the buffers, allocated by the constructor (a slab of the widest
// planes times kRing), and per run one counter per slab. The ring keeps no
// other state between runs; one run at a time.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <span>
#include <thread>
#include <vector>

#include "synthesis/turb3d_plan.hpp"

namespace wind::detail {

class DeviateRing {
 public:
  // Slab buffers in the ring: the slab being drawn and two being consumed.
  static constexpr int kRing = 3;

  // The planes first .. last of plan (1 <= first <= last <= N1), perMode >= 1
  // deviates per wave vector, slabPlanes >= 1 planes per slab.
  DeviateRing(const Turb3dPlan& plan, int first, int last, int perMode, int slabPlanes);

  int slabs() const { return (last_ - first_) / slabPlanes_ + 1; }
  int slabFirst(int s) const { return first_ + s * slabPlanes_; }
  int slabLast(int s) const { return std::min(last_, slabFirst(s) + slabPlanes_ - 1); }

  template <class Draw, class Body>
  void run(int threads, Draw&& draw, Body&& body);

 private:
  // The deviates of slab s, in its buffer.
  std::span<float> slabDeviates(int s) {
    const std::int64_t n = plan_.planeModes(slabFirst(s), slabLast(s)) * perMode_;
    return std::span<float>(buffers_[std::size_t(s % kRing)]).first(std::size_t(n));
  }
  // The deviates of plane i of slab s.
  std::span<const float> planeDeviates(int s, int i) const {
    const std::int64_t at = (plan_.planeStart(i) - plan_.planeStart(slabFirst(s))) * perMode_;
    const std::int64_t n = plan_.planeModes(i, i) * perMode_;
    return std::span<const float>(buffers_[std::size_t(s % kRing)])
        .subspan(std::size_t(at), std::size_t(n));
  }

  const Turb3dPlan& plan_;
  int first_, last_, perMode_, slabPlanes_;
  std::array<std::vector<float>, kRing> buffers_;
};

template <class Draw, class Body>
void DeviateRing::run(int threads, Draw&& draw, Body&& body) {
  if (threads <= 1) {
    for (int s = 0; s < slabs(); ++s) {
      draw(slabDeviates(s));
      for (int i = slabFirst(s); i <= slabLast(s); ++i) body(i, planeDeviates(s, i));
    }
    return;
  }
  // The pipeline is built by hand rather than from OpenMP constructs, for two
  // reasons. The planes are claimed from a counter because they must be
  // claimed in order: a plane waits for the draw of its slab, which waits for
  // the planes of the slab kRing before, and those must already be in hand
  // (OpenMP's dynamic schedule does not promise an order). The draws are taken
  // up by whichever thread next finds the generator free, because OpenMP task
  // dependences let a ready draw wait behind running planes: on the load box
  // (8192 x 32 x 32) with 2 threads the amplitude stage took 15 to 20 % longer
  // that way (draws as tasks, or drawn by the generating thread between
  // taskwaits), in ten alternating runs.
  const int nSlabs = slabs();
  std::atomic<int> drawn{0};         // slabs drawn so far (all of them after a failure)
  std::atomic<bool> drawing{false};  // a thread holds the generator
  std::atomic<bool> failed{false};   // no draw or plane starts any more
  std::atomic<int> nextPlane{first_};
  std::vector<std::atomic<int>> finished(static_cast<std::size_t>(nSlabs));  // planes done per slab
  for (std::atomic<int>& f : finished) f.store(0, std::memory_order_relaxed);
  std::exception_ptr failure;
  const auto fail = [&] {
#pragma omp critical(deviateRingFailure)
    if (!failure) failure = std::current_exception();
    failed.store(true, std::memory_order_release);
  };
  const auto tryDraw = [&] {
    if (drawn.load(std::memory_order_acquire) >= nSlabs ||
        drawing.exchange(true, std::memory_order_acquire))
      return;
    const int s = drawn.load(std::memory_order_relaxed);
    if (failed.load(std::memory_order_acquire)) {
      drawn.store(nSlabs, std::memory_order_release);  // release every waiting plane
    } else if (s < nSlabs &&
               (s < kRing || finished[std::size_t(s - kRing)].load(std::memory_order_acquire) ==
                                 slabLast(s - kRing) - slabFirst(s - kRing) + 1)) {
      try {
        draw(slabDeviates(s));
      } catch (...) {
        fail();
      }
      drawn.store(s + 1, std::memory_order_release);
    }
    drawing.store(false, std::memory_order_release);
  };
#pragma omp parallel num_threads(threads)
  for (;;) {
    tryDraw();
    const int i = nextPlane.fetch_add(1, std::memory_order_relaxed);
    if (i > last_) break;
    const int s = (i - first_) / slabPlanes_;
    while (drawn.load(std::memory_order_acquire) <= s) {
      tryDraw();
      std::this_thread::yield();
    }
    if (!failed.load(std::memory_order_acquire)) {
      try {
        body(i, planeDeviates(s, i));
      } catch (...) {
        fail();
      }
    }
    finished[std::size_t(s)].fetch_add(1, std::memory_order_release);
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace wind::detail
