#include "handover/netcdf_file.hpp"

#include <algorithm>
#include <cstring>

#include "handover/wind_file.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"
#include "support/version.hpp"

#ifndef WIND_HAS_NETCDF
#define WIND_HAS_NETCDF 0
#endif
#if WIND_HAS_NETCDF
#include <netcdf.h>
#endif

namespace wind {

namespace {

constexpr const char* kVelocityNames[] = {"uvel", "vvel", "wvel"};
constexpr const char* kVelocityLongNames[] = {
    "velocity along x (downwind), perturbation without the mean wind",
    "velocity along y (to the left looking downwind), perturbation",
    "velocity along z (up), perturbation"};
constexpr const char* kComponentNames[] = {"u", "v", "w"};

NetcdfAttribute text(const std::string& name, const std::string& value) {
  return {name, NetcdfAttribute::Kind::text, value, {}, 0};
}

NetcdfAttribute numbers(const std::string& name, std::vector<double> values) {
  return {name, NetcdfAttribute::Kind::numbers, {}, std::move(values), 0};
}

NetcdfAttribute integer(const std::string& name, long long value) {
  return {name, NetcdfAttribute::Kind::integer, {}, {}, value};
}

bool tensorSource(ParameterSource s) {
  return s != ParameterSource::Kaimal1d && s != ParameterSource::TwoD;
}

}  // namespace

bool netcdfBuilt() { return WIND_HAS_NETCDF != 0; }

void checkNetcdfBuild() {
  if (!netcdfBuilt())
    fatalError("--format netcdf: this build of vorlan has no NetCDF library; install it "
               "(Debian: libnetcdf-dev, or tools/install-prerequisites.sh netcdf), configure and "
               "build again");
}

std::vector<NetcdfAttribute> netcdfAttributes(const NetcdfRun& run) {
  const SimulationInput& in = run.input;
  std::vector<NetcdfAttribute> a;
  a.push_back(text("title", "Turbulence box for a synthetic-turbulence LES inflow"));
  a.push_back(text("source", "vorlan " + std::string(kVersion)));
  a.push_back(text("parameter_file", run.parameterFile));
  a.push_back(text("parameter_source", sourceKeyword(in.source)));
  if (tensorSource(in.source)) {
    a.push_back(text("model", "sheared spectral velocity tensor (alphaeps, L, Gamma)"));
    // As the decimals the model's floats are (0.1f as 0.1).
    a.push_back(numbers("model_alphaeps", {shortestDecimal(in.params.alphaeps)}));
    a.push_back(numbers("model_L", {shortestDecimal(in.params.L)}));
    a.push_back(numbers("model_Gamma", {shortestDecimal(in.params.Gamma)}));
  }
  a.push_back(integer("seed", in.seed));
  a.push_back(text("random_stream", randomStreamName(run.random)));
  a.push_back(text("axes", "x along the mean wind (downwind), y across it to the left looking "
                           "downwind, z up; uvel, vvel, wvel along x, y, z"));
  a.push_back(text("plane_order",
                   "plane i holds the box's plane (nx - i) mod nx: the plane a fixed point sees "
                   "at time i dx / U as the frozen box is convected downwind at U"));
  a.push_back(text("values", "velocity perturbations in m s-1, without a mean wind"));
  std::vector<double> mean, sd;
  for (int c = 0; c < 3; ++c) {
    mean.push_back(run.statistics[std::size_t(c)].mean);
    sd.push_back(run.statistics[std::size_t(c)].std);
  }
  a.push_back(numbers("mean_uvw", mean));
  a.push_back(numbers("std_uvw", sd));
  if (run.placement) {
    const GridPlacement& p = *run.placement;
    a.push_back(numbers("wind_speed", {p.windSpeed}));
    a.push_back(numbers("hub_height", {p.hubHeight}));
    a.push_back(numbers("grid_bottom", {p.gridBottom}));
    a.push_back(numbers("centre_height",
                        {p.gridBottom + double(in.LMax[2]) / 2.0}));
    a.push_back(numbers("time_step", {timeStep(boxGridOf(in), p.windSpeed)}));
  }
  if (run.hub) {
    std::vector<double> ti;
    for (int c = 0; c < 3; ++c) ti.push_back(run.hub->TI[std::size_t(c)]);
    a.push_back(numbers("hub_TI_uvw", ti));
  }
  if (run.scaling) {
    std::vector<double> f;
    for (int c = 0; c < run.scaling->nComp; ++c) f.push_back(run.scaling->components[std::size_t(c)].factor);
    a.push_back(numbers("iec_scaling_factors_uvw", f));
  }
  return a;
}

#if WIND_HAS_NETCDF

void checkNetcdf(int status, const std::string& name) {
  if (status != NC_NOERR)
    fatalError("Could not write output file " + name + ": " + nc_strerror(status));
}

namespace {

void putAttribute(int ncid, int var, const NetcdfAttribute& a, const std::string& name) {
  switch (a.kind) {
    case NetcdfAttribute::Kind::text:
      checkNetcdf(nc_put_att_text(ncid, var, a.name.c_str(), a.text.size(), a.text.c_str()), name);
      return;
    case NetcdfAttribute::Kind::numbers:
      checkNetcdf(nc_put_att_double(ncid, var, a.name.c_str(), NC_DOUBLE, a.numbers.size(),
                                    a.numbers.data()),
                  name);
      return;
    case NetcdfAttribute::Kind::integer: {
      const int v = static_cast<int>(a.integer);  // seeds are 32-bit
      checkNetcdf(nc_put_att_int(ncid, var, a.name.c_str(), NC_INT, 1, &v), name);
      return;
    }
  }
}

}  // namespace

NetcdfWriter::NetcdfWriter(int ncid, const std::string& name, const BoxGrid& grid,
                           const std::vector<NetcdfAttribute>& attributes, std::int64_t chunkBytes)
    : ncid_(ncid), name_(name), grid_(grid), chunkBytes_(chunkBytes) {
  int ndim = -1, nx = -1, ny = -1, nz = -1;
  checkNetcdf(nc_def_dim(ncid, "ndim", 3, &ndim), name);
  checkNetcdf(nc_def_dim(ncid, "nx", std::size_t(grid.N1), &nx), name);
  checkNetcdf(nc_def_dim(ncid, "ny", std::size_t(grid.N2), &ny), name);
  checkNetcdf(nc_def_dim(ncid, "nz", std::size_t(grid.N3), &nz), name);
  checkNetcdf(nc_def_var(ncid, "box_lengths", NC_DOUBLE, 1, &ndim, &lengths_), name);
  checkNetcdf(nc_def_var(ncid, "dx", NC_DOUBLE, 1, &ndim, &spacings_), name);
  const int dims[] = {nx, ny, nz};
  for (int c = 0; c < 3; ++c) {
    checkNetcdf(nc_def_var(ncid, kVelocityNames[c], NC_FLOAT, 3, dims, &vars_[std::size_t(c)]), name);
    checkNetcdf(nc_def_var_chunking(ncid, vars_[std::size_t(c)], NC_CONTIGUOUS, nullptr), name);
    checkNetcdf(nc_def_var_fill(ncid, vars_[std::size_t(c)], NC_NOFILL, nullptr), name);
    putAttribute(ncid, vars_[std::size_t(c)], text("units", "m s-1"), name);
    putAttribute(ncid, vars_[std::size_t(c)], text("long_name", kVelocityLongNames[c]), name);
    putAttribute(ncid, vars_[std::size_t(c)], text("component", kComponentNames[c]), name);
  }
  putAttribute(ncid, lengths_, text("units", "m"), name);
  putAttribute(ncid, lengths_,
               text("long_name", "periodic lengths of the box along x, y, z (points times dx)"),
               name);
  putAttribute(ncid, spacings_, text("units", "m"), name);
  putAttribute(ncid, spacings_, text("long_name", "grid spacings along x, y, z"), name);
  for (const NetcdfAttribute& a : attributes) putAttribute(ncid, NC_GLOBAL, a, name);
  checkNetcdf(nc_enddef(ncid), name);
}

void NetcdfWriter::check(int status) const {
  if (!keepGoing_) checkNetcdf(status, name_);
  else if (status != NC_NOERR && failure_ == NC_NOERR) failure_ = status;
}

void NetcdfWriter::writeGrid() const {
  const double lengths[] = {double(grid_.Lbox.x), double(grid_.Lbox.y), double(grid_.Lbox.z)};
  const double spacings[] = {spacingAlong(grid_), spacingAcross(grid_), spacingUp(grid_)};
  check(nc_put_var_double(ncid_, lengths_, lengths));
  check(nc_put_var_double(ncid_, spacings_, spacings));
}

// Planes a put call takes at most.
std::int64_t NetcdfWriter::chunkPlanes() const {
  return std::max<std::int64_t>(1, chunkBytes_ / (4 * std::int64_t(grid_.N2) * grid_.N3));
}

std::int64_t NetcdfWriter::chunks(std::int64_t first, std::int64_t planes) const {
  const std::int64_t most = chunkPlanes();
  std::int64_t n = 0;
  for (const detail::SliceRun& run : detail::sliceRuns(first, planes, grid_.N1))
    n += (run.count + most - 1) / most;
  return n;
}

void NetcdfWriter::writeVelocities(const std::array<std::span<const float>, 3>& values,
                                   std::int64_t first, std::int64_t rounds) const {
  const std::int64_t plane = std::int64_t(grid_.N2) * grid_.N3, most = chunkPlanes();
  const std::int64_t planes = plane > 0 ? std::int64_t(values[0].size()) / plane : 0;
  std::vector<float> chunk;
  for (int c = 0; c < 3; ++c) {
    const std::span<const float> v = values[std::size_t(c)];
    std::int64_t made = 0;
    for (const detail::SliceRun& run : detail::sliceRuns(first, planes, grid_.N1))
      for (std::int64_t n = run.first; n < run.first + run.count; n += most, ++made) {
        const std::int64_t count = std::min(run.first + run.count - n, most);
        chunk.resize(std::size_t(count * plane));
        for (std::int64_t m = 0; m < count; ++m) {
          const std::int64_t p = detail::planeOfSlice(n + m, grid_.N1) - first;
          std::memcpy(chunk.data() + m * plane, v.data() + p * plane,
                      std::size_t(plane) * sizeof(float));
        }
        const std::size_t start[] = {std::size_t(n), 0, 0};
        const std::size_t size[] = {std::size_t(count), std::size_t(grid_.N2),
                                    std::size_t(grid_.N3)};
        check(nc_put_vara_float(ncid_, vars_[std::size_t(c)], start, size, chunk.data()));
      }
    // Rounds beyond this process's chunks write nothing.
    for (; made < rounds; ++made) {
      const std::size_t start[] = {0, 0, 0}, none[] = {0, 0, 0};
      const float dummy = 0.0f;
      check(nc_put_vara_float(ncid_, vars_[std::size_t(c)], start, none, &dummy));
    }
  }
}

void writeNetcdf(const std::string& path, const std::string& name, const BoxGrid& grid,
                 const std::array<std::span<const float>, 3>& values,
                 const std::vector<NetcdfAttribute>& attributes) {
  int ncid = -1;
  checkNetcdf(nc_create(path.c_str(), NC_CLOBBER | NC_NETCDF4, &ncid), name);
  // Closed on every way out; a failure while closing after a write is reported.
  struct Closer {
    int id;
    ~Closer() {
      if (id >= 0) nc_close(id);
    }
  } closer{ncid};
  const NetcdfWriter writer(ncid, name, grid, attributes);
  writer.writeGrid();
  writer.writeVelocities(values, 0, writer.chunks(0, grid.N1));
  closer.id = -1;
  checkNetcdf(nc_close(ncid), name);
}

#else

void checkNetcdf(int, const std::string&) {}

NetcdfWriter::NetcdfWriter(int ncid, const std::string& name, const BoxGrid& grid,
                           const std::vector<NetcdfAttribute>&, std::int64_t chunkBytes)
    : ncid_(ncid), name_(name), grid_(grid), chunkBytes_(chunkBytes) {
  checkNetcdfBuild();
}
void NetcdfWriter::writeGrid() const {}
void NetcdfWriter::writeVelocities(const std::array<std::span<const float>, 3>&, std::int64_t,
                                   std::int64_t) const {}
std::int64_t NetcdfWriter::chunkPlanes() const { return 1; }
void NetcdfWriter::check(int) const {}
std::int64_t NetcdfWriter::chunks(std::int64_t, std::int64_t) const { return 0; }
void writeNetcdf(const std::string&, const std::string&, const BoxGrid&,
                 const std::array<std::span<const float>, 3>&,
                 const std::vector<NetcdfAttribute>&) {
  checkNetcdfBuild();
}

#endif

}  // namespace wind
