// vorlan --seeds: one parameter file, several seeds; each seed's files are
// those of a plain run with that seed, whether the amplitudes were kept
// between seeds or not.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support.hpp"
#include "vorlan/command_line.hpp"
#include "vorlan/command_line.hpp"

using namespace wind;
namespace fs = std::filesystem;
using wind::testing::fatalMessage;
using wind::testing::readFloats;

namespace {

// Runs vorlan in dir with the given arguments; returns the echo.
std::string runIn(const fs::path& dir, std::vector<const char*> args) {
  const fs::path old = fs::current_path();
  fs::current_path(dir);
  args.insert(args.begin(), "vorlan");
  std::ostringstream echo, listing;
  runVorlan(int(args.size()), args.data(), SimulatorSteps{}, echo, listing);
  fs::current_path(old);
  return echo.str();
}

}  // namespace

TEST(Seeds, EachSeedWritesThePlainRunOfThatSeedWithItsOwnRecord) {
  const fs::path dir = wind::testing::freshDir("vorlan_seeds");
  // 32 x 16 x 8 with unequal lengths: the three-dimensional engine on a team,
  // with cell integrals, and a two-component run.
  const std::string grid = "3 2 1 3 32 16 8\n1800 60 80\nbasic\n0.1 30 3.9\n";
  std::ofstream(dir / "many.inp") << grid << "-1\nout/u.bin out/w\n";
  fs::create_directories(dir / "out");
  const std::string echo = runIn(dir, {"many.inp", "--seeds", "-7,-2:-3"});

  // The echo of a plain run once (the file's names and seed), then a line
  // per seed, each followed by the seed's run summary.
  EXPECT_NE(echo.find("fname[i] out/u.bin\nfname[i] out/w\n"), std::string::npos);
  EXPECT_NE(echo.find(" Seed: -1\n"), std::string::npos);
  std::size_t at = 0;
  for (const char* seed : {"7", "2", "3"}) {
    const std::string s(seed);
    at = echo.find("Seed -" + s + ": out/u_seed" + s + ".bin out/w_seed" + s +
                   "\nvorlan run summary: many.inp, seed -" + s + "\n", at);
    EXPECT_NE(at, std::string::npos) << s << "\n" << echo;
  }
  EXPECT_FALSE(fs::exists(dir / "out/u.bin"));

  for (const long seed : {-7L, -2L, -3L}) {
    const std::string s = std::to_string(-seed);
    std::ofstream(dir / ("one" + s + ".inp")) << grid << seed << "\np" << s << "u p" << s << "w\n";
    runIn(dir, {("one" + s + ".inp").c_str()});
    EXPECT_EQ(readFloats(dir / ("out/u_seed" + s + ".bin")), readFloats(dir / ("p" + s + "u")))
        << seed;
    EXPECT_EQ(readFloats(dir / ("out/w_seed" + s)), readFloats(dir / ("p" + s + "w"))) << seed;
    // The record names the seed and its own files.
    std::ifstream record(dir / ("out/u_seed" + s + ".bin.json"));
    const std::string text((std::istreambuf_iterator<char>(record)), {});
    EXPECT_NE(text.find("u_seed" + s + ".bin\""), std::string::npos) << text;
    EXPECT_NE(text.find(std::to_string(seed)), std::string::npos);
  }
}

TEST(Seeds, SeedsFollowTheRuleOfTheFileSeedAndNameTheirFiles) {
  EXPECT_EQ(fatalMessage([] { parseSeedList("-1,0"); }),
            "--seeds: 0 is not a seed (a negative integer, at least -2147483648)");
  EXPECT_EQ(fatalMessage([] { parseSeedList("-2147483649"); }),
            "--seeds: -2147483649 is not a seed (a negative integer, at least -2147483648)");
  EXPECT_EQ(parseSeedList("-2147483648").front(), -2147483648L);

  EXPECT_EQ(seededFileName("box_u.bin", -1), "box_u_seed1.bin");
  EXPECT_EQ(seededFileName("run.1/u", -12), "run.1/u_seed12");
  EXPECT_EQ(seededFileName("a.b.c", -3), "a.b_seed3.c");
  EXPECT_EQ(seededFileName(".u", -3), ".u_seed3");
  EXPECT_EQ(seededFileName("d/.u", -3), "d/.u_seed3");
}
