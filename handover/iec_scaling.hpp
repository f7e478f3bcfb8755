#pragma once
// Scaling a box to IEC 61400-1's target standard deviations (--scale iec).
//
// A finite periodic box holds only the wave numbers of its grid, so its
// standard deviations fall short of the model's (of IEC's sigma_1, 0.8 sigma_1
// and 0.5 sigma_1 for the iec source): by about a fifth for v in a
// 4096 x 32 x 32 load box. A user who wants the targets multiplies each
// component by factor_c = target_c / sigma_c, sigma_c its population standard
// deviation over the whole box (what the run record's "scaling" block offers).
// scaleToIecTargets does it in place, before any file is written, so that the
// .bts and .wnd files (which InflowWind does not scale) and the raw files carry
// the targets: each value becomes float(factor_c * value) in double, about
// zero (the box's mean, close to zero, is scaled with it). The same bits for
// every thread count: each value is one multiplication.
//
// sigma_c is one running sum over the whole component in storage order, about
// its first value (simulation/plane_statistics.hpp, componentStatistics). A
// box cut into slabs across processes gets the same factors by carrying that
// sum from process to process in plane order: iecStandardDeviations
// (collective over the reduction), then iecScaling (no collective: where it
// fails it fails on every process alike), then applyIecScaling on the planes
// each process holds.
//
// Failure: a component with zero or non-finite standard deviation cannot be
// scaled: "--scale iec: component <name> has no variance to scale".

#include <array>
#include <cstdint>
#include <span>

#include "simulation/plane_statistics.hpp"

namespace wind {

struct ComponentScale {
  int component = 0;      // 1 u, 2 v, 3 w
  double std = 0.0;       // before scaling, m/s
  double target = 0.0;    // m/s
  double factor = 0.0;    // target / std
};

struct IecScaling {
  int nComp = 0;
  std::array<ComponentScale, 3> components{};
};

// values[c] is component components[c] (0-based: 0 u, 1 v, 2 w), c < nComp;
// sigma1 is IEC's sigma_1 (sources/iec.hpp, iecModel). The whole box in this
// process.
IecScaling scaleToIecTargets(const std::array<std::span<float>, 3>& values,
                             const std::array<int, 3>& components, int nComp, double sigma1);

// The steps of scaleToIecTargets for a box whose planes are held by several
// processes: values[c] this process's planes of component c (in storage
// order), count the values of one component over the whole box.
std::array<double, 3> iecStandardDeviations(const std::array<std::span<float>, 3>& values,
                                            int nComp, std::int64_t count,
                                            const PlaneReduction& reduction);
IecScaling iecScaling(const std::array<double, 3>& sigma, const std::array<int, 3>& components,
                      int nComp, double sigma1);
void applyIecScaling(const IecScaling& s, const std::array<std::span<float>, 3>& values);

}  // namespace wind
