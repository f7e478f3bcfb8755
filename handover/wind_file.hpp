#pragma once
// Full-field wind files for aeroelastic codes: what the .bts writer
// (handover/bts_file.hpp) and the .wnd/.sum writer (handover/wnd_file.hpp) share.
//
// Input: the three components of a box in the simulator's classic layout,
// element (i, j, k), 0-based, at offset (i N2 + j) N3 + k of each span, at
// x = i dx along the wind, y = j dy to the left looking downwind and
// z = gridBottom + k dz up (docs/axes.md), with dx, dy, dz = LMax_d / N_d.
//
// The files describe the frozen box convected downwind at U: at time t the
// point x sees the box's plane at x - U t. They are periodic in time with
// period N1 dt, dt = dx / U, and slice n (0-based) holds the box's plane
// i = (N1 - n) mod N1: the plane a reader at x = 0 sees at t = n dt. Across
// the wind both formats put their first column at the most negative y (to the
// right looking downwind), centred on the hub: column j of the file is the
// box's row j, at y = -(N2 - 1) dy / 2 + j dy. Row k (z fastest to slowest:
// the files run component, then y, then z) is the box's k.
//
// u holds the box's u plus the mean wind profile (handover/mean_profile.hpp) at
// the row's height; v and w the box's own.
//
// Writers take an already opened binary stream (the caller creates it, e.g. a
// temporary that it renames once the whole run has succeeded) and the name
// the user knows the file by, for messages. A box cut into slabs of planes
// across processes is written by the same steps (BtsWriter, WndWriter): each
// process holds some consecutive planes (WindBox::first), the scales of the
// whole box come from every plane's sums brought together in plane order
// (PlaneReduction, simulation/plane_statistics.hpp: the same bits however the
// planes are cut), and each process encodes the slices of its own planes
// (sliceRuns), which it writes at their places in the file. They refuse what the readers do
// not check (a zero dt, dy, dz or U, fewer than 2 points along an axis, a
// lowest row at or below ground, a value that is not finite) before writing
// anything, and end the run with "Could not write <name>" when the stream
// fails. Values are little-endian whatever the machine. Memory: one slice of
// N2 N3 3 int16 and N3 doubles.

#include <array>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "handover/mean_profile.hpp"
#include "handover/placement.hpp"
#include "simulation/plane_statistics.hpp"
#include "simulation/simulation_input.hpp"
#include "synthesis/grid.hpp"

namespace wind {

// The files a run writes: the raw float32 files, TurbSim's .bts, the
// Bladed-style .wnd and .sum, or the NetCDF file of LES inflows
// (handover/netcdf_file.hpp).
enum class WindFileFormat { raw, bts, wnd, netcdf };

// A --format value: "raw" (the three float32 files; the default), "bts",
// "wnd" or "netcdf"; else "--format: '<text>' is not a format (raw, bts, wnd
// or netcdf)".
WindFileFormat parseWindFileFormat(const std::string& text);

const char* windFileFormatName(WindFileFormat f);

// bts, wnd and netcdf need a three-dimensional field of three components;
// else "--format bts needs a three-dimensional field of three components
// (fieldDim 3, nComp 3)".
void checkWindFileInput(const SimulationInput& in, WindFileFormat f);

// The name of a run's box, after which the files that hold the whole box are
// named (.bts, .wnd and .sum, the hub series, the filled InflowWind input):
// what the names of its nComp outputs share, the part that names the
// component left out. With P the longest prefix and S the longest suffix all
// names share, the box is P without trailing '_', '-' and '.', followed by S
// without its extension: "out/iec_u.bin", "out/iec_v.bin", "out/iec_w.bin"
// -> "out/iec"; "iec_u_seed3.bin", ... -> "iec_seed3". Where that leaves no
// file name in the folder (names that share nothing, "u.bin", "v.bin",
// "w.bin"; or a single output), the first output without its extension:
// "u". A leading dot (".u") is not an extension.
std::string boxName(const SimulationInput& run);

// The one file of a run of format f, after its box: "<box>.bts" or "<box>.nc"; for wnd the
// root name InflowWind takes ("<box>"), to which ".wnd" and ".sum" are added.
std::string windFileName(const std::string& box, WindFileFormat f);

// A box, where it stands and its mean profile: the whole box, or the planes
// first .. first + planes() - 1 (0-based) that this process holds of it.
struct WindBox {
  std::array<std::span<const float>, 3> uvw;  // classic layout, the planes held
  BoxGrid grid;
  GridPlacement placement;
  MeanProfile profile;
  std::int64_t first = 0;  // the first plane held

  std::int64_t planeValues() const { return std::int64_t(grid.N2) * grid.N3; }
  std::int64_t planes() const {
    return planeValues() > 0 ? std::int64_t(uvw[0].size()) / planeValues() : 0;
  }
};

// The description a .bts of the run carries: "vorlan <version>,
// <parameter file>, seed <seed>, profile <profile>".
std::string btsDescription(const std::string& parameterFile, long seed, const MeanProfile& profile);

namespace detail {

// The refusals above, each naming the file: "Cannot write <name>: ..." (of
// the planes held; no collective).
void checkWindBox(const WindBox& box, const std::string& name);

// The mean wind of each row k, in double.
std::vector<double> rowMeanWind(const WindBox& box);

// The slice n of the file is this plane of the box, and the other way round.
inline std::int64_t planeOfSlice(std::int64_t n, std::int64_t n1) { return (n1 - n) % n1; }
inline std::int64_t sliceOfPlane(std::int64_t p, std::int64_t n1) { return (n1 - p) % n1; }

// Little-endian bytes appended to a buffer.
void putInt16(std::string& b, int v);
void putInt32(std::string& b, std::int32_t v);
void putFloat32(std::string& b, float v);

// Writes the bytes, or ends the run with "Could not write <name>".
void writeBytes(std::ostream& out, const std::string& bytes, const std::string& name);

// The velocity of component c at the flat index e of the planes held, row k:
// the box's value, plus the row's mean wind for u.
inline double totalVelocity(const WindBox& box, const std::vector<double>& mean, int c,
                            std::int64_t e, std::int64_t k) {
  return double(box.uvw[c][std::size_t(e)]) + (c == 0 ? mean[std::size_t(k)] : 0.0);
}

// The statistics over the whole box of value(c, total velocity) of component
// c, summed about shift plane by plane and brought together in plane order
// (collective over reduction).
template <class Value>
ComponentStatistics totalStatistics(const WindBox& box, const std::vector<double>& mean, int c,
                                    double shift, const PlaneReduction& reduction,
                                    Value&& value) {
  const std::int64_t n3 = box.grid.N3, perPlane = box.planeValues();
  return planeStatistics(box.planes(), perPlane, shift,
                         std::int64_t(box.grid.N1) * perPlane, reduction,
                         [&](std::int64_t p, std::int64_t e) {
                           return value(c, totalVelocity(box, mean, c, p * perPlane + e, e % n3));
                         });
}

// Consecutive slices first .. first + count - 1 of a file.
struct SliceRun {
  std::int64_t first = 0, count = 0;
};

// The slices of the planes first .. first + planes - 1 of a box of n1 planes,
// as at most two runs in increasing order; of the planes held.
std::vector<SliceRun> sliceRuns(std::int64_t first, std::int64_t planes, std::int64_t n1);
inline std::vector<SliceRun> sliceRuns(const WindBox& box) {
  return sliceRuns(box.first, box.planes(), box.grid.N1);
}

// Appends slice n (from a plane held): int16[NZ][NY][3], each velocity v of
// component c stored as code(c, v).
template <class Code>
void appendSlice(const WindBox& box, const std::vector<double>& mean, std::int64_t n,
                 Code&& code, std::string& out) {
  const std::int64_t n2 = box.grid.N2, n3 = box.grid.N3;
  const std::int64_t i = planeOfSlice(n, box.grid.N1) - box.first;
  for (std::int64_t k = 0; k < n3; ++k)
    for (std::int64_t j = 0; j < n2; ++j)
      for (int c = 0; c < 3; ++c)
        putInt16(out, code(c, totalVelocity(box, mean, c, (i * n2 + j) * n3 + k, k)));
}

}  // namespace detail

// The body of both formats from a box held whole: its N1 slices in order,
// encoded by slice(n, out), written to out.
template <class Slice>
void writeSlices(std::ostream& out, const WindBox& box, const std::string& name,
                 Slice&& slice) {
  std::string bytes;
  bytes.reserve(std::size_t(box.planeValues() * 3 * 2));
  for (std::int64_t n = 0; n < box.grid.N1; ++n) {
    bytes.clear();
    slice(n, bytes);
    detail::writeBytes(out, bytes, name);
  }
}

}  // namespace wind
