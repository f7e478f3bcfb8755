#pragma once
// The NetCDF file of a box for the synthetic-turbulence inflow of LES codes
// (AMR-Wind's and Nalu-Wind's readers): `vorlan --format netcdf`.
//
// Content, all the reader opens (dimensions and variables in this order):
//   dimensions  ndim = 3, nx = N1, ny = N2, nz = N3
//   box_lengths(ndim)  double, m: the periodic lengths LMax_d = N_d dx_d
//   dx(ndim)           double, m: the spacings LMax_d / N_d
//   uvel, vvel, wvel (nx, ny, nz)  float32, m s-1, nz fastest: the box's
//                      velocity along x (downwind), y (to the left looking
//                      downwind) and z (up), perturbations without a mean
//                      wind (the reader adds its own profile), after --scale
//                      iec where given. The reader reads them with the
//                      library's double calls, which convert each float
//                      exactly.
// Plane order: the reader takes plane i = floor(U (t - t0) / dx) at time t, a
// later plane later in time; the frozen box convected downwind passes a fixed
// point in the order of decreasing x, so file plane i holds the box's plane
// (N1 - i) mod N1, the plane that x = 0 sees at t = i dx / U (as the slices of
// the .bts and .wnd, handover/wind_file.hpp). Across and up the reader places
// node j at j dx_y - box_lengths_y / 2 with y to the left looking downwind and
// node k at k dx_z - box_lengths_z / 2 upwards: the box's own j and k, so the
// rows and columns stay as they are, and no component changes sign.
// Attributes: units and long_name of every variable; global ones for people
// and tools (ncdump): title, source (the program and version), the model and
// its parameters, the parameter file, seed and random stream, the grid's
// axes and plane order, the statistics of each component, and, where the run
// knows them, the wind speed, hub height, the grid's heights, the turbulence at
// the hub and the --scale iec factors (netcdfAttributes).
//
// Format: NetCDF-4 (HDF5), contiguous variables without fill values, so that
// a variable or a file beyond 4 GiB needs nothing special and a parallel
// writer (distributed/) writes the same content through parallel HDF5.
//
// Writing: NetcdfWriter defines the file on a file id already created (by
// nc_create, or nc_create_par for the processes of an MPI job), the grid
// variables by one process, then the velocity planes each process holds, in
// chunks of at most kNetcdfChunkBytes copied into file order; the file id is
// the caller's to close. writeNetcdf does it all for a box held whole. The
// same calls serve both: a collective parallel write needs the same number of
// put calls on every process, so the caller says how many rounds to make and
// the rounds beyond its own chunks write nothing.
//
// Failure (through fatalError): a library error names the file and the
// library's text ("Could not write output file <name>: <text>"); a build
// without NetCDF refuses the format when the options are read
// (checkNetcdfBuild). Memory: one chunk of planes.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "handover/hub_figures.hpp"
#include "handover/iec_scaling.hpp"
#include "handover/placement.hpp"
#include "simulation/plane_statistics.hpp"
#include "simulation/simulation_input.hpp"
#include "synthesis/grid.hpp"
#include "synthesis/turb3d_request.hpp"

namespace wind {

inline constexpr std::int64_t kNetcdfChunkBytes = std::int64_t{16} << 20;

// Whether this build writes NetCDF files; checkNetcdfBuild refuses the format
// where it does not: "--format netcdf: this build of vorlan has no NetCDF
// library; install it (Debian: libnetcdf-dev, or tools/install-prerequisites.sh
// netcdf), configure and build again".
bool netcdfBuilt();
void checkNetcdfBuild();

// One attribute: text, numbers (double) or an integer.
struct NetcdfAttribute {
  enum class Kind { text, numbers, integer };
  std::string name;
  Kind kind = Kind::text;
  std::string text;
  std::vector<double> numbers;
  long long integer = 0;
};

// What the file says of its run beyond the grid.
struct NetcdfRun {
  const SimulationInput& input;
  const std::string& parameterFile;
  RandomStreamKind random = RandomStreamKind::classic;
  const std::optional<GridPlacement>& placement;
  const std::array<ComponentStatistics, 3>& statistics;  // of the values in the file
  const std::optional<HubFigures>& hub;
  const std::optional<IecScaling>& scaling;
};

// The global attributes of a run's file (see above).
std::vector<NetcdfAttribute> netcdfAttributes(const NetcdfRun& run);

class NetcdfWriter {
 public:
  // Defines the dimensions, variables and attributes on ncid, a file just
  // created (in define mode), and ends define mode; name is the file's name
  // for messages. Every process of a parallel file makes the same call. A put
  // call takes at most chunkBytes of planes (at least one plane).
  NetcdfWriter(int ncid, const std::string& name, const BoxGrid& grid,
               const std::vector<NetcdfAttribute>& attributes,
               std::int64_t chunkBytes = kNetcdfChunkBytes);

  // From now on a failing write does not end the run: the first failure's
  // library status is kept (failure()) and the remaining calls are made, as
  // the collective calls of a parallel file must be made on every process.
  void keepGoing() { keepGoing_ = true; }
  int failure() const { return failure_; }

  // The velocity variables' ids, u v w.
  const std::array<int, 3>& velocities() const { return vars_; }

  // box_lengths and dx (one process of a parallel file).
  void writeGrid() const;

  // The file planes of the box's planes first .. first + planes - 1 that
  // this process holds (values[c] of component c, classic layout), in
  // `rounds` put calls per component: chunks(first, planes) with data, the
  // rest empty.
  void writeVelocities(const std::array<std::span<const float>, 3>& values, std::int64_t first,
                       std::int64_t rounds) const;

  // The put calls the planes held take per component.
  std::int64_t chunks(std::int64_t first, std::int64_t planes) const;

 private:
  std::int64_t chunkPlanes() const;
  // A write's status: ends the run, or is kept (keepGoing).
  void check(int status) const;

  int ncid_;
  std::string name_;
  BoxGrid grid_;
  std::int64_t chunkBytes_;
  bool keepGoing_ = false;
  mutable int failure_ = 0;
  int lengths_ = -1, spacings_ = -1;
  std::array<int, 3> vars_{-1, -1, -1};
};

// Ends the run with "Could not write output file <name>: <library text>"
// unless status is the library's success.
void checkNetcdf(int status, const std::string& name);

// The whole file of a box held whole, created at path (a pending output's
// temporary), name for messages; values[c] component c (u v w) in the classic
// layout.
void writeNetcdf(const std::string& path, const std::string& name, const BoxGrid& grid,
                 const std::array<std::span<const float>, 3>& values,
                 const std::vector<NetcdfAttribute>& attributes);

}  // namespace wind
