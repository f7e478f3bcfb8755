// Engine dispatch: which synthesis engine fills the fields of a run.
//
//   fieldDim  ParameterSource                Engine
//   1         Kaimal1d                       turbKaimal1d
//   1         basic, land, sea, terrain      turb1d
//   2         2D                             IncompIso
//   2         basic, land, sea, terrain      turb2d
//   3         basic, land, sea, terrain      turb3d
//
// The reader has already rejected Kaimal1d with fieldDim other than 1 and 2D
// with fieldDim other than 2. Engines not yet linked into this build end the
// run with a message instead of writing empty fields.
#include <cstdint>
#include <span>
#include <string>

#include "numerics/fatal_error.hpp"
#include "synthesis/turb3d.hpp"
#include "vorlan/driver.hpp"

namespace wind {

void synthesise(const SimulationInput& in, const Vector3& limNormK, const UpstreamTables& tables,
                FieldArrays& fields) {
  if (in.fieldDim == 3) {
    // The reader has checked that the seed is a negative 32-bit integer.
    turb3d(std::span<F3tensor>(fields.box.data(), std::size_t(in.nComp)), in.nComp,
           std::span<const int>(in.components, std::size_t(in.nComp)), in.NPoint[0],
           in.NPoint[1], in.NPoint[2], Vector3(in.LMax[0], in.LMax[1], in.LMax[2]), in.alphaeps,
           in.L, in.Gamma, static_cast<std::int32_t>(in.seed), limNormK, terrainFlag(in),
           &tables);
    return;
  }
  const char* engine = "";
  switch (in.fieldDim) {
    case 1: engine = in.source == ParameterSource::Kaimal1d ? "turbKaimal1d" : "turb1d"; break;
    case 2: engine = in.source == ParameterSource::TwoD ? "IncompIso" : "turb2d"; break;
  }
  fatalError(std::string("The synthesis engine ") + engine + " is not available in this build");
}

}  // namespace wind
