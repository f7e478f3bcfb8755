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
// Nothing allocates but fieldStatistics (one sum per plane); reentrant.
#include <array>
#include <cstdint>
#include <limits>
#include <span>

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

// The sums of the n values of one plane about shift.
PlaneSums planeSums(const float* plane, std::int64_t n, double shift);

// The statistics of `count` values from their planes' sums, in plane order.
ComponentStatistics combinePlaneSums(std::span<const PlaneSums> planes, double shift,
                                     std::int64_t count);

}  // namespace wind
