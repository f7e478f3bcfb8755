#pragma once
// The thread count of the parallel loops (OpenMP from the compiler).
//
// Every parallel loop of the library gives the same bits as the sequential
// program for every thread count: each element is computed by the same
// operations in the same order whichever thread does it, and what is
// sequential by nature (the random draws) stays in its order. The count only
// changes how fast a run is. It follows OMP_NUM_THREADS, else all cores; a
// build without OpenMP runs everything on one thread.
#include <atomic>
#include <cstdint>
#include <exception>

#if defined(_OPENMP)
#include <omp.h>
#endif

namespace wind {

// Threads a parallel loop started now would use (1 without OpenMP).
inline int maxThreads() {
#if defined(_OPENMP)
  return omp_get_max_threads();
#else
  return 1;
#endif
}

// The calling thread's number in its team, 0 .. team size - 1 (0 outside a
// parallel region, and without OpenMP).
inline int threadNumber() {
#if defined(_OPENMP)
  return omp_get_thread_num();
#else
  return 0;
#endif
}

// Sets the thread count of later parallel loops (n >= 1).
inline void setThreads(int n) {
#if defined(_OPENMP)
  omp_set_num_threads(n);
#else
  (void)n;
#endif
}

// f(i) for i = 0 .. n-1 on every thread of the team, in any order (dynamic
// schedule): for work whose items are independent and of unequal cost. A
// failure (an exception; a throwing fatal handler's among them) is carried out
// of the team and thrown again on the calling thread; no item starts after it.
template <class F>
void parallelForEach(std::int64_t n, F&& f) {
  std::exception_ptr failure;
  std::atomic<bool> failed{false};
#pragma omp parallel for schedule(dynamic)
  for (std::int64_t i = 0; i < n; ++i) {
    if (failed.load(std::memory_order_relaxed)) continue;
    try {
      f(i);
    } catch (...) {
#pragma omp critical(parallelForEachFailure)
      if (!failure) failure = std::current_exception();
      failed.store(true);
    }
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace wind
