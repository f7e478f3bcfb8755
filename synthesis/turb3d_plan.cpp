#include "synthesis/turb3d_plan.hpp"

#include <algorithm>

namespace wind::detail {

Turb3dPlan::Turb3dPlan(const BoxGrid& grid)
    : N1(grid.N1), N2(grid.N2), N3(grid.N3), iHigh(grid.N1 / 2 + 1), jHigh(grid.N2 / 2 + 1),
      lNyquist(grid.N3 / 2 + 1), start_(std::size_t(grid.N1) + 1, 0) {
  for (int i = 1; i <= N1; ++i)
    start_[std::size_t(i)] = start_[std::size_t(i) - 1] + rowOffset(i, N2 + 1);
}

std::int64_t Turb3dPlan::widestPlane(int first, int last) const {
  std::int64_t widest = 0;
  for (int i = first; i <= last; ++i) widest = std::max(widest, planeModes(i, i));
  return widest;
}

std::int64_t Turb3dPlan::rowOffset(int i, int j) const {
  // Rows 1 .. j-1: the in-plane ones (all, the first jHigh, or none) take
  // lNyquist wave vectors, one less for the row of k = 0; the others
  // lNyquist - 2.
  const int before = j - 1;
  const int inPlane = (1 < i && i < iHigh) ? before : iSelf(i) ? std::min(before, jHigh) : 0;
  const int origin = (i == 1 && before > 0) ? 1 : 0;
  return std::int64_t(inPlane) * lNyquist - origin +
         std::int64_t(before - inPlane) * (lNyquist - 2);
}

}  // namespace wind::detail
