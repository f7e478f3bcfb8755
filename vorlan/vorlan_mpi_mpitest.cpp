// vorlan-mpi against vorlan, on 1 to 4 processes (wind_mpi_tests): rank 0
// runs vorlan in a scratch folder and keeps its files aside, then every rank
// runs vorlan-mpi with the same command line, and rank 0 compares the field
// files byte for byte, the run records (the same but for "program" and
// "processes"), the run summaries and the echo on standard error.
#include <gtest/gtest.h>
#include <mpi.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "distributed/slab_box.hpp"
#include "tests/support.hpp"
#include "vorlan/command_line.hpp"
#include "vorlan/vorlan_mpi.hpp"

using namespace wind;
namespace fs = std::filesystem;

namespace {

struct Comparison {
  std::string name;
  std::string input;                 // the parameter file's text
  std::vector<std::string> vorlanArgs, mpiArgs;
  std::vector<std::string> outputs;  // field files; the first of each run has a record
  std::vector<std::string> records;
};

std::string bytesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<const char*> argvOf(const std::string& program, const std::vector<std::string>& args) {
  std::vector<const char*> argv{program.c_str(), "in.inp"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  return argv;
}

// The run summaries beside the records of a box ("u.bin.json" ->
// "u.bin.summary.txt"); a line or a plane writes none.
std::vector<std::string> summariesOf(const Comparison& c) {
  std::vector<std::string> s;
  if (c.input.rfind("3\n", 0) != 0) return s;
  for (const std::string& r : c.records) s.push_back(r.substr(0, r.size() - 5) + ".summary.txt");
  return s;
}

// Runs the comparison; rank 0 reports every difference.
void compareWithVorlan(const Comparison& c) {
  int rank = 0, ranks = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  const fs::path dir = fs::path(::testing::TempDir()) /
                       ("vorlan_mpi_np" + std::to_string(ranks) + "_" + c.name);
  const fs::path home = fs::current_path();
  std::ostringstream vorlanEcho, mpiEcho, listing;
  if (rank == 0) {
    fs::remove_all(dir);
    fs::create_directories(dir / "examples" );
    fs::copy_file(fs::path(WIND_SOURCE_DIR) / "examples/terrain_hill.dat",
                  dir / "examples/terrain_hill.dat");
    std::ofstream(dir / "in.inp") << c.input;
    fs::current_path(dir);
    const std::vector<const char*> argv = argvOf("vorlan", c.vorlanArgs);
    runVorlan(int(argv.size()), argv.data(), SimulatorSteps{}, vorlanEcho, listing);
    fs::create_directory("vorlan");
    for (const std::string& f : c.outputs) fs::rename(f, fs::path("vorlan") / f);
    for (const std::string& f : c.records) fs::rename(f, fs::path("vorlan") / f);
    for (const std::string& f : summariesOf(c)) fs::rename(f, fs::path("vorlan") / f);
  }
  MPI_Barrier(MPI_COMM_WORLD);
  fs::current_path(dir);
  const std::vector<const char*> argv = argvOf("vorlan-mpi", c.mpiArgs);
  runVorlanMpi(MPI_COMM_WORLD, int(argv.size()), argv.data(), mpiEcho, listing);
  if (rank == 0) {
    for (const std::string& f : c.outputs)
      EXPECT_TRUE(bytesOf(f) == bytesOf(fs::path("vorlan") / f) && fs::file_size(f) > 0)
          << c.name << ": " << f << " on " << ranks << " processes";
    for (const std::string& f : c.records) {
      nlohmann::json mine = nlohmann::json::parse(bytesOf(f));
      nlohmann::json theirs = nlohmann::json::parse(bytesOf(fs::path("vorlan") / f));
      EXPECT_EQ(mine["program"], "vorlan-mpi") << c.name;
      EXPECT_EQ(mine["processes"], ranks) << c.name;
      mine.erase("program");
      mine.erase("processes");
      theirs.erase("program");
      EXPECT_EQ(mine, theirs) << c.name << ": " << f << " on " << ranks << " processes";
    }
    EXPECT_EQ(mpiEcho.str(), vorlanEcho.str()) << c.name;
    for (const std::string& f : summariesOf(c))
      EXPECT_TRUE(bytesOf(f) == bytesOf(fs::path("vorlan") / f) && fs::file_size(f) > 0)
          << c.name << ": " << f << " on " << ranks << " processes";
    // Nothing but the outputs: no temporaries left behind.
    for (const fs::directory_entry& e : fs::directory_iterator("."))
      EXPECT_NE(e.path().filename().string().front(), '.') << c.name << ": " << e.path();
  }
  fs::current_path(home);
  MPI_Barrier(MPI_COMM_WORLD);
}

}  // namespace

// 16 planes on 3 processes (5, 5, 6) and 32 x 8 x 4 with unequal lengths
// (the cell integrals run), two seeds, the inflowwind layout.
TEST(VorlanMpi, NonCubicBoxOfTwoSeedsInTheInflowWindLayout) {
  compareWithVorlan({"seeds",
                     "3\n3\n16 8 4\n100 50 40\nbasic\n0.1 33.6 3.9\n-7\nu.bin v.bin w.bin\n",
                     {"--seeds", "-1:-2", "--layout", "inflowwind"},
                     {"--seeds=-1:-2", "--layout=inflowwind"},
                     {"u_seed1.bin", "v_seed1.bin", "w_seed1.bin", "u_seed2.bin", "v_seed2.bin",
                      "w_seed2.bin"},
                     {"u_seed1.bin.json", "u_seed2.bin.json"}});
}

TEST(VorlanMpi, IecAndTerrainStretchedBoxes) {
  compareWithVorlan({"iec", "3\n3\n8 4 4\n684 124 124\niec\nA 11.4 90\n-1\niu.bin iv.bin iw.bin\n",
                     {}, {}, {"iu.bin", "iv.bin", "iw.bin"}, {"iu.bin.json"}});
  compareWithVorlan({"terrain",
                     "3\n3\n8 8 4\n4096 256 256\nterrain\nexamples/terrain_hill.dat\n2\ntrue\n"
                     "true\n0\n-13\ntu.bin tv.bin tw.bin\n",
                     {}, {}, {"tu.bin", "tv.bin", "tw.bin"}, {"tu.bin.json"}});
}

// The counter stream: vorlan on one thread against vorlan-mpi on 1, 2 and 3
// threads per process (v and w, above the engine's threshold for a team).
TEST(VorlanMpi, CounterStreamOnAnyThreadsAndProcesses) {
  for (const char* threads : {"1", "2", "3"})
    compareWithVorlan({std::string("counter") + threads,
                       "3\n2\n2 3\n32 16 8\n1800 60 80\nbasic\n0.1 30 3.9\n-5\ncv.bin cw.bin\n",
                       {"--random", "counter", "--threads", "1"},
                       {"--random", "counter", "--threads", threads},
                       {"cv.bin", "cw.bin"},
                       {"cv.bin.json"}});
}

TEST(VorlanMpi, LineWrittenByRankZero) {
  compareWithVorlan({"line", "1\n1\n1\n64\n100\nbasic\n0.1 33.6 3.9\n-3\nl.bin\n",
                     {"--layout", "inflowwind"}, {"--layout", "inflowwind"}, {"l.bin"},
                     {"l.bin.json"}});
}

// Both ways of starting the classic stream give every rank the same state,
// that of the stream skipped to its slab's first deviate.
TEST(VorlanMpi, OnePassAndReplayGiveEachSlabItsState) {
  int ranks = 1;
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  SimulationInput in;
  in.fieldDim = 3;
  in.nComp = 2;
  in.NPoint[0] = 8;
  in.NPoint[1] = 4;
  in.NPoint[2] = 4;
  const SlabBox box = allocateSlabBox(in, ranks, [] {
    int r = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &r);
    return r;
  }());
  const RandomStream pass = classicSlabStart(MPI_COMM_WORLD, box, -9, StreamStart::onePass);
  const RandomStream replay = classicSlabStart(MPI_COMM_WORLD, box, -9, StreamStart::replay);
  EXPECT_TRUE(pass == replay) << "planes " << box.planes.first << ".." << box.planes.last;
  // The first slab starts at the fresh stream.
  if (box.planes.first == 1) {
    EXPECT_TRUE(pass == (RandomStream{.gen = {}, .state = -9}));
  }
}
