// The run record against the files on disk, the inflowwind layout against an
// emulation of InflowWind's reading of a full-field binary box, and the record's
// absence after a failed run.
#include "record/run_record.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "simulation/layout.hpp"
#include "tests/support.hpp"
#include "vorlan/command_line.hpp"

namespace wind {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::fatalMessage;
using testing::readFloats;
using testing::writeText;

// A smooth, non-periodic-looking fill with a different mean per component.
void fillSmooth(const SimulationInput& in, const Vector3&, const UpstreamTables&, FieldArrays& f) {
  for (int c = 0; c < in.nComp; ++c)
    for (int i = 1; i <= in.NPoint[0]; ++i)
      for (int j = 1; j <= in.NPoint[1]; ++j)
        for (int k = 1; k <= in.NPoint[2]; ++k)
          f.box[c](i, j, k) =
              static_cast<float>(0.7 * c + std::sin(1.7 * i + 2.3 * j * (c + 1) + 0.37 * k));
}

// Grid point code: every value of a small box distinct and exact in float.
void fillCodes(const SimulationInput& in, const Vector3&, const UpstreamTables&, FieldArrays& f) {
  for (int c = 0; c < in.nComp; ++c)
    for (int i = 1; i <= in.NPoint[0]; ++i)
      for (int j = 1; j <= in.NPoint[1]; ++j)
        for (int k = 1; k <= in.NPoint[2]; ++k) f.box[c](i, j, k) = float(100 * i + 10 * j + k);
}

void run(const fs::path& inp, const Synthesiser& engine, const char* layout = "classic",
         const char* random = "classic") {
  const std::string name = inp.string();
  const char* argv[] = {"vorlan", "--layout", layout, "--random", random, name.c_str()};
  std::ostringstream echo, listing;
  runVorlan(6, argv, SimulatorSteps{noSourceStep, engine}, echo, listing);
}

json readJson(const fs::path& file) {
  std::ifstream in(file);
  return json::parse(in);
}

// A non-cubic IEC box whose files go to two folders: the record's paths are
// relative to its own folder, its statistics those of the files on disk.
TEST(RunRecord, GridFilesStatisticsAndOpenFastBlockMatchTheFilesOnDisk) {
  const fs::path dir = testing::freshDir("run_record_box");
  const fs::path u = dir / "out" / "box_u.bin", v = dir / "out" / "sub" / "box_v.bin",
                 w = dir / "out" / "box_w.bin";
  fs::create_directories(dir / "out" / "sub");
  writeText(dir / "box.inp", "3 3\n16 8 4\n64 30 9\niec\nA 11.4 90\n-7\n" + u.string() + "\n" +
                                 v.string() + "\n" + w.string() + "\n");
  run(dir / "box.inp", fillSmooth);

  const json r = readJson(dir / "out" / "box_u.bin.json");
  EXPECT_EQ(r["record"], "vorlan run record");
  EXPECT_EQ(r["input"]["ParameterSource"], "iec");
  EXPECT_EQ(r["input"]["source_values"]["category"], "A");
  EXPECT_EQ(r["input"]["source_values"]["V_hub"].dump(), "11.4");  // shortest float text
  EXPECT_EQ(r["grid"]["NPoint"], json({16, 8, 4}));
  EXPECT_EQ(r["grid"]["spacing"], json({4.0, 3.75, 2.25}));
  EXPECT_EQ(r["grid"]["layout"], "classic");
  EXPECT_EQ(r["model"]["Gamma"].dump(), "3.9");
  EXPECT_EQ(r["model"]["random"], "classic");
  EXPECT_FALSE(r["model"].contains("arithmetic"));  // a classic box: always the C library's
  EXPECT_EQ(r["program"], "vorlan");
  EXPECT_FALSE(r.contains("processes"));

  const fs::path files[] = {u, v, w};
  const char* paths[] = {"box_u.bin", "sub/box_v.bin", "box_w.bin"};
  double sigmaTarget[3];
  const double sigma1 = 0.16 * (0.75 * 11.4 + 5.6);
  const double ratio[] = {1.0, 0.8, 0.5};
  for (int c = 0; c < 3; ++c) {
    SCOPED_TRACE(paths[c]);
    const json& f = r["files"][c];
    EXPECT_EQ(f["component"], c + 1);
    EXPECT_EQ(f["file"], files[c].string());
    EXPECT_EQ(f["path"], paths[c]);
    const std::vector<float> x = readFloats(dir / "out" / f["path"].get<std::string>());
    ASSERT_EQ(f["count"].get<std::int64_t>(), std::int64_t(x.size()));
    ASSERT_EQ(x.size(), 16u * 8u * 4u);
    // Two passes in long double, independent of the record's one pass.
    long double sum = 0, sq = 0;
    for (float e : x) sum += e;
    const long double mean = sum / x.size();
    for (float e : x) sq += (e - mean) * (e - mean);
    const double sd = double(std::sqrt(sq / x.size()));
    EXPECT_NEAR(f["mean"].get<double>(), double(mean), 1e-12);
    EXPECT_NEAR(f["std"].get<double>(), sd, 1e-12);
    EXPECT_EQ(f["min"].get<double>(), double(*std::min_element(x.begin(), x.end())));
    EXPECT_EQ(f["max"].get<double>(), double(*std::max_element(x.begin(), x.end())));
    sigmaTarget[c] = ratio[c] * sigma1;
    // V_hub is the float 11.4f: sigma_1 agrees with the decimal to about 1e-7.
    EXPECT_NEAR(r["scaling"]["factors"][c].get<double>(), sigmaTarget[c] / sd,
                1e-7 * sigmaTarget[c] / sd);
  }

  // The InflowWind values of the raw files' section: the grid, the grid's
  // middle row at the hub (centred) and the mean wind there.
  const json& of = r["openfast"]["values"];
  EXPECT_EQ(r["openfast"]["WindType"], 5);
  EXPECT_EQ(of["FileName_v"], v.string());
  const double expected[][2] = {{16, 4.0}, {8, 3.75}, {4, 2.25}};
  const char* nKeys[] = {"nx", "ny", "nz"};
  const char* dKeys[] = {"dx", "dy", "dz"};
  for (int d = 0; d < 3; ++d) {
    EXPECT_EQ(of[nKeys[d]].get<double>(), expected[d][0]);
    EXPECT_EQ(of[dKeys[d]].get<double>(), expected[d][1]);
  }
  EXPECT_EQ(of["RefHt_"].get<double>(), 90.0);
  EXPECT_NEAR(of["URef"].get<double>(), 11.4, 1e-12);
  EXPECT_EQ(r["placement"]["grid_bottom"].get<double>(), 90.0 - 1.5 * 2.25);
  // The hub figures' box column is the files' own standard deviation.
  for (int c = 0; c < 3; ++c)
    EXPECT_EQ(r["hub"]["box_std"][c], r["files"][c]["std"]) << c;
}

// A counter-stream box says which arithmetic made its deviates and amplitudes.
TEST(RunRecord, TheCounterStreamNamesItsArithmetic) {
  const fs::path dir = testing::freshDir("run_record_counter");
  const fs::path u = dir / "c_u.bin";
  writeText(dir / "c.inp", "3 3\n16 8 4\n64 30 9\niec\nA 11.4 90\n-7\n" + u.string() + "\n" +
                               (dir / "c_v.bin").string() + "\n" + (dir / "c_w.bin").string() +
                               "\n");
  run(dir / "c.inp", fillSmooth, "classic", "counter");
  const json r = readJson(dir / "c_u.bin.json");
  EXPECT_EQ(r["model"]["random"], "counter");
  EXPECT_EQ(r["model"]["arithmetic"], "lanes");
}

TEST(RunRecord, AFailedRunLeavesTheEarlierRecordAndAnUnwritableOneIsNamed) {
  const fs::path dir = testing::freshDir("run_record_fail");
  const fs::path u = dir / "f_u.bin";
  writeText(dir / "f.inp", "3 1 1\n4 4 4\n8 8 8\nbasic\n0.1 30 3.9\n-1\n" + u.string() + "\n");
  const fs::path record = dir / "f_u.bin.json";
  run(dir / "f.inp", fillCodes);
  const std::string earlier = testing::readText(record), field = testing::readText(u);
  ASSERT_EQ(field.size(), 4u * 64u);
  const auto fails = [](const SimulationInput&, const Vector3&, const UpstreamTables&,
                        FieldArrays&) { fatalError("engine failed"); };
  EXPECT_EQ(fatalMessage([&] { run(dir / "f.inp", fails); }), "engine failed");
  EXPECT_EQ(testing::readText(record), earlier);

  // A folder in the record's place, made while the engine runs: the commit
  // stops before it renames anything.
  const auto blocks = [&](const SimulationInput& in, const Vector3& l, const UpstreamTables& t,
                          FieldArrays& f) {
    fillSmooth(in, l, t, f);
    fs::remove(record);
    fs::create_directories(record / "keep");
  };
  EXPECT_EQ(fatalMessage([&] { run(dir / "f.inp", blocks); }),
            "Could not write the run record " + record.string() + ": Is a directory");
  EXPECT_EQ(testing::readText(u), field);
  EXPECT_EQ(testing::folderNames(dir),
            (std::vector<std::string>{"f.inp", "f_u.bin", "f_u.bin.json", "f_u.bin.summary.txt"}));
}

// The first output in a linked folder that lies elsewhere: the record's
// relative paths lead to the files from where the record really is, and the
// absolute ones are kept.
TEST(RunRecord, PathsLeadToTheFilesFromALinkedFolder) {
  const fs::path dir = testing::freshDir("run_record_link");
  fs::create_directories(dir / "deep" / "er" / "real");
  fs::create_directory_symlink("deep/er/real", dir / "link");
  // Where "../b.bin" from the link's own place would lead.
  writeText(dir / "deep" / "er" / "b.bin", "an unrelated file");
  writeText(dir / "l.inp", "3 2 1 2\n4 4 4\n8 8 8\nbasic\n0.1 30 3.9\n-1\n" +
                               (dir / "link" / "a.bin").string() + "\n" +
                               (dir / "b.bin").string() + "\n");
  run(dir / "l.inp", fillCodes);
  const json r = readJson(dir / "link" / "a.bin.json");
  EXPECT_EQ(r["files"][1]["path"], "../../../b.bin");
  EXPECT_EQ(fs::file_size(dir / "link" / r["files"][1]["path"].get<std::string>()), 4u * 64u);
  EXPECT_EQ(r["files"][0]["path"], "a.bin");
  EXPECT_EQ(r["files"][0]["file"], (dir / "link" / "a.bin").string());
}

// InflowWind's reading of a full-field binary box, written from its rules: at
// time t and point (x, y, z) it takes plane i = (URef t + XOffset - x)/dx mod nx,
// row j = (W/2 - y)/dy with W = (ny - 1) dy, and column k = (z - (RefHt - H/2))/dz
// with H = (nz - 1) dz, each plane an nz x ny block with z fastest.
struct InflowWindBox {
  std::vector<float> values;
  int nx, ny, nz;
  double dx, dy, dz, uRef, refHt, xOffset;

  float at(double t, double x, double y, double z) const {
    const double W = (ny - 1) * dy, H = (nz - 1) * dz;
    const long i = ((std::lround((uRef * t + xOffset - x) / dx) % nx) + nx) % nx;
    const long j = std::lround((W / 2 - y) / dy);
    const long k = std::lround((z - (refHt - H / 2)) / dz);
    return values[std::size_t((i * ny + j) * nz + k)];
  }
};

// Whether the box read by InflowWind is the frozen field convected downwind:
// its value at (t, x, y, z) is the field's at (x - U t, y, z) up to one
// periodic shift along x and y for all points.
bool arrivesIntact(const InflowWindBox& box) {
  const int n1 = box.nx, n2 = box.ny, n3 = box.nz;
  const auto truth = [&](long i, long j, long k) {  // 0-based, periodic in i and j
    return float(100 * ((i % n1 + n1) % n1 + 1) + 10 * ((j % n2 + n2) % n2 + 1) + k + 1);
  };
  for (int sx = 0; sx < n1; ++sx)
    for (int sy = 0; sy < n2; ++sy) {
      bool all = true;
      for (int n = 0; n < 2 * n1 && all; ++n)      // time steps of dx / U
        for (int m = -2; m <= 2 && all; ++m)       // x positions
          for (int q = 0; q < n2 && all; ++q)      // y from the grid's right edge
            for (int k = 0; k < n3 && all; ++k) {
              const double t = n * box.dx / box.uRef, x = m * box.dx;
              const double y = -(n2 - 1) * box.dy / 2 + q * box.dy;
              const double z = box.refHt - (n3 - 1) * box.dz / 2 + k * box.dz;
              all = box.at(t, x, y, z) == truth(m - n + sx, q + sy, k);
            }
      if (all) return true;
    }
  return false;
}

TEST(RunRecord, TheInflowWindLayoutArrivesWithItsGeometryAndTheClassicMirrored) {
  const fs::path dir = testing::freshDir("run_record_layout");
  for (const char* layout : {"inflowwind", "classic"}) {
    SCOPED_TRACE(layout);
    const std::string stem = (dir / layout).string();
    writeText(dir / "l.inp", "3 3\n8 4 4\n16 6 4\nbasic\n0.1 3 3.9\n-1\n" + stem + "_u.bin " +
                                 stem + "_v.bin " + stem + "_w.bin\n");
    run(dir / "l.inp", fillCodes, layout);
    const json r = readJson(stem + "_u.bin.json");
    EXPECT_EQ(r["grid"]["layout"], layout);
    EXPECT_EQ(r["openfast"]["layout"], layout);
    const json& of = r["openfast"]["values"];
    for (const char* file : {"FileName_u", "FileName_w"}) {
      const InflowWindBox box{readFloats(of[file].get<std::string>()),
                              of["nx"], of["ny"], of["nz"], of["dx"], of["dy"], of["dz"],
                              4.0, 90.0, 0.0};
      EXPECT_EQ(arrivesIntact(box), std::string(layout) == "inflowwind") << file;
    }
  }
}

// Lines and planes: only the axes that are axis 1 or 2 are reversed.
TEST(RunRecord, LinesAndPlanesAreReversedAlongTheirAxesOneAndTwo) {
  struct Case {
    int absentDim;  // 0-based; -1 for a line
    bool rev1, rev2;
  };
  for (const Case c : {Case{-1, true, false}, Case{0, true, false}, Case{1, true, false},
                       Case{2, true, true}}) {
    SimulationInput in;
    in.fieldDim = c.absentDim < 0 ? 1 : 2;
    in.nComp = 1;
    in.absentDim = std::max(c.absentDim, 0);
    in.NPoint[0] = 4;
    in.NPoint[1] = c.absentDim < 0 ? 1 : 2;
    FieldArrays f = allocateFields(in);
    float* p = in.fieldDim == 1 ? f.line[0].data() : f.plane[0].data();
    for (int e = 0; e < 4 * in.NPoint[1]; ++e) p[e] = float(e);
    toInflowWindLayout(in, f);
    const int n2 = in.NPoint[1];
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < n2; ++j) {
        const int si = c.rev1 ? 3 - i : i, sj = c.rev2 ? n2 - 1 - j : j;
        EXPECT_EQ(p[i * n2 + j], float(si * n2 + sj)) << "absentDim " << c.absentDim;
      }
  }
}

}  // namespace
}  // namespace wind
