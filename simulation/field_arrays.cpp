#include "simulation/field_arrays.hpp"

namespace wind {

FieldArrays allocateFields(const SimulationInput& in) {
  FieldArrays f;
  f.fieldDim = in.fieldDim;
  f.nComp = in.nComp;
  const int n1 = in.NPoint[0], n2 = in.NPoint[1], n3 = in.NPoint[2];
  for (int c = 0; c < in.nComp; ++c) {
    switch (in.fieldDim) {
      case 1: f.line[c] = vector(1, n1); break;
      case 2: f.plane[c] = matrix(1, n1, 1, n2); break;
      case 3: f.box[c] = f3tensor(1, n1, 1, n2, 1, n3); break;
    }
  }
  return f;
}

void releaseFields(FieldArrays& fields) {
  for (int c = 0; c < fields.nComp; ++c) {
    fields.line[c].reset();
    fields.plane[c].reset();
    fields.box[c].reset();
  }
}

}  // namespace wind
