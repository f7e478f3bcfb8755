#include "handover/wnd_file.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <vector>

#include "handover/placement.hpp"
#include "support/print_format.hpp"
#include "support/version.hpp"

namespace wind {

namespace {

constexpr int kHeaderForm = -99;
constexpr int kTurbulenceType = 4;
constexpr double kRawPerScale = 1000.0;       // raw = 1000 c / (U TI)
constexpr double kPeakShare = 0.05;           // TI >= 0.05 max|c| / U: |raw| <= 20000
constexpr float kZeroComponentTi = 1.0f;      // percent, for a component that is zero
constexpr double kInt16Max = 32767.0;


// The value as written of a velocity v of component c (before scaling): u
// about the hub's mean wind, v pointing to -y (the left-hand rule), w as it is.
double writtenValue(int c, double v, float U) { return c == 0 ? v - double(U) : c == 1 ? -v : v; }

// Each component's turbulence intensity for the header (percent; the larger
// of its standard deviation and kPeakShare of its largest |value|, as written,
// so that no raw value passes 20000) and the m/s of one raw step.
void wndScales(const WindBox& box, const std::vector<double>& mean, float U,
               WndQuantisation& q, std::array<double, 3>& scale) {
  const std::int64_t n3 = box.grid.N3, n = std::int64_t(box.grid.N1) * box.grid.N2 * n3;
  for (int c = 0; c < 3; ++c) {
    double s = 0.0, s2 = 0.0, peak = 0.0;
    for (std::int64_t e = 0; e < n; ++e) {
      const double x = writtenValue(c, detail::totalVelocity(box, mean, c, e, e % n3), U);
      s += x;
      peak = std::max(peak, std::abs(x));
    }
    const double m = s / double(n);
    for (std::int64_t e = 0; e < n; ++e) {
      const double d = writtenValue(c, detail::totalVelocity(box, mean, c, e, e % n3), U) - m;
      s2 += d * d;
    }
    const double sigma = std::sqrt(s2 / double(n));
    q.tiPercent[c] = peak > 0.0
                         ? static_cast<float>(100.0 * std::max(sigma, kPeakShare * peak) /
                                              double(U))
                         : kZeroComponentTi;
    scale[c] = double(U) * double(q.tiPercent[c]) / 100.0 / kRawPerScale;
  }
}

}  // namespace

WndQuantisation writeWnd(std::ostream& wnd, std::ostream& sum, const WindBox& box, long seed,
                         const std::string& name) {
  detail::checkWindBox(box, name);
  const BoxGrid& g = box.grid;
  const std::int64_t n1 = g.N1;
  const GridPlacement& p = box.placement;
  const float U = static_cast<float>(p.windSpeed);
  const std::vector<double> mean = detail::rowMeanWind(box);
  WndQuantisation q;
  std::array<double, 3> scale{};
  wndScales(box, mean, U, q, scale);

  const double dz = spacingUp(g), dy = spacingAcross(g), dx = spacingAlong(g);
  const float z0 = static_cast<float>(box.profile.kind == ProfileKind::log ? box.profile.z0 : 0.0);
  std::string header;
  detail::putInt16(header, kHeaderForm);
  detail::putInt16(header, kTurbulenceType);
  detail::putInt32(header, 3);
  detail::putFloat32(header, 0.0f);  // latitude
  detail::putFloat32(header, z0);
  detail::putFloat32(header, static_cast<float>(p.referenceHeight));
  for (int c = 0; c < 3; ++c) detail::putFloat32(header, q.tiPercent[c]);
  detail::putFloat32(header, static_cast<float>(dz));
  detail::putFloat32(header, static_cast<float>(dy));
  detail::putFloat32(header, static_cast<float>(dx));
  detail::putInt32(header, static_cast<std::int32_t>(n1 / 2));
  detail::putFloat32(header, U);
  for (int l = 0; l < 3; ++l) detail::putFloat32(header, 0.0f);  // length scales
  detail::putInt32(header, 0);
  detail::putInt32(header, static_cast<std::int32_t>(seed));
  detail::putInt32(header, g.N3);
  detail::putInt32(header, g.N2);
  for (int l = 0; l < 6; ++l) detail::putInt32(header, 0);
  detail::writeBytes(wnd, header, name + ".wnd");

  detail::writeSlices(wnd, box, mean, name + ".wnd", [&](int c, double v) {
    const double raw =
        std::round(std::clamp(writtenValue(c, v, U) / scale[c], -kInt16Max, kInt16Max));
    const double back = c == 0 ? double(U) + scale[c] * raw : c == 1 ? -scale[c] * raw
                                                                     : scale[c] * raw;
    q.worstError[c] = std::max(q.worstError[c], std::abs(back - v));
    return static_cast<int>(raw);
  });

  const std::string text =
      std::string("Summary of a Bladed-style full-field wind file written by vorlan ") + kVersion +
      "\n"
      "F\tClockwise rotation looking downwind\n" +
      shortestText(p.hubHeight) + "\tHub height (m)\n" +
      "Grid: " + std::to_string(g.N2) + " x " + std::to_string(g.N3) + " points across and up, " +
      std::to_string(g.N1) + " time steps of " + shortestText(dx / p.windSpeed) + " s\n" +
      "UBAR = " + shortestText(U) + " m/s\n" +
      "TI(u) = " + shortestText(q.tiPercent[0]) + " %\n" +
      "TI(v) = " + shortestText(q.tiPercent[1]) + " %\n" +
      "TI(w) = " + shortestText(q.tiPercent[2]) + " %\n" +
      "HEIGHT OFFSET = " + shortestText(p.hubHeight - p.referenceHeight) + " m\n" +
      "PERIODIC\n"
      "BLADED LEFT-HAND RULE\n";
  detail::writeBytes(sum, text, name + ".sum");
  return q;
}

}  // namespace wind
