// The simulator's parameter-source step (simulation/engines.hpp): for the
// land, sea and terrain sources the model parameters alphaeps, L and Gamma are
// derived from site data while the parameter file is read (right after
// SpecType, before the seed), by the site steps of sources/site_steps.hpp.
// basic, Kaimal1d and 2D: nothing; the values read are the parameters.
//
// The terrain line is turned into the axes of the mean wind. With Roughness
// the engines take the energy level from the roughness table built here
// (siteTensorModel, sources/site_steps.hpp).
#include <ostream>

#include "simulation/engines.hpp"
#include "sources/site_steps.hpp"

namespace wind {

void parameterSourceStep(SimulationInput& input, UpstreamTables& tables, std::ostream& echo) {
  switch (input.source) {
    case ParameterSource::land: landStep(input); break;
    case ParameterSource::sea: seaStep(input); break;
    case ParameterSource::terrain: terrainStep(input, TerrainAxes::wind, tables, echo); break;
    case ParameterSource::basic:
    case ParameterSource::Kaimal1d:
    case ParameterSource::TwoD:
    case ParameterSource::iec: break;
  }
}

}  // namespace wind
