#pragma once
// The run record's "constraints" block (docs/run-record.md, docs/constraints.md):
// null for a run without --constraints; otherwise the file, every series with
// its point, its grid point in the written files' layout or "off the grid
// points", the mean removed and the largest |box - data| along it, the time
// step and sampling, the rows used, how time maps to the planes, and the
// nugget the solves took. Keys in the order written; nothing here touches a
// file.
#include <nlohmann/json.hpp>

#include "handover/constraints_file.hpp"
#include "synthesis/constraints.hpp"

namespace wind {

// c and outcome both given, or both null (the block is then null).
nlohmann::ordered_json constraintsJson(const BoxConstraints* c,
                                       const Turb3dConstraintOutcome* outcome);

}  // namespace wind
