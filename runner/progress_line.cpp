#include "runner/progress_line.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace wind {

namespace {

// Refresh interval of the line.
constexpr std::chrono::milliseconds kRefresh{250};

void writeError(const std::string& s) {
  // Best effort: a display that cannot be written is simply not shown.
  std::size_t at = 0;
  while (at < s.size()) {
    const ssize_t n = ::write(2, s.data() + at, s.size() - at);
    if (n <= 0) return;
    at += static_cast<std::size_t>(n);
  }
}

}  // namespace

ProgressLine::ProgressLine(const SynthesisProgress& progress)
    : progress_(progress), terminal_(::isatty(2) == 1) {}

ProgressLine::~ProgressLine() { hide(); }

std::string ProgressLine::text(const std::string& label, SynthesisProgress::Stage stage,
                               std::int64_t done, std::int64_t total) {
  const std::int64_t percent = total > 0 ? (100 * std::min(done, total)) / total : 0;
  return (label.empty() ? "" : label + " ") + stageName(stage) + " " + std::to_string(percent) +
         "%";
}

void ProgressLine::show(std::string label) {
  hide();
  if (!terminal_) return;
  label_ = std::move(label);
  stop_ = false;
  thread_ = std::thread([this] { run(); });
}

void ProgressLine::hide() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void ProgressLine::run() {
  std::size_t shown = 0;  // length of the text on the line
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, kRefresh, [this] { return stop_; })) {
    const SynthesisProgress::Stage stage = progress_.stage();
    if (stage == SynthesisProgress::idle) continue;
    const std::string line = text(label_, stage, progress_.done(), progress_.total());
    // Over the last text, blanking what is longer than the new one.
    std::string out(1, '\r');
    out += line;
    if (line.size() < shown) out.append(shown - line.size(), ' ');
    writeError(out);
    shown = line.size();
  }
  if (shown > 0) {
    std::string out(1, '\r');
    out.append(shown, ' ');
    out += '\r';
    writeError(out);
  }
}

}  // namespace wind
