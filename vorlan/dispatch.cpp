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
#include <string>

#include "numerics/fatal_error.hpp"
#include "vorlan/driver.hpp"

namespace wind {

void synthesise(const SimulationInput& in, const Vector3& /*limNormK*/,
                const UpstreamTables& /*tables*/, FieldArrays& /*fields*/) {
  const char* engine = "";
  switch (in.fieldDim) {
    case 1: engine = in.source == ParameterSource::Kaimal1d ? "turbKaimal1d" : "turb1d"; break;
    case 2: engine = in.source == ParameterSource::TwoD ? "IncompIso" : "turb2d"; break;
    default: engine = "turb3d"; break;
  }
  fatalError(std::string("The synthesis engine ") + engine + " is not available in this build");
}

}  // namespace wind
