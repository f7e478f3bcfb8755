// Fuzz target: the spectrum calculator's parameter file, read in full with its
// parameter-source step (land, sea, or the terrain file with its tables). The
// spectra themselves are not computed: their cost grows with the requested
// range, not with the input.
#include <cstddef>
#include <cstdint>
#include <ostream>

#include "corvel/spectrum_input.hpp"
#include "fuzz/harness.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return wind::fuzz::runParameterText(data, size, [](std::istream& in, std::ostream& out) {
    wind::SpectrumInput input;
    wind::UpstreamTables tables;
    wind::readSpectrumInput(in, out, out, input, tables);
  });
}
