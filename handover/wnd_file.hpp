#pragma once
// The Bladed-style full-field file, .wnd with its summary .sum, as InflowWind
// reads them (WindType 4, given the root name).
//
// .wnd (little-endian, no padding): a 104-byte header
//   int16 -99 (header form), int16 4 (turbulence type), int32 3 components,
//   float32 latitude 0, roughness length (the log profile's z0, else 0),
//   reference height (the grid's middle row), TI of u, v, w (percent),
//   dz, dy, dx = U dt, int32 N1/2, float32 U, three zero length scales, int32 0,
//   int32 seed, int32 NZ, NY, 24 zero bytes
// then N1 slices int16[NZ][NY][3] (component fastest, then y, then z), placed
// in time and across the wind as in handover/wind_file.hpp. A reader decodes
//   u = U + s_u raw_u,  v = -s_v raw_v,  w = s_w raw_w,   s_c = 0.001 U TI_c/100
// (the minus: the .sum names the left-hand rule, under which +v in the file
// points to -y; v is written negated, so the reader returns +y to the left).
// u in the file is therefore the deviation from the hub-height mean U: the
// box's u plus the mean profile minus U, shear included.
//
// Scale: TI_c = max(sigma_c, 0.05 max|c|) / U over the whole file, c the value
// as written (u - U, -v, w) and sigma_c its population standard deviation
// (its sums taken plane by plane, simulation/plane_statistics.hpp), so
// |raw| <= 20000; raw = round(c / s_c) with s_c from the stored float32 U and
// TI. A component that is zero everywhere gets TI 1 % (its raw values are 0).
//
// .sum (text, lines read in this order by keyword): the clockwise line "F",
// the hub height, UBAR = U (the same float as the header), TI(u), TI(v),
// TI(w) in percent (the header's floats, printed exactly), HEIGHT OFFSET =
// hub height - reference height, PERIODIC, BLADED LEFT-HAND RULE. No other
// line carries a keyword, and no user text is written into it.

#include <array>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "handover/wind_file.hpp"

namespace wind {

struct WndQuantisation {
  std::array<float, 3> tiPercent{};    // as stored in the header and the .sum, u v w
  std::array<double, 3> worstError{};  // m/s, u v w
};

// Writes root.wnd to wnd and root.sum to sum (binary streams) from a box held
// whole; name is the root name for messages. seed is informational.
WndQuantisation writeWnd(std::ostream& wnd, std::ostream& sum, const WindBox& box, long seed,
                         const std::string& name);

// The steps of writeWnd for a box held in planes by several processes (the
// box checked first, detail::checkWindBox): the constructor and quantisation
// are collective over the reduction; the .wnd is the header at offset 0 and
// slice n at header size + n sliceBytes().
class WndWriter {
 public:
  // Each component's TI from its sums over the whole box: the values as
  // written summed plane by plane, then about their mean.
  WndWriter(const WindBox& box, const PlaneReduction& reduction);
  std::string header(long seed) const;
  std::int64_t sliceBytes() const { return box_.planeValues() * 3 * 2; }
  // Appends slice n, from a plane this process holds.
  void appendSlice(std::int64_t n, std::string& out);
  // The .sum's text.
  std::string summary() const;
  // The TIs and the worst errors over the whole box.
  WndQuantisation quantisation(const PlaneReduction& reduction) const;

 private:
  const WindBox& box_;
  std::vector<double> mean_;
  float U_;
  WndQuantisation q_;
  std::array<double, 3> scale_{};  // m/s of one raw step
};

}  // namespace wind
