// A NetCDF file beyond 4 GiB (label slow: it writes and reads 4.5 GiB): a
// long box of 98304 x 64 x 64 points, three variables of 1.5 GiB, written in
// pieces of planes as the processes of an MPI job write theirs (so that the
// test holds one piece, not the box) and read back through the library at
// planes whose bytes lie beyond 4 GiB in the file.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "handover/netcdf_file.hpp"
#include "tests/support.hpp"

#if WIND_HAS_NETCDF
#include <netcdf.h>
#endif

namespace wind {
namespace {

namespace fs = std::filesystem;

// Component c's value at box plane i (0-based), row j, column k: a float that
// is an integer below 2^24 over 1024, exact, different nearly everywhere.
float valueAt(int c, std::int64_t i, int j, int k) {
  std::uint64_t h = ((std::uint64_t(c) * 1000003u + std::uint64_t(i)) * 64 + std::uint64_t(j)) * 64 +
                    std::uint64_t(k);
  h ^= h >> 31;
  h *= 0x9E3779B97F4A7C15ull;
  h ^= h >> 29;
  return float(std::int64_t(h >> 40) - (std::int64_t(1) << 23)) / 1024.0f;
}

TEST(NetcdfFile, ABoxBeyondFourGibibytesIsWrittenAndReadBack) {
  if (!netcdfBuilt()) GTEST_SKIP() << "no NetCDF in this build";
#if WIND_HAS_NETCDF
  const BoxGrid grid{98304, 64, 64, Vector3(98304.0f, 128.0f, 128.0f)};
  const std::int64_t plane = std::int64_t(grid.N2) * grid.N3, piece = 4096;
  const fs::path dir = wind::testing::freshDir("netcdf_large");
  const fs::path file = dir / "large.nc";

  int ncid = -1;
  ASSERT_EQ(nc_create(file.c_str(), NC_CLOBBER | NC_NETCDF4, &ncid), NC_NOERR);
  {
    const NetcdfWriter writer(ncid, file.string(), grid, {});
    writer.writeGrid();
    std::array<std::vector<float>, 3> values;
    for (std::int64_t first = 0; first < grid.N1; first += piece) {
      for (int c = 0; c < 3; ++c) {
        std::vector<float>& v = values[std::size_t(c)];
        v.resize(std::size_t(piece * plane));
        for (std::int64_t p = 0; p < piece; ++p)
          for (int j = 0; j < grid.N2; ++j)
            for (int k = 0; k < grid.N3; ++k)
              v[std::size_t((p * grid.N2 + j) * grid.N3 + k)] = valueAt(c, first + p, j, k);
      }
      writer.writeVelocities({std::span<const float>(values[0]), std::span<const float>(values[1]),
                              std::span<const float>(values[2])},
                             first, writer.chunks(first, piece));
    }
  }
  ASSERT_EQ(nc_close(ncid), NC_NOERR);
  EXPECT_GT(fs::file_size(file), std::uintmax_t(4.5 * (std::int64_t(1) << 30)));

  // File plane n holds box plane (N1 - n) mod N1; wvel's planes from about a
  // third on, and the last planes of vvel, lie beyond 4 GiB.
  ASSERT_EQ(nc_open(file.c_str(), NC_NOWRITE, &ncid), NC_NOERR);
  std::vector<float> got(static_cast<std::size_t>(plane));
  for (int c = 0; c < 3; ++c) {
    int var = -1;
    ASSERT_EQ(nc_inq_varid(ncid, c == 0 ? "uvel" : c == 1 ? "vvel" : "wvel", &var), NC_NOERR);
    for (const std::int64_t n : {std::int64_t(0), std::int64_t(1), std::int64_t(32768),
                                 std::int64_t(65537), std::int64_t(grid.N1 - 1)}) {
      const std::size_t start[] = {std::size_t(n), 0, 0};
      const std::size_t count[] = {1, std::size_t(grid.N2), std::size_t(grid.N3)};
      ASSERT_EQ(nc_get_vara_float(ncid, var, start, count, got.data()), NC_NOERR);
      const std::int64_t i = (grid.N1 - n) % grid.N1;
      int wrong = 0;
      for (int j = 0; j < grid.N2; ++j)
        for (int k = 0; k < grid.N3; ++k)
          wrong += got[std::size_t(j * grid.N3 + k)] != valueAt(c, i, j, k);
      EXPECT_EQ(wrong, 0) << "component " << c << ", file plane " << n;
    }
  }
  nc_close(ncid);
  fs::remove_all(dir);
#endif
}

}  // namespace
}  // namespace wind
