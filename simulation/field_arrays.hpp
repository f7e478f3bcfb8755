#pragma once
// The fields of one run: one 1-based array per velocity component, line[c] =
// vector(1, N1) for a one-dimensional field, plane[c] = matrix(1, N1, 1, N2)
// for a two-dimensional one, box[c] = f3tensor(1, N1, 1, N2, 1, N3) for a
// three-dimensional one; c = 0 .. nComp-1 follows the input's component list.
// Only the arrays of the field's dimension and of its nComp components are
// allocated: one block each, or (FieldBlocks::one) one block for all, all[]
// holding the components one after another and each component's array a view
// of its part, addressed as ever. The driver owns them for one run (or one seed); the engines fill
// them, the layouts reorder them in place, the writers and the run record read
// them.

#include <array>
#include <memory>
#include <span>

#include "numerics/arrays.hpp"
#include "simulation/simulation_input.hpp"

namespace wind {

enum class FieldBlocks { perComponent, one };

struct FieldArrays {
  int fieldDim = 0;
  int nComp = 0;
  std::array<Vector, 3> line;
  std::array<Matrix, 3> plane;
  std::array<F3tensor, 3> box;
  detail::Block<float> all;  // FieldBlocks::one: every component's values, component-major

  // FieldBlocks::one: the block of every component taken out with no copy
  // (nComp times a component's values), the arrays left empty; else nullptr.
  std::unique_ptr<float[], detail::BlockDeleter> takeAll();

  // Component c's values, one block in file order (last index fastest).
  std::span<float> values(int c) {
    switch (fieldDim) {
      case 1: return line[c].span();
      case 2: return plane[c].span();
      default: return box[c].span();
    }
  }
  std::span<const float> values(int c) const { return const_cast<FieldArrays&>(*this).values(c); }
};

// Allocates the field arrays of the input (elements start at zero).
FieldArrays allocateFields(const SimulationInput& in,
                           FieldBlocks blocks = FieldBlocks::perComponent);

// Releases the field arrays (their owners would at scope end).
void releaseFields(FieldArrays& fields);

}  // namespace wind
