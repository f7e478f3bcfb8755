// The run sequence as a library caller drives it, with no command line and no
// parameter file: the runs it prepares, the names it refuses, and the files it
// writes, the same as vorlan's for the same values.
#include "runner/driver.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "simulation/output_files.hpp"
#include "tests/support.hpp"

namespace wind {
namespace {

namespace fs = std::filesystem;
using testing::fatalMessage;

const char* const kBox = "3 3\n16 8 4\n64 30 9\nbasic\n0.1 30 3.9\n-3\nu.bin v.bin w.bin\n";

PreparedRuns fromText(const std::string& text, const RunOptions& options) {
  PreparedRuns p;
  p.options = options;
  std::istringstream in(text);
  std::ostringstream echo;
  readParameters(p, in, parameterSourceStep, echo);
  return p;
}

TEST(RunSequence, ACallersRunWritesWhatTheParameterFilesRunWrites) {
  const fs::path dir = testing::freshDir("runner_sequence");
  const fs::path home = fs::current_path();
  fs::current_path(dir);
  testing::writeText("box.inp", kBox);
  RunOptions fromFile;
  fromFile.inputFile = "box.inp";
  PreparedRuns p;
  p.options = fromFile;
  std::ostringstream echo, listing;
  readParameterFile(p, parameterSourceStep, echo);
  runSimulation(p, SimulatorSteps{}, echo, listing);
  std::vector<std::vector<float>> written;
  for (const char* f : {"u.bin", "v.bin", "w.bin"}) written.push_back(testing::readFloats(f));

  RunOptions seeded;
  seeded.inputFile = "box.inp";
  seeded.seeds = {-3, -4};
  PreparedRuns q = fromText(kBox, seeded);
  runSimulation(q, SimulatorSteps{}, echo, listing);
  EXPECT_EQ(testing::readFloats("u_seed3.bin"), written[0]);
  EXPECT_EQ(testing::readFloats("w_seed3.bin"), written[2]);
  EXPECT_NE(testing::readFloats("w_seed4.bin"), written[2]);
  EXPECT_TRUE(fs::exists("u_seed4.bin.json"));
  fs::current_path(home);
}

TEST(RunSequence, NamesThatWouldDestroyWhatTheRunReadsAreRefused) {
  RunOptions o;
  o.inputFile = "t.inp";
  PreparedRuns p = fromText(kBox, o);
  prepareRuns(p, {.memory = false, .names = false});
  EXPECT_EQ(fatalMessage([&] { checkRunNames(p.runs, "t.inp", p.handOver, "v.bin"); }),
            "The output file v.bin is the constraint file v.bin");
  EXPECT_EQ(fatalMessage([&] { checkRunNames(p.runs, "w.bin", p.handOver); }),
            fatalMessage([&] { checkOutputNames(p.input.fname, 3, "w.bin", ""); }));
}

}  // namespace
}  // namespace wind
