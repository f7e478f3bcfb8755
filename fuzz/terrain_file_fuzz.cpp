// Fuzz target: the terrain flow-model file, read and turned into the run's
// tables by the simulator's terrain step. The first byte of the input chooses
// KESTAVHeightNo (1..4), SpecType and the options: bits 2-5 give Terrain for 1,
// Roughness for 2, both for 3 and neither otherwise, so that the costly table
// builders run for about one input in five and the reader gets the rest of the
// time. The rest of the input is the file.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>

#include "fuzz/harness.hpp"
#include "sources/site_steps.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wind;
  if (size < 1) return -1;
  const unsigned choice = data[0];
  constexpr const char* kFile = "fuzzed_terrain.dat";
  {
    std::ofstream file(kFile, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  fuzz::DiscardBuffer discard;
  std::ostream echo(&discard);

  fuzz::runRefusable([&] {
    SiteValues input;
    input.terrainFile = kFile;
    input.KESTAVHeightNo = static_cast<int>(choice & 3u);
    const unsigned options = (choice >> 2) & 15u;
    input.Terrain = options == 1u || options == 3u;
    input.Roughness = options == 2u || options == 3u;
    input.SpecType = static_cast<int>(choice >> 7);
    UpstreamTables tables;
    terrainStep(input, TerrainAxes::wind, tables, echo);
  });
  return 0;
}
