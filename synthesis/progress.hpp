#pragma once
// How far a synthesis has come, for a display that another thread refreshes.
//
// The thread that runs a synthesis announces each stage (begin) with the number
// of steps it takes; the threads doing the work count finished steps (advance:
// one relaxed atomic add per plane or per transform, never per wave vector).
// Any other thread may read stage, done and total at any time; the values are
// a snapshot, not a consistent triple, which is all a progress line needs.
// The time spent in each stage is summed on the announcing thread (seconds),
// for stage timings of the benchmarks.
//
// Nothing here allocates; an engine given no progress object counts nothing.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

namespace wind {

class SynthesisProgress {
 public:
  enum Stage : int { idle = 0, amplitudes, transforms, writing, kStages };

  // Ends the current stage and starts stage s of total steps.
  void begin(Stage s, std::int64_t steps) {
    finishStage();
    done_.store(0, std::memory_order_relaxed);
    total_.store(steps, std::memory_order_relaxed);
    stage_.store(s, std::memory_order_release);
    start_ = Clock::now();
  }
  // Ends the current stage (idle until the next begin).
  void end() {
    finishStage();
    stage_.store(idle, std::memory_order_release);
  }
  // Back to idle with no time recorded (between the seeds of one run).
  void reset() {
    stage_.store(idle, std::memory_order_release);
    done_.store(0, std::memory_order_relaxed);
    total_.store(0, std::memory_order_relaxed);
    seconds_ = {};
  }
  void advance(std::int64_t steps = 1) { done_.fetch_add(steps, std::memory_order_relaxed); }

  Stage stage() const { return static_cast<Stage>(stage_.load(std::memory_order_acquire)); }
  std::int64_t done() const { return done_.load(std::memory_order_relaxed); }
  std::int64_t total() const { return total_.load(std::memory_order_relaxed); }
  // Wall seconds spent in stage s so far (finished stages only), read by the
  // announcing thread.
  double seconds(Stage s) const { return seconds_[s]; }

 private:
  using Clock = std::chrono::steady_clock;
  void finishStage() {
    const int s = stage_.load(std::memory_order_relaxed);
    if (s != idle) seconds_[s] += std::chrono::duration<double>(Clock::now() - start_).count();
  }
  std::atomic<int> stage_{idle};
  std::atomic<std::int64_t> done_{0}, total_{0};
  Clock::time_point start_{};
  std::array<double, kStages> seconds_{};
};

// The stage's name on the progress line: "amplitudes", "transforms", "writing".
inline const char* stageName(SynthesisProgress::Stage s) {
  switch (s) {
    case SynthesisProgress::amplitudes: return "amplitudes";
    case SynthesisProgress::transforms: return "transforms";
    case SynthesisProgress::writing: return "writing";
    default: return "";
  }
}

}  // namespace wind
