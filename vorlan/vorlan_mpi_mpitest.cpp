// vorlan-mpi against vorlan, on 1 to 4 processes (wind_mpi_tests): rank 0
// runs vorlan in a scratch folder and keeps its files aside, then every rank
// runs vorlan-mpi with the same command line, and rank 0 compares the field
// files byte for byte, the run records (the same but for "program" and
// "processes"), the run summaries and the echo on standard error.
#include <gtest/gtest.h>
#include <mpi.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#if WIND_HAS_NETCDF
#include <netcdf.h>
#endif

#include "distributed/slab_box.hpp"
#include "handover/netcdf_file.hpp"
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
  std::vector<std::string> outputs;  // every file but the records, compared byte for byte
  std::vector<std::string> records;
  std::vector<std::string> netcdf = {};  // NetCDF files, compared by content
  std::vector<std::pair<std::string, std::string>> inputs = {};  // other input files: name, text
};

std::string bytesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#if WIND_HAS_NETCDF
// Everything a NetCDF file holds, in one string: each attribute (global ones
// first) and each variable with its type, shape, attributes and values as
// bytes. Two files of the same content give the same string, whatever the
// HDF5 layout of their bytes.
std::string netcdfContent(const fs::path& file) {
  int id = -1;
  if (nc_open(file.c_str(), NC_NOWRITE, &id) != NC_NOERR) return "cannot open " + file.string();
  std::string content;
  const auto attributes = [&](int var, int count) {
    for (int a = 0; a < count; ++a) {
      char name[NC_MAX_NAME + 1] = {};
      nc_type type = 0;
      std::size_t length = 0, size = 0;
      nc_inq_attname(id, var, a, name);
      nc_inq_att(id, var, name, &type, &length);
      nc_inq_type(id, type, nullptr, &size);
      std::string bytes(length * size, '\0');
      nc_get_att(id, var, name, bytes.data());
      content += std::string(name) + " " + std::to_string(type) + " " + bytes + "\n";
    }
  };
  int vars = 0, globals = 0;
  nc_inq(id, nullptr, &vars, &globals, nullptr);
  attributes(NC_GLOBAL, globals);
  for (int v = 0; v < vars; ++v) {
    char name[NC_MAX_NAME + 1] = {};
    nc_type type = 0;
    int dims = 0, ids[NC_MAX_VAR_DIMS] = {}, count = 0;
    nc_inq_var(id, v, name, &type, &dims, ids, &count);
    std::size_t size = 0, values = 1;
    nc_inq_type(id, type, nullptr, &size);
    content += std::string(name) + " " + std::to_string(type);
    for (int d = 0; d < dims; ++d) {
      std::size_t n = 0;
      nc_inq_dimlen(id, ids[d], &n);
      values *= n;
      content.append(" ").append(std::to_string(n));
    }
    content += "\n";
    attributes(v, count);
    std::string bytes(values * size, '\0');
    nc_get_var(id, v, bytes.data());
    content += bytes;
  }
  nc_close(id);
  return content;
}
#endif

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
    std::ofstream(dir / "IfW.dat") << wind::testing::kInflowWindTemplate;
    for (const auto& [name, text] : c.inputs) std::ofstream(dir / name) << text;
    fs::current_path(dir);
    const std::vector<const char*> argv = argvOf("vorlan", c.vorlanArgs);
    runVorlan(int(argv.size()), argv.data(), SimulatorSteps{}, vorlanEcho, listing);
    fs::create_directory("vorlan");
    for (const std::string& f : c.outputs) fs::rename(f, fs::path("vorlan") / f);
    for (const std::string& f : c.netcdf) fs::rename(f, fs::path("vorlan") / f);
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
#if WIND_HAS_NETCDF
    for (const std::string& f : c.netcdf)
      EXPECT_TRUE(netcdfContent(f) == netcdfContent(fs::path("vorlan") / f) &&
                  fs::file_size(f) > 0)
          << c.name << ": " << f << " on " << ranks << " processes";
#endif
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
    EXPECT_FALSE(c.outputs.empty() && c.netcdf.empty());
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

// The hand-over: wind files scaled to IEC's targets, with the mean profile,
// placed on the grid and with the filled InflowWind input, on a box whose
// planes 3 or 4 processes share unevenly.
TEST(VorlanMpi, WindFilesScalingAndTheFilledInflowWindInput) {
  const std::string iec = "3\n3\n16 8 8\n1368 124 124\niec\nB 9.5 80\n-4\niu.bin iv.bin iw.bin\n";
  const std::vector<std::string> bts{"--format", "bts", "--scale", "iec", "--openfast-template",
                                     "IfW.dat"};
  compareWithVorlan({"bts", iec, bts, bts, {"i.bts", "iu_IfW.dat"}, {"iu.bin.json"}});
  const std::vector<std::string> wnd{"--format=wnd", "--profile", "log:0.03", "--grid-bottom",
                                     "30", "--seeds", "-5,-6"};
  compareWithVorlan({"wnd", iec, wnd, wnd,
                     {"i_seed5.wnd", "i_seed5.sum", "i_seed6.wnd", "i_seed6.sum"},
                     {"iu_seed5.bin.json", "iu_seed6.bin.json"}});
  const std::vector<std::string> raw{"--scale", "iec", "--layout", "inflowwind",
                                     "--openfast-template", "IfW.dat"};
  compareWithVorlan({"scaled", iec, raw, raw, {"iu.bin", "iv.bin", "iw.bin", "iu_IfW.dat"},
                     {"iu.bin.json"}});
  // A source without a wind speed placed from the options, two components.
  const std::string basic = "3\n2\n1 3\n16 4 8\n800 60 40\nbasic\n0.1 33.6 3.9\n-2\nbu.bin bw.bin\n";
  const std::vector<std::string> placed{"--wind-speed", "12", "--hub-height", "70",
                                        "--grid-bottom", "55"};
  compareWithVorlan({"placed", basic, placed, placed, {"bu.bin", "bw.bin"}, {"bu.bin.json"}});
}

// The NetCDF file of LES inflows: the same content as vorlan's (HDF5 lays out
// a file written in parallel otherwise, so not the same bytes), scaled, with
// its attributes from the whole box; a box of 3 planes on 4 processes leaves
// one without planes, which still takes part in every collective write.
TEST(VorlanMpi, NetcdfFileOfTheSameContent) {
  if (!netcdfBuilt()) GTEST_SKIP() << "no NetCDF in this build";
  const std::string iec = "3\n3\n16 8 4\n1368 124 62\niec\nA 11 90\n-9\nnu.bin nv.bin nw.bin\n";
  const std::vector<std::string> args{"--format", "netcdf", "--scale", "iec"};
  compareWithVorlan({"netcdf", iec, args, args, {}, {"nu.bin.json"}, {"n.nc"}});
  const std::string narrow = "3\n3\n4 4 2\n400 40 20\nbasic\n0.1 33.6 3.9\n-2\nsu.bin sv.bin sw.bin\n";
  compareWithVorlan({"netcdf_few_planes", narrow, {"--format=netcdf"}, {"--format=netcdf"}, {},
                     {"su.bin.json"}, {"s.nc"}});
}

// Constraint lines: the pairs of planes i and N1 - i + 2 lie on two ranks for
// most i on 2 to 4 processes (conditioned by one, the other's plane sent there
// and back), on one rank on 1; several threads a rank condition pairs at
// once. The same box, the same record (largest difference, nugget) and echo.
TEST(VorlanMpi, ConstrainedBoxAcrossTheRanks) {
  std::ostringstream mast;
  mast << "time u(-5.25,31.75) w(-5.25,31.75) v(3.5,24.75)\n";
  for (int n = 0; n < 32; ++n)
    mast << 0.5 * n << " " << 9.0 + std::sin(0.3 * n) << " " << 0.4 * std::cos(1.7 * n) << " "
         << 0.2 * std::sin(0.9 * n) << "\n";
  const std::string box = "3\n3\n32 8 8\n32 28 28\nbasic\n0.1 30 3.9\n-3\nu.bin v.bin w.bin\n";
  const std::vector<std::pair<std::string, std::string>> inputs{{"mast.txt", mast.str()}};
  const std::vector<std::string> raw{"--constraints", "mast.txt", "--wind-speed", "2",
                                     "--hub-height", "30", "--threads", "2"};
  compareWithVorlan({"constrained", box, raw, raw, {"u.bin", "v.bin", "w.bin"}, {"u.bin.json"},
                     {}, inputs});
  const std::vector<std::string> bts{"--constraints=mast.txt", "--wind-speed=2", "--hub-height=30",
                                     "--format", "bts", "--seeds", "-1:-2"};
  compareWithVorlan({"constrained_bts", box, bts, bts, {"u_seed1.bts", "u_seed2.bts"},
                     {"u_seed1.bin.json", "u_seed2.bin.json"}, {}, inputs});
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
