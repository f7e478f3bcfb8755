// Fuzz target: the spectrum calculator's parameter file, read in full with its
// parameter-source step (land, sea, or the terrain file with its tables). The
// spectra themselves are not computed: their cost grows with the requested
// range, not with the input.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>

#include "corvel/spectrum_input.hpp"
#include "fuzz/harness.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wind::fuzz::enterScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wind;
  std::string text;
  if (!fuzz::sandboxedText(data, size, text)) return -1;
  fuzz::DiscardBuffer discard;
  std::ostream out(&discard);

  fuzz::runRefusable([&] {
    std::istringstream in(text);
    SpectrumInput input;
    UpstreamTables tables;
    readSpectrumInput(in, out, out, input, tables);
  });
  return 0;
}
