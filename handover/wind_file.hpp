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
// the user knows the file by, for messages. They refuse what the readers do
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
#include "simulation/simulation_input.hpp"
#include "synthesis/grid.hpp"

namespace wind {

enum class WindFileFormat { raw, bts, wnd };

// A --format value: "raw" (the three float32 files; the default), "bts" or
// "wnd"; else "--format: '<text>' is not a format (raw, bts or wnd)".
WindFileFormat parseWindFileFormat(const std::string& text);

const char* windFileFormatName(WindFileFormat f);

// bts and wnd need a three-dimensional field of three components; else
// "--format bts needs a three-dimensional field of three components
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

// The one file of a run of format f, after its box: "<box>.bts"; for wnd the
// root name InflowWind takes ("<box>"), to which ".wnd" and ".sum" are added.
std::string windFileName(const std::string& box, WindFileFormat f);

// A box, where it stands and its mean profile.
struct WindBox {
  std::array<std::span<const float>, 3> uvw;  // classic layout, N1 N2 N3 each
  BoxGrid grid;
  GridPlacement placement;
  MeanProfile profile;
};

namespace detail {

// The refusals above, each naming the file: "Cannot write <name>: ...".
void checkWindBox(const WindBox& box, const std::string& name);

// The mean wind of each row k, in double.
std::vector<double> rowMeanWind(const WindBox& box);

// The slice n of the file is this plane of the box.
inline std::int64_t planeOfSlice(std::int64_t n, std::int64_t n1) { return (n1 - n) % n1; }

// Little-endian bytes appended to a buffer.
void putInt16(std::string& b, int v);
void putInt32(std::string& b, std::int32_t v);
void putFloat32(std::string& b, float v);

// Writes the bytes, or ends the run with "Could not write <name>".
void writeBytes(std::ostream& out, const std::string& bytes, const std::string& name);

// The velocity of component c at the box's flat index e, row k: the box's
// value, plus the row's mean wind for u.
inline double totalVelocity(const WindBox& box, const std::vector<double>& mean, int c,
                            std::int64_t e, std::int64_t k) {
  return double(box.uvw[c][std::size_t(e)]) + (c == 0 ? mean[std::size_t(k)] : 0.0);
}

// The body of both formats: N1 slices int16[NZ][NY][3], slice n from the
// box's plane planeOfSlice(n), each velocity v of component c stored as
// code(c, v).
template <class Code>
void writeSlices(std::ostream& out, const WindBox& box, const std::vector<double>& mean,
                 const std::string& name, Code&& code) {
  const std::int64_t n1 = box.grid.N1, n2 = box.grid.N2, n3 = box.grid.N3;
  std::string slice;
  slice.reserve(std::size_t(n2 * n3 * 3 * 2));
  for (std::int64_t n = 0; n < n1; ++n) {
    const std::int64_t i = planeOfSlice(n, n1);
    slice.clear();
    for (std::int64_t k = 0; k < n3; ++k)
      for (std::int64_t j = 0; j < n2; ++j)
        for (int c = 0; c < 3; ++c)
          putInt16(slice, code(c, totalVelocity(box, mean, c, (i * n2 + j) * n3 + k, k)));
    writeBytes(out, slice, name);
  }
}

}  // namespace detail

}  // namespace wind
