#include "simulation/layout.hpp"

#include <algorithm>
#include <cstdint>

namespace wind {

namespace {

bool reversed(int axis) { return axis == 1 || axis == 2; }

}  // namespace

// Each pair of rows is swapped once, from the one with the lower offset.
void reverseRows(float* data, std::int64_t n1, std::int64_t n2, std::int64_t n3, bool rev1,
                 bool rev2) {
  for (std::int64_t i = 0; i < n1; ++i)
    for (std::int64_t j = 0; j < n2; ++j) {
      const std::int64_t ti = rev1 ? n1 - 1 - i : i;
      const std::int64_t tj = rev2 ? n2 - 1 - j : j;
      const std::int64_t from = i * n2 + j, to = ti * n2 + tj;
      if (from < to) std::swap_ranges(data + from * n3, data + (from + 1) * n3, data + to * n3);
    }
}

std::array<int, 3> gridAxes(const SimulationInput& in) {
  switch (in.fieldDim) {
    case 1: return {1, 0, 0};
    case 2: {
      std::array<int, 3> axes{0, 0, 0};
      int d = 0;
      for (int axis = 1; axis <= 3; ++axis)
        if (axis != in.absentDim + 1) axes[d++] = axis;
      return axes;
    }
    default: return {1, 2, 3};
  }
}

void toInflowWindLayout(const SimulationInput& in, FieldArrays& fields) {
  const std::array<int, 3> axes = gridAxes(in);
  // A line reverses along axis 1, a plane along those of its two axes that
  // are axis 1 or 2, a box along axes 1 and 2.
  const std::int64_t n2 = fields.fieldDim >= 2 ? in.NPoint[1] : 1;
  const std::int64_t n3 = fields.fieldDim == 3 ? in.NPoint[2] : 1;
  for (int c = 0; c < fields.nComp; ++c)
    reverseRows(fields.values(c).data(), in.NPoint[0], n2, n3, reversed(axes[0]),
                fields.fieldDim >= 2 && reversed(axes[1]));
}

const char* layoutName(OutputLayout layout) {
  return layout == OutputLayout::inflowwind ? "inflowwind" : "classic";
}

}  // namespace wind
