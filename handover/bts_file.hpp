#pragma once
// TurbSim's full-field binary file, .bts, as InflowWind reads it (WindType 3).
//
// Layout (little-endian, no padding): a 70-byte header
//   int16 file id 8 (periodic in time)   int32 NZ, NY, NT (0: no tower points), NSteps
//   float32 dz, dy, dt, U, hub height, z of the lowest row
//   float32 slope and offset of u, v, w   int32 length of the description
// then the description (ASCII; other bytes become '?'), then NSteps = N1
// slices int16[NZ][NY][3] (component fastest, then y, then z), decoded as
// velocity = (raw - offset) / slope. The values are total velocities (u with
// the mean profile); placement in time and across the wind as described in
// handover/wind_file.hpp: slice n is the box's plane (N1 - n) mod N1, column j
// its row j at y = -(N2 - 1) dy / 2 + j dy. dt = dx / U.
//
// Quantisation, per component over the whole file: slope = 65535 / (max - min)
// (1 when max = min), offset = -32768 - slope min, both rounded to float32 as
// stored, and raw = round(clamp(slope v + offset, -32768, 32767)) with those
// stored values, so that the decoding a reader does is the one measured: the
// worst |decoded - value| of each component is returned (about half of
// 1/slope, (max - min) / 131070).

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "handover/wind_file.hpp"

namespace wind {

struct BtsQuantisation {
  std::array<float, 3> slope{}, offset{};  // as stored, u v w
  std::array<double, 3> worstError{};      // m/s, u v w
};

// The header's file id of a file that is periodic in time.
inline constexpr int kBtsPeriodicId = 8;

// Writes the whole .bts of a box held whole to out (binary). Refusals as in
// handover/wind_file.hpp.
BtsQuantisation writeBts(std::ostream& out, const WindBox& box, const std::string& description,
                         const std::string& name);

// The steps of writeBts for a box held in planes by several processes (the
// box checked first, detail::checkWindBox): the constructor and quantisation
// are collective over the reduction; the file is the header at offset 0 and
// slice n at header size + n sliceBytes().
class BtsWriter {
 public:
  // Each component's slope and offset from its range over the whole box.
  BtsWriter(const WindBox& box, const PlaneReduction& reduction);
  // The header followed by the description.
  std::string header(const std::string& description) const;
  std::int64_t sliceBytes() const { return box_.planeValues() * 3 * 2; }
  // Appends slice n, from a plane this process holds.
  void appendSlice(std::int64_t n, std::string& out);
  // The slopes and offsets, and the worst errors over the whole box.
  BtsQuantisation quantisation(const PlaneReduction& reduction) const;

 private:
  const WindBox& box_;
  std::vector<double> mean_;
  BtsQuantisation q_;
};

}  // namespace wind
