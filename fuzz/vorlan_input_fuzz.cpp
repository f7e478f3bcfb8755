// Fuzz target: the simulator's parameter file, from the first value to the
// output names, with the real parameter-source steps (land, sea and the terrain
// file with its tables) and, for tiny grids only, the synthesis itself.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "fuzz/harness.hpp"
#include "record/run_record.hpp"
#include "runner/driver.hpp"
#include "simulation/output_files.hpp"
#include "simulation/simulation_input.hpp"

namespace {

// The harness's own cap on synthesis: grids of at most this many points per
// component are synthesised, larger ones stop after reading.
constexpr std::int64_t kMaxSynthesisPoints = 64;

constexpr const char* kParameterFile = "vorlan.inp";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wind;
  return fuzz::runParameterText(data, size, [](std::istream& in, std::ostream& echo) {
    UpstreamTables tables;
    SimulationInput input;
    readSimulationInput(in, echo, input, tables, parameterSourceStep);
    const Vector3 lim = limNormK(input);
    checkBoxIntegrals(input, tables, lim);
    readOutputNames(in, echo, input);
    const std::string terrainFile =
        input.source == ParameterSource::terrain ? input.terrainFile : std::string();
    checkOutputNames(input.fname, input.nComp, kParameterFile, terrainFile);
    checkRecordName(runRecordName(input), input.fname, input.nComp, kParameterFile, terrainFile);
    printSummary(echo, input, lim);

    std::int64_t points = 1;
    for (int d = 0; d < input.fieldDim; ++d) points *= input.NPoint[d];
    if (points > kMaxSynthesisPoints) return;
    FieldArrays fields = allocateFields(input);
    SynthesisContext context;
    synthesise(input, lim, tables, fields, context);
    if (input.source == ParameterSource::Kaimal1d) printKaimalListing(fields, echo);
    releaseFields(fields);
  });
}
