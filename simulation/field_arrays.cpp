#include "simulation/field_arrays.hpp"

#include <cstdint>

namespace wind {

FieldArrays allocateFields(const SimulationInput& in, FieldBlocks blocks) {
  FieldArrays f;
  f.fieldDim = in.fieldDim;
  f.nComp = in.nComp;
  const int n1 = in.NPoint[0], n2 = in.NPoint[1], n3 = in.NPoint[2];
  float* storage = nullptr;
  std::int64_t points = 0;
  if (blocks == FieldBlocks::one) {
    points = n1;
    if (in.fieldDim >= 2) points = detail::checkedProduct(points, n2);
    if (in.fieldDim == 3) points = detail::checkedProduct(points, n3);
    f.all = detail::Block<float>(detail::checkedProduct(points, in.nComp),
                                 "allocation failure in allocateFields()");
    storage = f.all.get();
  }
  for (int c = 0; c < in.nComp; ++c) {
    float* part = storage == nullptr ? nullptr : storage + c * points;
    switch (in.fieldDim) {
      case 1: f.line[c] = vector(1, n1, part); break;
      case 2: f.plane[c] = matrix(1, n1, 1, n2, part); break;
      case 3: f.box[c] = f3tensor(1, n1, 1, n2, 1, n3, part); break;
    }
  }
  return f;
}

std::unique_ptr<float[], detail::BlockDeleter> FieldArrays::takeAll() {
  if (all.get() == nullptr) return nullptr;
  for (int c = 0; c < 3; ++c) {
    line[c].reset();
    plane[c].reset();
    box[c].reset();
  }
  return std::unique_ptr<float[], detail::BlockDeleter>(all.release());
}

void releaseFields(FieldArrays& fields) {
  for (int c = 0; c < fields.nComp; ++c) {
    fields.line[c].reset();
    fields.plane[c].reset();
    fields.box[c].reset();
  }
  fields.all.reset();
}

}  // namespace wind
