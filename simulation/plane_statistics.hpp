#pragma once
// The statistics of a field as the run record gives them (mean, standard
// deviation, minimum and maximum of each component), taken plane by plane so
// that they come out the same, bit for bit, however the planes are shared
// among threads or processes.
//
// A field of N1 planes (a plane: the values of one first index, N2 N3 of a
// box, N2 of a plane field, one of a line) is summed about a shift, the
// field's first value in file order: each plane gives its sums of
// d = x - shift and d^2 in double, in storage order, with its minimum and
// maximum (planeSums); the planes' sums are then added in plane order
// (combinePlaneSums), whoever computed them. The mean is shift + S1/n, the
// population standard deviation sqrt(max(0, S2/n - (S1/n)^2)). For a line
// (one value a plane) this is the one running sum over the values.
//
// A box cut into slabs of planes across processes gets the same bits from
// the same steps: each process sums its own planes, and a PlaneReduction
// brings every plane's sums together in plane order (planeStatistics). A box
// held whole by one process uses the default reduction, which has nothing to
// bring together.
//
// Nothing allocates but fieldStatistics and planeStatistics (one sum per
// plane); reentrant.
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <vector>

#include "simulation/field_arrays.hpp"

namespace wind {

// Mean, population standard deviation (divided by count), minimum and maximum
// of one component over the whole grid.
struct ComponentStatistics {
  std::int64_t count = 0;
  double mean = 0.0, std = 0.0, min = 0.0, max = 0.0;
};

// One pass over n floats, in double; the sums are taken about the first value
// so that a large mean does not cancel the variance.
ComponentStatistics componentStatistics(const float* data, std::int64_t n);

// Statistics of each of the nComp components, in component order.
std::array<ComponentStatistics, 3> fieldStatistics(const FieldArrays& fields);

struct PlaneSums {
  double sum = 0.0, sumSq = 0.0;
  double min = std::numeric_limits<double>::infinity();
  double max = -std::numeric_limits<double>::infinity();
};

// The n values value(0) .. value(n - 1) added to the running sums s about
// shift, in that order.
template <class Value>
void addToSums(PlaneSums& s, std::int64_t n, double shift, Value&& value) {
  for (std::int64_t e = 0; e < n; ++e) {
    const double x = value(e);
    const double d = x - shift;
    s.sum += d;
    s.sumSq += d * d;
    s.min = std::min(s.min, x);
    s.max = std::max(s.max, x);
  }
}

// The sums of the n values value(0) .. value(n - 1) of one plane about shift,
// in that order.
template <class Value>
PlaneSums planeSumsOf(std::int64_t n, double shift, Value&& value) {
  PlaneSums s;
  addToSums(s, n, shift, value);
  return s;
}

// The sums of the n values of one plane about shift.
PlaneSums planeSums(const float* plane, std::int64_t n, double shift);

// The statistics of `count` values from their planes' sums, in plane order.
ComponentStatistics combinePlaneSums(std::span<const PlaneSums> planes, double shift,
                                     std::int64_t count);

// How the processes that hold the planes of one box bring their findings
// together. The default is a box held whole by this process: nothing to bring.
// Every member is collective over the processes of a box cut among several;
// each process holds consecutive planes, in process order.
class PlaneReduction {
 public:
  virtual ~PlaneReduction() = default;
  // The sums of every plane of the box, in plane order, on every process,
  // from those of the planes this process holds (in their order).
  virtual std::vector<PlaneSums> allPlanes(std::span<const PlaneSums> mine) const {
    return {mine.begin(), mine.end()};
  }
  // The value that the holder of the box's first plane passes, on every process.
  virtual double fromFirstPlane(double value) const { return value; }
  // The largest of each value over the processes, in place, on every process.
  virtual void maximum(std::span<double>) const {}
  // Running sums carried through the whole box in plane order: add continues
  // the sums of every plane before this process's own (received from the
  // process before it) with its own planes; the sums of the last process, on
  // every process. One running sum over a box cut among processes, with the
  // bits of the same sum over the box held whole.
  virtual PlaneSums carried(const std::function<void(PlaneSums&)>& add) const {
    PlaneSums s;
    add(s);
    return s;
  }
};

// The statistics of one quantity over the whole box: value(p, e) is element
// e (0 .. perPlane - 1, storage order) of the p-th plane this process holds
// (0 .. planes - 1), summed about shift plane by plane (on the threads), then
// over every plane of the box in plane order (reduction); count is the number
// of values of the whole box. The same bits however the planes are cut.
template <class Value>
ComponentStatistics planeStatistics(std::int64_t planes, std::int64_t perPlane, double shift,
                                    std::int64_t count, const PlaneReduction& reduction,
                                    Value&& value) {
  std::vector<PlaneSums> mine(static_cast<std::size_t>(std::max<std::int64_t>(planes, 0)));
#pragma omp parallel for schedule(static)
  for (std::int64_t p = 0; p < planes; ++p)
    mine[std::size_t(p)] = planeSumsOf(perPlane, shift, [&](std::int64_t e) { return value(p, e); });
  const std::vector<PlaneSums> all = reduction.allPlanes(mine);
  return combinePlaneSums(all, shift, count);
}

}  // namespace wind
