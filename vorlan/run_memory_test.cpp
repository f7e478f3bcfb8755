// A run that cannot fit is refused before any file exists, with both figures.
#include "simulation/run_memory.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support.hpp"
#include "vorlan/command_line.hpp"

using namespace wind;
namespace fs = std::filesystem;
using ::testing::ExitedWithCode;

namespace {

void runIn(const fs::path& dir, std::vector<const char*> args) {
  fs::current_path(dir);
  args.insert(args.begin(), "vorlan");
  std::ostringstream echo, listing;
  runVorlan(int(args.size()), args.data(), SimulatorSteps{}, echo, listing);
}

}  // namespace

TEST(RunMemoryDeathTest, ARunLargerThanTheMachineIsRefusedBeforeAnyFile) {
  const fs::path dir = wind::testing::freshDir("vorlan_memory");
  // 2^30 x 2^10 x 2^10 points of three components: 12 2^50 bytes, 1.26e7 GiB.
  std::ofstream(dir / "huge.inp") << "3\n3\n1073741824 1024 1024\n4096 200 200\nbasic\n"
                                     "0.1 33.6 3.9\n-1\nu.bin v.bin w.bin\n";
  EXPECT_EXIT(runIn(dir, {"huge.inp"}), ExitedWithCode(1),
              "The run needs 1\\.26e\\+07 GiB of memory \\(fields and working arrays\\), the "
              "machine has [0-9.e+]+ GiB \\(");
  EXPECT_FALSE(fs::exists(dir / "u.bin"));
}

TEST(RunMemoryDeathTest, TheAddressSpaceLimitCountsAsWhatTheMachineHas) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator aborts where the heap would refuse";
#else
  const fs::path dir = wind::testing::freshDir("vorlan_memory_limit");
  // 128^3 points of three components: 24 MiB of fields, 0.0234 GiB, against
  // 16 MiB of address space to spare, 0.0156 GiB.
  std::ofstream(dir / "box.inp") << "3\n3\n128 128 128\n100 100 100\nbasic\n0.1 33.6 3.9\n-1\n"
                                    "u.bin v.bin w.bin\n";
  EXPECT_EXIT(
      {
        wind::testing::limitAddressSpace(16.0 * 1024 * 1024);
        runIn(dir, {"--threads", "1", "box.inp"});
      },
      ExitedWithCode(1),
      "The run needs 0\\.02[45][0-9]* GiB of memory \\(fields and working arrays\\), the machine "
      "has 0\\.015[0-9]* GiB \\(ulimit -v\\)");
  EXPECT_FALSE(fs::exists(dir / "u.bin"));
#endif
}
