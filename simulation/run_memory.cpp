#include "simulation/run_memory.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>

#include "support/fatal_error.hpp"
#include "synthesis/turb3d.hpp"

namespace wind {

namespace {

constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;

double pageBytes() { return double(::sysconf(_SC_PAGE_SIZE)); }

// Address space the process maps now (the first figure of statm, in pages), 0
// when unreadable.
double mappedBytes() {
  std::ifstream statm("/proc/self/statm");
  double pages = 0;
  return statm >> pages ? pages * pageBytes() : 0.0;
}

// A number of bytes from a control-group file; infinity for "max", a missing
// file or anything else that is no number.
double limitFile(const std::string& path) {
  std::ifstream f(path);
  double v = 0;
  return f >> v ? v : std::numeric_limits<double>::infinity();
}

// The memory limit of the process's control group: for each line
// "id:controllers:path" of /proc/self/cgroup, the v2 line (id 0, no
// controllers) names memory.max, the v1 line with "memory" among its
// controllers memory.limit_in_bytes. A group that is not mounted under its
// own path (inside a container) is looked for at the mount's root.
double cgroupLimit() {
  std::ifstream groups("/proc/self/cgroup");
  double limit = std::numeric_limits<double>::infinity();
  std::string line;
  while (std::getline(groups, line)) {
    const std::size_t a = line.find(':'), b = line.find(':', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    const std::string controllers = line.substr(a + 1, b - a - 1), path = line.substr(b + 1);
    std::string root, file;
    if (line.compare(0, a, "0") == 0 && controllers.empty()) {
      root = "/sys/fs/cgroup", file = "/memory.max";
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      root = "/sys/fs/cgroup/memory", file = "/memory.limit_in_bytes";
    } else {
      continue;
    }
    double v = limitFile(root + path + file);
    if (v == std::numeric_limits<double>::infinity()) v = limitFile(root + file);
    limit = std::min(limit, v);
  }
  return limit;
}

std::string gib(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", bytes / kGiB);
  return text;
}

}  // namespace

MachineMemory machineMemory() { return processMemory(1); }

MachineMemory processMemory(int sharing) {
  MachineMemory m{std::numeric_limits<double>::infinity(), "no limit"};
  const auto consider = [&m](double bytes, const char* source) {
    if (bytes < m.bytes) m = {bytes, source};
  };
  const double share = double(std::max(sharing, 1));
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  if (pages > 0) consider(double(pages) * pageBytes() / share, "physical memory");
  rlimit as{};
  if (::getrlimit(RLIMIT_AS, &as) == 0 && as.rlim_cur != RLIM_INFINITY)
    consider(std::max(0.0, double(as.rlim_cur) - mappedBytes()), "ulimit -v");
  consider(cgroupLimit() / share, "the control group's limit");
  return m;
}

double runBytes(const SimulationInput& in) {
  double points = 1;
  for (int d = 0; d < in.fieldDim; ++d) points *= in.NPoint[d];
  const double fields = 4.0 * in.nComp * points;
  switch (in.fieldDim) {
    case 3: {
      const BoxGrid grid{in.NPoint[0], in.NPoint[1], in.NPoint[2], Vector3()};
      return fields + turb3dWorkBytes(grid, in.nComp);
    }
    case 2: return fields + 4.0 * in.nComp * 2.0 * in.NPoint[0];
    default: return fields;
  }
}

void checkRunMemory(const SimulationInput& in) {
  const double need = runBytes(in);
  const MachineMemory has = machineMemory();
  if (need > has.bytes)
    fatalError("The run needs " + gib(need) +
               " GiB of memory (fields and working arrays), the machine has " + gib(has.bytes) +
               " GiB (" + has.source + ")");
}

void checkProcessMemory(double need, const std::string& what, int processes, int sharing) {
  const MachineMemory has = processMemory(sharing);
  if (need > has.bytes)
    fatalError("The run needs " + gib(need) + " GiB of memory per process (" + what + ") on " +
               std::to_string(processes) + " processes, the machine has " + gib(has.bytes) +
               " GiB for each of its " + std::to_string(sharing) + " (" + has.source +
               "): run it on more processes, or on fewer per machine");
}

bool keepAmplitudes(const SimulationInput& in, std::size_t seeds) {
  if (seeds < 2 || in.fieldDim != 3) return false;
  const BoxGrid grid{in.NPoint[0], in.NPoint[1], in.NPoint[2], Vector3()};
  const double storeBytes = double(turb3dAmplitudeBytes(grid, in.nComp));
  return storeBytes + runBytes(in) <= kAmplitudeStoreShare * machineMemory().bytes;
}

}  // namespace wind
