#pragma once
// The memory of a simulator run, weighed against what the machine can give
// before any output file is created.
//
// What one run (one seed) needs, runBytes: its fields, 4 nComp N1 N2 N3 bytes,
// and the working arrays of its engine: for a three-dimensional field the
// Nyquist planes, the deviate ring and the plan of turb3d (turb3dWorkBytes),
// for a two-dimensional one a Nyquist line of 2 N1 floats per component; the
// one-dimensional engines work in the fields and on a few dozen spline knots.
// A --seeds run of a three-dimensional field may keep the amplitude store as
// well (turb3dAmplitudeBytes): only when fields, working arrays and store
// together take at most kAmplitudeStoreShare of the machine's memory
// (keepAmplitudes). Should the heap still refuse the store, turb3d evaluates
// the amplitudes of every seed again, with the same bits.
//
// What the machine has, machineMemory: the smallest of
//   physical memory (sysconf);
//   the address-space limit of the process (RLIMIT_AS, "ulimit -v"), less the
//     address space the process already maps (/proc/self/statm), since the
//     limit counts every mapping;
//   the memory limit of its control group: memory.max (cgroup v2) or
//     memory.limit_in_bytes (v1) of the group named in /proc/self/cgroup,
//     where that file is readable and holds a limit.
// Each is left out when it cannot be read; with none readable the figure is
// unlimited.
//
// Failure: checkRunMemory ends the run through fatalError when runBytes
// exceeds machineMemory, giving both figures in GiB, e.g. "The run needs 12.5
// GiB of memory (fields and working arrays), the machine has 7.75 GiB
// (physical memory)".
#include <cstddef>
#include <string>

#include "simulation/simulation_input.hpp"

namespace wind {

// The amplitude store of a --seeds run is kept when it, the fields and the
// working arrays together take at most this share of machineMemory.
inline constexpr double kAmplitudeStoreShare = 0.5;

struct MachineMemory {
  double bytes;        // infinity when nothing limits it
  std::string source;  // "physical memory", "ulimit -v" or "the control group's limit"
};

MachineMemory machineMemory();

// The memory one of `sharing` processes on this machine can count on: the
// physical memory and the control group's limit divided among them, the
// address-space limit (which each process has for itself) whole.
MachineMemory processMemory(int sharing);

// Bytes of one run of the input (one seed), without the amplitude store.
double runBytes(const SimulationInput& in);

void checkRunMemory(const SimulationInput& in);

// The same check for one process of a run across several: need bytes of this
// process, of what (e.g. "its slab of the box"), against processMemory(sharing):
// "The run needs 1.52 GiB of memory per process (its slab of the box) on 2
// processes, the machine has 1.19 GiB for each of its 1 (ulimit -v): run it on
// more processes".
void checkProcessMemory(double need, const std::string& what, int processes, int sharing);

// A run of `seeds` seeds keeps the three-dimensional engine's amplitudes (two
// seeds or more, a three-dimensional field, and room as above).
bool keepAmplitudes(const SimulationInput& in, std::size_t seeds);

}  // namespace wind
