// Whole simulator runs of three-dimensional fields through the real engine
// dispatch: the files hold exactly the fields that the engine makes from the
// run's grid, model, seed and wave-number limits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "synthesis/turb3d.hpp"
#include "tests/support.hpp"
#include "vorlan/command_line.hpp"

using namespace wind;
using ::testing::ExitedWithCode;
namespace fs = std::filesystem;

namespace {

using wind::testing::readFloats;

fs::path freshDir(const std::string& name) {
  return wind::testing::freshDir("vorlan_turb3d_" + name);
}

[[noreturn]] void runIn(const fs::path& dir, const char* input) {
  if (chdir(dir.c_str()) != 0) std::exit(99);
  const char* argv[] = {"vorlan", input};
  std::exit(runVorlan(2, argv, SimulatorSteps{}, std::cerr));
}

// The fields of turb3d called directly, flattened per component.
std::vector<std::vector<float>> direct(int ncomp, std::vector<int> comps, const TensorModel& model,
                                       BoxGrid grid, int seed, Vector3 lim) {
  std::array<F3tensor, 3> f;
  for (int c = 0; c < ncomp; ++c) f[std::size_t(c)] = f3tensor(1, grid.N1, 1, grid.N2, 1, grid.N3);
  turb3d(std::span<F3tensor>(f.data(), std::size_t(ncomp)),
         {comps, model, grid, lim, Turb3dSlabStart::atSeed(seed)});
  std::vector<std::vector<float>> out;
  for (int c = 0; c < ncomp; ++c)
    out.emplace_back(f[std::size_t(c)].data(), f[std::size_t(c)].data() + f[std::size_t(c)].size());
  return out;
}

}  // namespace

TEST(Turb3dRun, CubeGivesZeroLimitsAndTheEngineFields) {
  const fs::path dir = freshDir("cube");
  std::ofstream(dir / "cube.inp")
      << "3 3 4 4 4\n64 64 64\nbasic\n0.1 30 3.9\n-3\nu.bin v.bin w.bin\n";
  EXPECT_EXIT(runIn(dir, "cube.inp"), ExitedWithCode(0),
              wind::testing::literal(" LimNormK (0,0,0)\nu.bin\nv.bin\nw.bin\n"));
  const auto expected =
      direct(3, {0, 1, 2}, {0.1f, 30.0f, 3.9f}, {4, 4, 4, Vector3(64.0f)}, -3, Vector3(0.0f));
  const char* names[] = {"u.bin", "v.bin", "w.bin"};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(fs::file_size(dir / names[c]), 256u) << names[c];
    EXPECT_EQ(readFloats(dir / names[c]), expected[std::size_t(c)]) << names[c];
  }
}

TEST(Turb3dRun, UnequalBoxPassesItsLimitsAndComponentToTheEngine) {
  const fs::path dir = freshDir("box");
  std::ofstream(dir / "box.inp") << "3 1 3 8 4 4\n100 100 200\nbasic\n0.1 30 3.9\n-5\nw.bin\n";
  EXPECT_EXIT(runIn(dir, "box.inp"), ExitedWithCode(0),
              wind::testing::literal(" LimNormK (3,3.76991,1.88496)\nw.bin\n"));
  // 4 pi L / LMax_d with the single-precision 2 pi, in long double.
  const long double twoPi = 6.2831854820251465L;
  const Vector3 lim(3.0f, float(2.0L * twoPi * 30.0L / 100.0L),
                    float(2.0L * twoPi * 30.0L / 200.0L));
  const auto expected =
      direct(1, {2}, {0.1f, 30.0f, 3.9f}, {8, 4, 4, Vector3(100.0f, 100.0f, 200.0f)}, -5, lim);
  EXPECT_EQ(fs::file_size(dir / "w.bin"), 4u * 8 * 4 * 4);
  EXPECT_EQ(readFloats(dir / "w.bin"), expected[0]);
}
