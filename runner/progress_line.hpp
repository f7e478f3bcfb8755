#pragma once
// The progress line of a long run on a terminal.
//
// While a ProgressLine is shown, a thread of its own reads a
// SynthesisProgress (synthesis/progress.hpp) about four times a second and
// rewrites one line on standard error: the label (the seed of a --seeds run),
// the stage and its share done, e.g. "seed -3: amplitudes 42%". It goes
// straight to file descriptor 2, and only when that is a terminal (isatty):
// in a pipe or a file nothing is shown, so captured output is the same as
// without it. hide() stops the thread and clears the line, so what the
// program prints next starts on a clean line; the owner prints nothing else
// while the line is shown. The workers only bump counters; the display costs
// them nothing.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "synthesis/progress.hpp"

namespace wind {

class ProgressLine {
 public:
  explicit ProgressLine(const SynthesisProgress& progress);
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ~ProgressLine();  // hides the line

  // Starts showing the line with this label (ignored when not a terminal).
  void show(std::string label);
  void hide();

  // The text of the line for a stage, steps done and total: "<label>
  // <stage> <percent>%" (the label and its blank left out when empty).
  static std::string text(const std::string& label, SynthesisProgress::Stage stage,
                          std::int64_t done, std::int64_t total);

 private:
  void run();

  const SynthesisProgress& progress_;
  bool terminal_;
  std::string label_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace wind
