#include "synthesis/fourier_grid.hpp"

#include <string>

#include "support/fatal_error.hpp"

namespace wind::detail {

namespace {

[[noreturn]] void badFields(const char* who) {
  fatalError(std::string(who) + ": field arrays do not match the number of components or the grid");
}

}  // namespace

void checkLineFields(std::span<Vector> fields, int ncomp, int n1, const char* who) {
  if (ncomp < 0 || fields.size() < static_cast<std::size_t>(ncomp)) badFields(who);
  for (int c = 0; c < ncomp; ++c)
    if (fields[c].lo() != 1 || fields[c].hi() != n1) badFields(who);
}

void checkPlaneFields(std::span<Matrix> fields, int ncomp, int n1, int n2, const char* who) {
  if (ncomp < 0 || fields.size() < static_cast<std::size_t>(ncomp)) badFields(who);
  for (int c = 0; c < ncomp; ++c) {
    const Matrix& f = fields[c];
    if (f.rowLo() != 1 || f.rowHi() != n1 || f.colLo() != 1 || f.colHi() != n2) badFields(who);
  }
}

int componentCount(std::span<const int> comps, std::size_t most, const char* message) {
  if (comps.empty() || comps.size() > most) fatalError(message);
  return static_cast<int>(comps.size());
}

void checkGridSize(int n, const char* who) {
  if (n < 2 || !isPowerOfTwo(n))
    fatalError(std::string(who) + ": number of points has to be a power of 2 of at least 2");
}

}  // namespace wind::detail
