#pragma once
// Shared pieces of the fuzz targets.
//
// Every target runs one input in-process with the throwing fatal handler, so a
// refused input ends in a caught wind::FatalError and the fuzzer goes on; any
// other way out (a crash, a sanitizer report, an escaped exception, a hang) is
// a finding.
//
// Sandbox: the targets work in a scratch folder of their own, made at start-up,
// holding a copy of the example terrain file under the name "terrain_hill.dat".
// Parameter files are run only when they contain no '/', so every file name in
// them (terrain file, output files) is a plain name inside that folder. Nothing
// is ever created from a parameter file: the simulator target reads and checks
// the output names but opens none of them.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "support/fatal_error.hpp"

namespace wind::fuzz {

// A stream buffer that accepts and drops everything: the echo and the results
// are formatted as in the programs but go nowhere.
class DiscardBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// The scratch folder is made, stocked and entered by LLVMFuzzerInitialize
// (harness.cpp), which every target shares.

// Runs fn with the throwing fatal handler; a refusal is an expected end.
template <class F>
void runRefusable(F&& fn) {
  const ScopedFatalHandler scoped(throwFatalError);
  try {
    fn();
  } catch (const FatalError&) {
  }
}

// Runs fn(in, out) on the input as a parameter file: in reads the text, out
// drops what is written to it. Returns the fuzzer's verdict: -1 (not to be
// kept) for a text that names a path outside the scratch folder, else 0.
template <class F>
int runParameterText(const std::uint8_t* data, std::size_t size, F&& fn) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('/') != std::string::npos) return -1;
  DiscardBuffer discard;
  std::ostream out(&discard);
  runRefusable([&] {
    std::istringstream in(text);
    fn(in, out);
  });
  return 0;
}

}  // namespace wind::fuzz
