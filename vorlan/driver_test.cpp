#include "record/run_record.hpp"
#include "vorlan/command_line.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "support/fatal_error.hpp"
#include "tests/support.hpp"

using namespace wind;
using ::testing::ExitedWithCode;
using wind::testing::fatalReport;
using wind::testing::literal;
namespace fs = std::filesystem;

namespace {

using wind::testing::readFloats;
using wind::testing::readText;
using wind::testing::folderNames;
using wind::testing::writeText;

// A fresh directory for one test.
fs::path freshDir(const std::string& name) {
  return wind::testing::freshDir("vorlan_driver_" + name);
}

// Code of component c at a grid point: exact in float for the sizes used here.
float code(int c, int i, int j = 0, int k = 0) {
  return static_cast<float>(1000 * (c + 1) + 100 * i + 10 * j + k);
}

// A stand-in engine that writes the code of each point into every array.
void fillWithCodes(const SimulationInput& in, const Vector3&, const UpstreamTables&, FieldArrays& f) {
  for (int c = 0; c < in.nComp; ++c) {
    if (in.fieldDim == 1)
      for (int i = 1; i <= in.NPoint[0]; ++i) f.line[c][i] = code(c, i);
    if (in.fieldDim == 2)
      for (int i = 1; i <= in.NPoint[0]; ++i)
        for (int j = 1; j <= in.NPoint[1]; ++j) f.plane[c][i][j] = code(c, i, j);
    if (in.fieldDim == 3)
      for (int i = 1; i <= in.NPoint[0]; ++i)
        for (int j = 1; j <= in.NPoint[1]; ++j)
          for (int k = 1; k <= in.NPoint[2]; ++k) f.box[c](i, j, k) = code(c, i, j, k);
  }
}

const SimulatorSteps kFakeEngine{noSourceStep, fillWithCodes};

// Runs the program in dir with the given arguments; exits with its status.
[[noreturn]] void runIn(const fs::path& dir, std::vector<const char*> args,
                        const SimulatorSteps& steps = kFakeEngine) {
  if (chdir(dir.c_str()) != 0) std::exit(99);
  args.insert(args.begin(), "vorlan");
  std::exit(runVorlan(static_cast<int>(args.size()), args.data(), steps, std::cerr));
}

}  // namespace

TEST(Driver, ThreeDimensionalFilesHoldTheLastIndexFastest) {
  const fs::path dir = freshDir("box");
  writeText(dir / "box.inp", "3 3 4 4 4\n64 64 64\nbasic\n0.1 30 3.9\n-1\nu.bin v.bin w.bin\n");
  EXPECT_EXIT(runIn(dir, {"box.inp"}), ExitedWithCode(0),
              literal("strlen  5  line specifying ParameterSource: basic\nseed -1\n"
                      "fname[i] u.bin\nfname[i] v.bin\nfname[i] w.bin\n"
                      "Field dim and number of components: 3 3\nField size\nNPoint  4 4 4 \n"
                      "LMax    64 64 64 \nGamma  3.9  L 30  alphaeps 0.1\n Seed: -1\n"
                      " LimNormK (0,0,0)\nu.bin\nv.bin\nw.bin\n"));
  const char* names[] = {"u.bin", "v.bin", "w.bin"};
  for (int c = 0; c < 3; ++c) {
    ASSERT_EQ(fs::file_size(dir / names[c]), 256u) << names[c];
    const std::vector<float> v = readFloats(dir / names[c]);
    for (int i = 1; i <= 4; ++i)
      for (int j = 1; j <= 4; ++j)
        for (int k = 1; k <= 4; ++k) {
          const int offset = 4 * ((i - 1) * 16 + (j - 1) * 4 + (k - 1));
          ASSERT_EQ(v[offset / 4], code(c, i, j, k)) << names[c] << " at " << i << j << k;
        }
  }
}

TEST(Driver, TwoAndOneDimensionalFileLayouts) {
  const fs::path dir = freshDir("plane");
  writeText(dir / "plane.inp", "2 1 3 1 8 2\n100 50\nbasic\n0.1 30 3.9\n-1\nw.bin\n");
  EXPECT_EXIT(runIn(dir, {"plane.inp"}), ExitedWithCode(0), "");
  const std::vector<float> m = readFloats(dir / "w.bin");
  ASSERT_EQ(m.size(), 16u);
  EXPECT_EQ(m[0], code(0, 1, 1));
  EXPECT_EQ(m[1], code(0, 1, 2));
  EXPECT_EQ(m[2], code(0, 2, 1));
  EXPECT_EQ(m[15], code(0, 8, 2));

  writeText(dir / "line.inp", "1 2 2 1 2\n10\nbasic\n0.1 30 3.9\n-1\nv.bin u.bin\n");
  EXPECT_EXIT(runIn(dir, {"line.inp"}), ExitedWithCode(0), "");
  EXPECT_EQ(fs::file_size(dir / "v.bin"), 8u);
  EXPECT_EQ(readFloats(dir / "u.bin"), (std::vector<float>{code(1, 1), code(1, 2)}));
}

TEST(Driver, InputFileNameFromTheCommandLine) {
  // The default "c:/Temp/sim.inp" is a relative path on this system.
  const fs::path dir = freshDir("default");
  writeText(dir / "c:/Temp/sim.inp", "1 1 1 2 10\nbasic\n0.1 30 3.9\n-1\nd.bin\n");
  writeText(dir / "given.inp", "1 1 1 2 10\nbasic\n0.1 30 3.9\n-1\ng.bin\n");
  EXPECT_EXIT(runIn(dir, {}), ExitedWithCode(0), "fname\\[i\\] d\\.bin");
  EXPECT_EXIT(runIn(dir, {"given.inp", "extra"}), ExitedWithCode(0), "fname\\[i\\] d\\.bin");
  EXPECT_EXIT(runIn(dir, {"given.inp"}), ExitedWithCode(0), "fname\\[i\\] g\\.bin");
  EXPECT_EXIT(runIn(dir, {"missing.inp"}), ExitedWithCode(1),
              fatalReport("Could not open file (in vorlan): missing.inp: No such file or "
                          "directory"));
  fs::remove_all(dir / "c:");
  EXPECT_EXIT(runIn(dir, {"given.inp", "extra"}), ExitedWithCode(1),
              fatalReport("Could not open file (in vorlan): c:/Temp/sim.inp: No such file or "
                          "directory (vorlan takes one parameter file; given 2: given.inp extra, "
                          "it reads the default c:/Temp/sim.inp)"));
  fs::create_directories(dir / "c:");
  EXPECT_EXIT(runIn(dir, {"c:"}), ExitedWithCode(1),
              fatalReport("Could not open file (in vorlan): c:: Is a directory"));
  const std::string longName(256, 'n');
  EXPECT_EXIT(runIn(dir, {longName.c_str()}), ExitedWithCode(1),
              fatalReport("The input file name is longer than 255 characters"));
}

// An engine whose box holds a NaN or an infinity (what overflowing values of
// the model or the series gave): the run ends naming the component, and no
// file of it appears, whatever the format.
void spoilW(const SimulationInput& in, const Vector3& lim, const UpstreamTables& t, FieldArrays& f) {
  fillWithCodes(in, lim, t, f);
  f.box[in.nComp - 1](2, 1, 1) = std::numeric_limits<float>::infinity();
}

TEST(Driver, NoRunCommitsABoxThatIsNotFinite) {
  const fs::path dir = freshDir("finite");
  writeText(dir / "b.inp", "3 3\n4 4 4\n8 8 8\niec\nA 11.4 90\n-1\nu.bin v.bin w.bin\n");
  const SimulatorSteps spoiled{noSourceStep, spoilW};
  const std::string report = fatalReport(
      "The box's w component holds values that are not finite numbers (its mean is inf): the "
      "model's values on this grid (NPoint 4 4 4, LMax 8 8 8) leave single precision; nothing "
      "was written. Check the box's lengths (in metres) and the source's values");
  EXPECT_EXIT(runIn(dir, {"b.inp"}, spoiled), ExitedWithCode(1), report);
  EXPECT_EXIT(runIn(dir, {"b.inp", "--seeds", "-2"}, spoiled), ExitedWithCode(1), report);
  EXPECT_EXIT(runIn(dir, {"b.inp", "--format", "wnd"}, spoiled), ExitedWithCode(1),
              "w holds a value that is not a finite number");
  EXPECT_EQ(folderNames(dir), std::vector<std::string>{"b.inp"});
  EXPECT_EXIT(runIn(dir, {"b.inp"}), ExitedWithCode(0), "");
}

// The guard reads the whole record: a figure that is not finite anywhere in
// it (here the hub's) ends the run before the commit.
TEST(Driver, ARecordFigureThatIsNotFiniteIsNamed) {
  SimulationInput in;
  in.fieldDim = 1;
  in.nComp = 1;
  in.NPoint[0] = 2;
  in.LMax[0] = 2.0f;
  in.fname[0] = "u.bin";
  RunDescription run;
  run.statistics[0] = ComponentStatistics{2, 0.5, 0.25, 0.25, 0.75};
  EXPECT_EQ(wind::testing::fatalMessage([&] { checkFiniteRun(in, run); }), "");
  HandOver h;
  h.placement = GridPlacement{};
  run.handOver = &h;
  run.handed.hub = HubFigures{};
  run.handed.hub->nComp = 1;
  run.handed.hub->std[0] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(wind::testing::fatalMessage([&] { checkFiniteRun(in, run); }),
            "The run's hub.std[0] is nan, not a finite number: the model's values on this grid "
            "(NPoint 2, LMax 2) leave single precision; nothing was written. Check the box's "
            "lengths (in metres) and the source's values");
}

TEST(Driver, ARunThatFailsLeavesTheEarlierRunsFilesByteForByte) {
  const fs::path dir = freshDir("rerun");
  const std::string head = "1 2 1 2 8 10\nbasic\n0.1 30 3.9\n-1\n";
  writeText(dir / "a.inp", head + "first.bin second.bin\n");
  writeText(dir / "b.inp", head + "first.bin no/such/dir.bin\n");
  writeText(dir / "c.inp", head + "first.bin " + std::string(256, 'f') + "\n");
  EXPECT_EXIT(runIn(dir, {"a.inp"}), ExitedWithCode(0), "");
  const std::vector<std::string> before = folderNames(dir);
  ASSERT_EQ(before, (std::vector<std::string>{"a.inp", "b.inp", "c.inp", "first.bin",
                                              "first.bin.json", "second.bin"}));
  std::vector<std::string> contents;
  for (const std::string& name : before) contents.push_back(readText(dir / name));
  const auto unchanged = [&] {
    EXPECT_EQ(folderNames(dir), before) << "a file appeared or vanished";
    for (std::size_t i = 0; i < before.size(); ++i)
      EXPECT_EQ(readText(dir / before[i]), contents[i]) << before[i];
  };

  // The second name cannot be created: its name ends the echo's line, and the
  // report says why.
  EXPECT_EXIT(runIn(dir, {"b.inp"}), ExitedWithCode(1),
              literal("fname[i] no/such/dir.bin\nno/such/dir.bin\n") +
                  fatalReport("Could not open output file no/such/dir.bin: No such file or "
                              "directory"));
  unchanged();

  // A failure inside the engine, after both files and the record were begun.
  const SimulatorSteps failing{noSourceStep,
                               [](const SimulationInput&, const Vector3&, const UpstreamTables&,
                                  FieldArrays&) {
                                 fatalError("engine failed");
                               }};
  EXPECT_EXIT(runIn(dir, {"a.inp"}, failing), ExitedWithCode(1), fatalReport("engine failed"));
  unchanged();

  EXPECT_EXIT(runIn(dir, {"c.inp"}), ExitedWithCode(1),
              fatalReport("The output file name is longer than 255 characters"));
  unchanged();
}

TEST(Driver, FailedWritesAreReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  const fs::path dir = freshDir("full");
  // A small field fits the stream's buffer: the loss shows when the file is closed.
  writeText(dir / "small.inp", "1 1 1 2 10\nbasic\n0.1 30 3.9\n-1\n/dev/full\n");
  EXPECT_EXIT(runIn(dir, {"small.inp"}), ExitedWithCode(1),
              fatalReport("Could not write output file /dev/full: No space left on device"));
  // A large one fails on the write itself.
  writeText(dir / "large.inp", "1 1 1 65536 10\nbasic\n0.1 30 3.9\n-1\n/dev/full\n");
  EXPECT_EXIT(runIn(dir, {"large.inp"}), ExitedWithCode(1),
              fatalReport("Could not write output file /dev/full: No space left on device"));
}

// The real dispatch, run in a child process so that chdir stays there.
TEST(DriverDeathTest, KaimalLineRunsEndToEndWithItsListing) {
  const fs::path dir = freshDir("kaimal");
  // The worked one-component case: N1 = 4, L1 = 4 m, ustar = 1 m/s, z = 10 m, seed -1.
  writeText(dir / "k.inp", "1 1 1 4 4\nKaimal1d\n1 10 12\n-1\nu.bin\n");
  const auto runWithListing = [&dir] {
    if (chdir(dir.c_str()) != 0) std::exit(99);
    const char* argv[] = {"vorlan", "k.inp"};
    std::ostringstream listing, echo;
    runVorlan(2, argv, SimulatorSteps{}, echo, listing);
    std::cerr << listing.str();
    std::exit(0);
  };
  EXPECT_EXIT(runWithListing(),
      ExitedWithCode(0), literal("-0.339476\n-0.0698866\n0.339476\n0.0698866\n"));
  const std::vector<float> u = readFloats(dir / "u.bin");
  ASSERT_EQ(u.size(), 4u);
  EXPECT_NEAR(u[0], -0.339476f, 1e-6);
  EXPECT_NEAR(u[1], -0.069887f, 1e-6);
}

TEST(Driver, KaimalListingHoldsTheComponentsThatExist) {
  FieldArrays f;
  f.fieldDim = 1;
  f.nComp = 2;
  f.line[0] = vector(1, 3);
  f.line[1] = vector(1, 3);
  for (int i = 1; i <= 3; ++i) {
    f.line[0][i] = 0.5f * static_cast<float>(i);
    f.line[1][i] = -1.0f / 3.0f * static_cast<float>(i);
  }
  std::ostringstream out;
  printKaimalListing(f, out);
  EXPECT_EQ(out.str(), "0.5 -0.333333\n1 -0.666667\n1.5 -1\n");
}

TEST(DriverDeathTest, PlaneSourcesChooseTheirEngines) {
  const fs::path dir = freshDir("planes");
  // Same grid, two sources: the tensor-model engine and the isotropic one.
  writeText(dir / "s.inp", "2 2 1 2 3 8 8 100 100\nbasic\n0.1 30 3.9\n-5\na.bin b.bin\n");
  writeText(dir / "i.inp", "2 2 1 2 3 8 8 100 100\n2D\n1.5 20\n-5\nc.bin d.bin\n");
  for (const char* name : {"s.inp", "i.inp"})
    EXPECT_EXIT(runIn(dir, {name}, SimulatorSteps{}), ExitedWithCode(0), "") << name;
  const auto a = readFloats(dir / "a.bin"), c = readFloats(dir / "c.bin");
  ASSERT_EQ(a.size(), 64u);
  ASSERT_EQ(c.size(), 64u);
  EXPECT_NE(a, c);
  // Each engine leaves zero mean; a field that is all zero would pass that too.
  double sa = 0, sc = 0, qa = 0;
  for (std::size_t i = 0; i < 64; ++i) {
    sa += a[i];
    sc += c[i];
    qa += double(a[i]) * a[i];
  }
  EXPECT_NEAR(sa / 64, 0.0, 1e-5);
  EXPECT_NEAR(sc / 64, 0.0, 1e-5);
  EXPECT_GT(qa, 0.0);
}

TEST(Driver, OutputNamesThatWouldDestroyDataAreRefusedBeforeAnythingIsWritten) {
  const fs::path dir = freshDir("clobber");
  const std::string head = "1 2 1 2 8 10\nbasic\n0.1 30 3.9\n-1\n";

  // One file under two spellings: the second component would replace the first.
  writeText(dir / "twice.inp", head + "keep.bin ./sub/../keep.bin\n");
  fs::create_directories(dir / "sub");
  writeText(dir / "keep.bin", "precious");
  EXPECT_EXIT(runIn(dir, {"twice.inp"}), ExitedWithCode(1),
              fatalReport("The output files keep.bin and ./sub/../keep.bin are the same file"));
  EXPECT_EQ(fs::file_size(dir / "keep.bin"), 8u) << "the existing file was truncated";

  // The parameter file itself, named by another path, is left intact.
  const std::string self = head + "other.bin ../" + dir.filename().string() + "/self.inp\n";
  writeText(dir / "self.inp", self);
  EXPECT_EXIT(runIn(dir, {"self.inp"}), ExitedWithCode(1),
              fatalReport("The output file ../" + dir.filename().string() +
                          "/self.inp is the parameter file self.inp"));
  EXPECT_EQ(fs::file_size(dir / "self.inp"), self.size());
  EXPECT_FALSE(fs::exists(dir / "other.bin")) << "nothing is created before the check";

  // A hard link is the same file although the names differ.
  fs::create_hard_link(dir / "keep.bin", dir / "link.bin");
  writeText(dir / "link.inp", head + "keep.bin link.bin\n");
  EXPECT_EXIT(runIn(dir, {"link.inp"}), ExitedWithCode(1),
              fatalReport("The output files keep.bin and link.bin are the same file"));

  // The terrain file being read (the stand-in source step does not open it).
  writeText(dir / "hill.dat", "terrain rows");
  writeText(dir / "terrain.inp",
            "3 1 1 2 2 2\n10 10 10\nterrain\nhill.dat\n1\ntrue\ntrue\n0\n-1\n./hill.dat\n");
  EXPECT_EXIT(runIn(dir, {"terrain.inp"}), ExitedWithCode(1),
              fatalReport("The output file ./hill.dat is the terrain file hill.dat"));
  EXPECT_EQ(fs::file_size(dir / "hill.dat"), 12u);

  // The run record beside the first output would replace the second output.
  writeText(dir / "a.bin.json", "precious");
  writeText(dir / "record.inp", head + "a.bin a.bin.json\n");
  EXPECT_EXIT(runIn(dir, {"record.inp"}), ExitedWithCode(1),
              fatalReport("The run record a.bin.json would overwrite the output file a.bin.json"));
  EXPECT_EQ(fs::file_size(dir / "a.bin.json"), 8u);

  // Distinct files, and a device written twice, are fine.
  writeText(dir / "fine.inp", head + "/dev/null /dev/null\n");
  EXPECT_EXIT(runIn(dir, {"fine.inp"}), ExitedWithCode(0), "");
  EXPECT_FALSE(fs::exists("/dev/null.json")) << "no record beside a device";
}

TEST(Driver, OneFileUnderTwoSpellingsIsRefusedBeforeItExists) {
  const fs::path dir = freshDir("spellings");
  fs::create_directories(dir / "sub");
  const std::string head = "1 2 1 2 8 10\nbasic\n0.1 30 3.9\n-1\n";
  const std::string absolute = fs::canonical(dir).string() + "/a.bin";
  const std::pair<std::string, std::string> cases[] = {
      {"a.bin ./a.bin", "The output files a.bin and ./a.bin are the same file"},
      {"a.bin " + absolute, "The output files a.bin and " + absolute + " are the same file"},
      {"sub/../a.bin a.bin", "The output files sub/../a.bin and a.bin are the same file"},
      {"a.bin ./a.bin.json",
       "The run record a.bin.json would overwrite the output file ./a.bin.json"}};
  for (const auto& [names, message] : cases) {
    writeText(dir / "p.inp", head + names + "\n");
    EXPECT_EXIT(runIn(dir, {"p.inp"}), ExitedWithCode(1), fatalReport(message)) << names;
    EXPECT_EQ(folderNames(dir), (std::vector<std::string>{"p.inp", "sub"})) << names;
  }
}

TEST(Driver, AFileUnderTheRecordsNameIsReplacedOnlyWhenItIsARunRecord) {
  const fs::path dir = freshDir("foreign");
  writeText(dir / "p.inp", "1 1 1 2 8\nbasic\n0.1 30 3.9\n-1\nresults\n");
  writeText(dir / "results.json", "{\"hand\": \"made\"}\n");
  EXPECT_EXIT(runIn(dir, {"p.inp"}), ExitedWithCode(1),
              fatalReport("The run record would replace results.json, which is not a vorlan "
                          "run record"));
  EXPECT_EQ(readText(dir / "results.json"), "{\"hand\": \"made\"}\n");
  EXPECT_EQ(folderNames(dir), (std::vector<std::string>{"p.inp", "results.json"}));

  // A record of an earlier run (reformatted by hand, its first key kept) is replaced.
  writeText(dir / "results.json", "{ \"record\" :\n\"vorlan run record\", \"old\": 1}");
  EXPECT_EXIT(runIn(dir, {"p.inp"}), ExitedWithCode(0), "");
  EXPECT_EQ(readText(dir / "results.json").find("\"old\""), std::string::npos);
  EXPECT_EQ(fs::file_size(dir / "results"), 8u);
}

// Names are bytes: a folder, a parameter file and outputs whose names are not
// UTF-8 run to the end, and the record keeps each stray byte as \udcXX.
TEST(Driver, NamesThatAreNotUtf8AreKeptInTheRecord) {
  const fs::path dir = freshDir("bytes") / "run_\xe9t\xe9";
  writeText(dir / "p\xe9.inp",
            "1 2 1 2 8 10\nbasic\n0.1 30 3.9\n-1\nwind_\xe9.bin v\xff\xfe.bin\n");
  EXPECT_EXIT(runIn(dir, {"p\xe9.inp"}), ExitedWithCode(0), "");
  EXPECT_EQ(fs::file_size(dir / "v\xff\xfe.bin"), 32u);
  const std::string record = readText(dir / "wind_\xe9.bin.json");
  for (const char* text : {"\"parameter_file\": \"p\\udce9.inp\"", "run_\\udce9t\\udce9\"",
                           "\"file\": \"v\\udcff\\udcfe.bin\"", "\"path\": \"wind_\\udce9.bin\""})
    EXPECT_NE(record.find(text), std::string::npos) << text << " in\n" << record;
}
