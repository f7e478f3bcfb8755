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

}  // namespace

WndWriter::WndWriter(const WindBox& box, const PlaneReduction& reduction)
    : box_(box), mean_(detail::rowMeanWind(box)),
      U_(static_cast<float>(box.placement.windSpeed)) {
  // The turbulence intensity of each component for the header (percent; the
  // larger of its standard deviation and kPeakShare of its largest |value|, as
  // written, so that no raw value passes 20000) and the m/s of one raw step.
  const float U = U_;
  const auto written = [U](int c, double v) { return writtenValue(c, v, U); };
  for (int c = 0; c < 3; ++c) {
    const ComponentStatistics sums = detail::totalStatistics(box, mean_, c, 0.0, reduction, written);
    const double peak = std::max(std::abs(sums.min), std::abs(sums.max));
    const double sigma =
        detail::totalStatistics(box, mean_, c, sums.mean, reduction, written).std;
    q_.tiPercent[c] = peak > 0.0
                          ? static_cast<float>(100.0 * std::max(sigma, kPeakShare * peak) /
                                               double(U))
                          : kZeroComponentTi;
    scale_[c] = double(U) * double(q_.tiPercent[c]) / 100.0 / kRawPerScale;
  }
}

std::string WndWriter::header(long seed) const {
  const BoxGrid& g = box_.grid;
  const GridPlacement& p = box_.placement;
  const double dz = spacingUp(g), dy = spacingAcross(g), dx = spacingAlong(g);
  const float z0 =
      static_cast<float>(box_.profile.kind == ProfileKind::log ? box_.profile.z0 : 0.0);
  std::string header;
  detail::putInt16(header, kHeaderForm);
  detail::putInt16(header, kTurbulenceType);
  detail::putInt32(header, 3);
  detail::putFloat32(header, 0.0f);  // latitude
  detail::putFloat32(header, z0);
  detail::putFloat32(header, static_cast<float>(p.referenceHeight));
  for (int c = 0; c < 3; ++c) detail::putFloat32(header, q_.tiPercent[c]);
  detail::putFloat32(header, static_cast<float>(dz));
  detail::putFloat32(header, static_cast<float>(dy));
  detail::putFloat32(header, static_cast<float>(dx));
  detail::putInt32(header, static_cast<std::int32_t>(g.N1 / 2));
  detail::putFloat32(header, U_);
  for (int l = 0; l < 3; ++l) detail::putFloat32(header, 0.0f);  // length scales
  detail::putInt32(header, 0);
  detail::putInt32(header, static_cast<std::int32_t>(seed));
  detail::putInt32(header, g.N3);
  detail::putInt32(header, g.N2);
  for (int l = 0; l < 6; ++l) detail::putInt32(header, 0);
  return header;
}

void WndWriter::appendSlice(std::int64_t n, std::string& out) {
  const double U = double(U_);
  detail::appendSlice(box_, mean_, n, [&](int c, double v) {
    const double raw =
        std::round(std::clamp(writtenValue(c, v, U_) / scale_[c], -kInt16Max, kInt16Max));
    const double back = c == 0 ? U + scale_[c] * raw : c == 1 ? -scale_[c] * raw
                                                              : scale_[c] * raw;
    q_.worstError[c] = std::max(q_.worstError[c], std::abs(back - v));
    return static_cast<int>(raw);
  }, out);
}

std::string WndWriter::summary() const {
  const BoxGrid& g = box_.grid;
  const GridPlacement& p = box_.placement;
  const double dx = spacingAlong(g);
  return std::string("Summary of a Bladed-style full-field wind file written by vorlan ") +
         kVersion +
         "\n"
         "F\tClockwise rotation looking downwind\n" +
         shortestText(p.hubHeight) + "\tHub height (m)\n" +
         "Grid: " + std::to_string(g.N2) + " x " + std::to_string(g.N3) +
         " points across and up, " + std::to_string(g.N1) + " time steps of " +
         shortestText(dx / p.windSpeed) + " s\n" + "UBAR = " + shortestText(U_) + " m/s\n" +
         "TI(u) = " + shortestText(q_.tiPercent[0]) + " %\n" +
         "TI(v) = " + shortestText(q_.tiPercent[1]) + " %\n" +
         "TI(w) = " + shortestText(q_.tiPercent[2]) + " %\n" +
         "HEIGHT OFFSET = " + shortestText(p.hubHeight - p.referenceHeight) + " m\n" +
         "PERIODIC\n"
         "BLADED LEFT-HAND RULE\n";
}

WndQuantisation WndWriter::quantisation(const PlaneReduction& reduction) const {
  WndQuantisation q = q_;
  reduction.maximum(q.worstError);
  return q;
}

WndQuantisation writeWnd(std::ostream& wnd, std::ostream& sum, const WindBox& box, long seed,
                         const std::string& name) {
  detail::checkWindBox(box, name);
  const PlaneReduction whole;
  WndWriter writer(box, whole);
  detail::writeBytes(wnd, writer.header(seed), name + ".wnd");
  writeSlices(wnd, box, name + ".wnd",
              [&](std::int64_t n, std::string& s) { writer.appendSlice(n, s); });
  detail::writeBytes(sum, writer.summary(), name + ".sum");
  return writer.quantisation(whole);
}

}  // namespace wind
