#include "tensor/model.hpp"

#include "support/fatal_error.hpp"

namespace wind {

namespace {

// Stands in for absent tables; its lookups are fatal.
constexpr UpstreamTables kNoTables{};

}  // namespace

const UpstreamTables& TensorModel::lookupTables() const {
  return tables != nullptr ? *tables : kNoTables;
}

void TensorModel::checkTables() const {
  if (!needsTables()) return;
  const UpstreamTables& t = lookupTables();
  if (Terrain && !t.hasStretch) fatalError(kStretchTablesMissing);
  if (params.alphaeps == 0.0f && !t.hasRoughness) fatalError(kRoughnessTableMissing);
}

}  // namespace wind
