// The library's public face as a caller without a command line uses it: a box
// in memory is the box vorlan writes, bit for bit; its blocks can be taken
// with no copy; failures come back as the programs' messages.
#include "windfield/box.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/threads.hpp"
#include "tests/support.hpp"
#include "windfield/errors.hpp"

namespace wind {
namespace {

namespace fs = std::filesystem;

// A small non-cubic iec box and its names.
const char* const kIecBox = "3 3\n16 8 4\n64 30 9\niec\nA 11.4 90\n-7\nb_u.bin b_v.bin b_w.bin\n";

PreparedRuns readText(const char* text, const RunOptions& options) {
  PreparedRuns p;
  p.options = options;
  std::istringstream in(text);
  std::ostringstream echo;
  readParameters(p, in, parameterSourceStep, echo);
  return p;
}

TEST(BoxInMemory, IsTheBoxVorlanWritesForTheSameOptions) {
  const fs::path dir = testing::freshDir("windfield_box");
  const fs::path home = fs::current_path();
  fs::current_path(dir);
  RunOptions options;
  options.scaleIec = true;
  options.layout = OutputLayout::inflowwind;
  for (const int threads : {1, 3}) {
    options.threads = threads;
    PreparedRuns written = readText(kIecBox, options);
    std::ostringstream echo, listing;
    runSimulation(written, SimulatorSteps{}, echo, listing);
    PreparedRuns inMemory = readText(kIecBox, options);
    Box box = synthesiseBox(inMemory);
    for (int c = 0; c < 3; ++c) {
      const std::vector<float> file = testing::readFloats(written.input.fname[c]);
      const std::span<const float> mine = box.fields.values(c);
      ASSERT_EQ(file.size(), mine.size());
      EXPECT_EQ(std::memcmp(file.data(), mine.data(), 4 * file.size()), 0)
          << "component " << c << " on " << threads << " threads";
    }
    ASSERT_TRUE(box.handed.scaling.has_value());
    EXPECT_GT(box.statistics[0].std, 0.0);
    // The block taken out is the field's own, no copy; the box is left empty.
    const float* before = box.fields.values(2).data();
    const std::unique_ptr<float[], detail::BlockDeleter> w = box.fields.box[2].takeBlock();
    EXPECT_EQ(w.get(), before);
    EXPECT_EQ(box.fields.box[2].size(), 0);
    // Every component in one block: the same bits, component-major, taken
    // out whole with no copy.
    PreparedRuns oneBlock = readText(kIecBox, options);
    SynthesisContext context;
    Box whole = synthesiseBox(oneBlock, context, SimulatorSteps{}, FieldBlocks::one);
    const float* first = whole.fields.values(0).data();
    const std::size_t n = whole.fields.values(0).size();
    for (int c = 0; c < 3; ++c) EXPECT_EQ(whole.fields.values(c).data(), first + c * n);
    EXPECT_EQ(whole.statistics[1].std, box.statistics[1].std);
    const std::unique_ptr<float[], detail::BlockDeleter> all = whole.fields.takeAll();
    ASSERT_EQ(all.get(), first);
    EXPECT_EQ(whole.fields.box[0].size(), 0);
    for (int c = 0; c < 3; ++c) {
      const std::vector<float> file = testing::readFloats(written.input.fname[c]);
      ASSERT_EQ(file.size(), n);
      EXPECT_EQ(std::memcmp(file.data(), all.get() + c * n, 4 * n), 0) << "component " << c;
    }
  }
  fs::current_path(home);
}

TEST(BoxInMemory, RefusalsComeBackAsTheProgramsMessages) {
  EXPECT_EQ(catchFatal([] { readText("3 3\n16 8 6\n64 30 9\niec\nA 11.4 90\n-7\n", {}); }),
            "Number of points in each spatial dimension has to be a power of 2: NPoint = 6 on line 2 "
            "(value 3 of 3) is not one (4 and 8 lie nearest); the file gives NPoint on the line "
            "before LMax, the box lengths");
  RunOptions seeds;
  seeds.seeds = {-1, -2};
  EXPECT_EQ(catchFatal([&] {
              PreparedRuns p = readText(kIecBox, seeds);
              synthesiseBox(p);
            }),
            "A box in memory is one seed at a time: leave the seeds out");
  EXPECT_EQ(catchFatal([] {}), std::nullopt);
}

}  // namespace
}  // namespace wind
