// The NetCDF file read back through the library, as an LES reader reads it:
// the planes in the order a fixed point sees the convected box, the grid
// variables, the attributes; a box written in pieces (as the processes of
// an MPI job write it) and in small chunks gives the same file content.
#include "handover/netcdf_file.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support.hpp"

#if WIND_HAS_NETCDF
#include <netcdf.h>
#endif

namespace wind {
namespace {

namespace fs = std::filesystem;

#if WIND_HAS_NETCDF

// A 12 x 3 x 4 box (N1 not a power of two is no matter to the file) whose
// value tells component, plane, row and column.
struct SmallBox {
  BoxGrid grid{12, 3, 4, Vector3(60.0f, 9.0f, 10.0f)};
  std::vector<float> u, v, w;
  SmallBox() {
    for (int c = 0; c < 3; ++c) {
      std::vector<float>& f = c == 0 ? u : c == 1 ? v : w;
      for (int i = 0; i < grid.N1; ++i)
        for (int j = 0; j < grid.N2; ++j)
          for (int k = 0; k < grid.N3; ++k) f.push_back(float(c * 1000 + i * 10 + j + 0.125 * k));
    }
  }
  std::array<std::span<const float>, 3> planes(int first, int count) const {
    const std::size_t n = std::size_t(grid.N2 * grid.N3);
    return {std::span<const float>(u).subspan(first * n, count * n),
            std::span<const float>(v).subspan(first * n, count * n),
            std::span<const float>(w).subspan(first * n, count * n)};
  }
};

struct Reading {
  std::vector<std::size_t> dims;
  std::vector<double> lengths, dx;
  std::array<std::vector<float>, 3> uvw;
  std::string units, seedType;
  int seed = 0;
};

Reading readBack(const fs::path& file) {
  Reading r;
  int id = -1;
  EXPECT_EQ(nc_open(file.c_str(), NC_NOWRITE, &id), NC_NOERR);
  for (const char* d : {"ndim", "nx", "ny", "nz"}) {
    int dim = -1;
    std::size_t n = 0;
    EXPECT_EQ(nc_inq_dimid(id, d, &dim), NC_NOERR) << d;
    nc_inq_dimlen(id, dim, &n);
    r.dims.push_back(n);
  }
  r.lengths.resize(3);
  r.dx.resize(3);
  int var = -1;
  nc_inq_varid(id, "box_lengths", &var);
  nc_get_var_double(id, var, r.lengths.data());
  nc_inq_varid(id, "dx", &var);
  nc_get_var_double(id, var, r.dx.data());
  const char* names[] = {"uvel", "vvel", "wvel"};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(nc_inq_varid(id, names[c], &var), NC_NOERR) << names[c];
    nc_type type = 0;
    nc_inq_vartype(id, var, &type);
    EXPECT_EQ(type, NC_FLOAT) << names[c];
    r.uvw[std::size_t(c)].resize(r.dims[1] * r.dims[2] * r.dims[3]);
    nc_get_var_float(id, var, r.uvw[std::size_t(c)].data());
  }
  std::size_t len = 0;
  nc_inq_attlen(id, var, "units", &len);
  r.units.resize(len);
  nc_get_att_text(id, var, "units", r.units.data());
  nc_get_att_int(id, NC_GLOBAL, "seed", &r.seed);
  nc_close(id);
  return r;
}

std::vector<NetcdfAttribute> someAttributes() {
  return {{"seed", NetcdfAttribute::Kind::integer, {}, {}, -2385},
          {"std_uvw", NetcdfAttribute::Kind::numbers, {}, {1.5, 1.2, 0.75}, 0}};
}

// Plane n of the file is the box's plane (N1 - n) mod N1, rows and columns
// as they are.
void expectConvectedOrder(const Reading& r, const SmallBox& b) {
  ASSERT_EQ(r.dims, (std::vector<std::size_t>{3, 12, 3, 4}));
  const std::size_t plane = 12;
  for (int c = 0; c < 3; ++c) {
    const std::vector<float>& box = c == 0 ? b.u : c == 1 ? b.v : b.w;
    for (std::size_t n = 0; n < 12; ++n)
      for (std::size_t e = 0; e < plane; ++e)
        ASSERT_EQ(r.uvw[std::size_t(c)][n * plane + e], box[((12 - n) % 12) * plane + e])
            << "component " << c << ", file plane " << n;
  }
}

TEST(NetcdfFile, PlanesArriveInTheOrderAFixedPointSeesTheConvectedBox) {
  const fs::path dir = testing::freshDir("netcdf_file_whole");
  const SmallBox b;
  writeNetcdf((dir / "box.nc").string(), "box.nc", b.grid, b.planes(0, 12), someAttributes());
  const Reading r = readBack(dir / "box.nc");
  expectConvectedOrder(r, b);
  EXPECT_EQ(r.lengths, (std::vector<double>{60.0, 9.0, 10.0}));
  EXPECT_EQ(r.dx, (std::vector<double>{5.0, 3.0, 2.5}));
  EXPECT_EQ(r.units, "m s-1");
  EXPECT_EQ(r.seed, -2385);
}

// Three holders of planes 0..4, 5 (alone) and 6..11, each in chunks of one
// plane, with more rounds than chunks for the first: the file is the same.
TEST(NetcdfFile, PiecesOfPlanesInChunksMakeTheSameFile) {
  const fs::path dir = testing::freshDir("netcdf_file_pieces");
  const SmallBox b;
  int id = -1;
  ASSERT_EQ(nc_create((dir / "p.nc").c_str(), NC_CLOBBER | NC_NETCDF4, &id), NC_NOERR);
  const NetcdfWriter writer(id, "p.nc", b.grid, someAttributes(), 4 * 12);
  writer.writeGrid();
  EXPECT_EQ(writer.chunks(0, 5), 5);  // plane 0, then 4 .. 1 as four runs of one
  EXPECT_EQ(writer.chunks(5, 1), 1);
  writer.writeVelocities(b.planes(0, 5), 0, 7);
  writer.writeVelocities(b.planes(5, 1), 5, 1);
  writer.writeVelocities(b.planes(6, 6), 6, writer.chunks(6, 6));
  ASSERT_EQ(nc_close(id), NC_NOERR);
  expectConvectedOrder(readBack(dir / "p.nc"), b);
}

TEST(NetcdfFile, ALibraryFailureNamesTheFile) {
  const SmallBox b;
  const std::string message = testing::fatalMessage([&] {
    writeNetcdf("no/such/folder/box.nc", "box.nc", b.grid, b.planes(0, 12), someAttributes());
  });
  EXPECT_EQ(message.rfind("Could not write output file box.nc: ", 0), 0u) << message;
}

#else

TEST(NetcdfFile, TheFormatIsRefusedWithoutTheLibrary) {
  EXPECT_EQ(testing::fatalMessage([] { checkNetcdfBuild(); }),
            "--format netcdf: this build of vorlan has no NetCDF library; install it (Debian: "
            "libnetcdf-dev, or tools/install-prerequisites.sh netcdf), configure and build again");
}

#endif

}  // namespace
}  // namespace wind
