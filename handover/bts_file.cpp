#include "handover/bts_file.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "handover/placement.hpp"

namespace wind {

namespace {

constexpr double kInt16Span = 65535.0;
constexpr double kInt16Min = -32768.0;
constexpr double kInt16Max = 32767.0;

std::string asciiDescription(const std::string& text) {
  std::string s = text;
  for (char& ch : s)
    if (ch < 0x20 || ch > 0x7E) ch = '?';
  return s;
}

}  // namespace

BtsWriter::BtsWriter(const WindBox& box, const PlaneReduction& reduction)
    : box_(box), mean_(detail::rowMeanWind(box)) {
  for (int c = 0; c < 3; ++c) {
    // Only the range counts: no shift needed.
    const ComponentStatistics range =
        detail::totalStatistics(box, mean_, c, 0.0, reduction, [](int, double v) { return v; });
    const double lo = range.min, hi = range.max;
    q_.slope[c] = static_cast<float>(hi > lo ? kInt16Span / (hi - lo) : 1.0);
    q_.offset[c] = static_cast<float>(kInt16Min - double(q_.slope[c]) * lo);
  }
}

std::string BtsWriter::header(const std::string& description) const {
  const BoxGrid& g = box_.grid;
  const std::string text = asciiDescription(description);
  std::string header;
  detail::putInt16(header, kBtsPeriodicId);
  detail::putInt32(header, g.N3);
  detail::putInt32(header, g.N2);
  detail::putInt32(header, 0);  // no tower points
  detail::putInt32(header, g.N1);
  detail::putFloat32(header, static_cast<float>(spacingUp(g)));
  detail::putFloat32(header, static_cast<float>(spacingAcross(g)));
  detail::putFloat32(header, static_cast<float>(timeStep(g, box_.placement.windSpeed)));
  detail::putFloat32(header, static_cast<float>(box_.placement.windSpeed));
  detail::putFloat32(header, static_cast<float>(box_.placement.hubHeight));
  detail::putFloat32(header, static_cast<float>(box_.placement.gridBottom));
  for (int c = 0; c < 3; ++c) {
    detail::putFloat32(header, q_.slope[c]);
    detail::putFloat32(header, q_.offset[c]);
  }
  detail::putInt32(header, static_cast<std::int32_t>(text.size()));
  return header + text;
}

void BtsWriter::appendSlice(std::int64_t n, std::string& out) {
  detail::appendSlice(box_, mean_, n, [&](int c, double v) {
    const double slope = q_.slope[c], offset = q_.offset[c];
    const double raw = std::round(std::clamp(slope * v + offset, kInt16Min, kInt16Max));
    q_.worstError[c] = std::max(q_.worstError[c], std::abs((raw - offset) / slope - v));
    return static_cast<int>(raw);
  }, out);
}

BtsQuantisation BtsWriter::quantisation(const PlaneReduction& reduction) const {
  BtsQuantisation q = q_;
  reduction.maximum(q.worstError);
  return q;
}

BtsQuantisation writeBts(std::ostream& out, const WindBox& box, const std::string& description,
                         const std::string& name) {
  detail::checkWindBox(box, name);
  const PlaneReduction whole;
  BtsWriter writer(box, whole);
  detail::writeBytes(out, writer.header(description), name);
  writeSlices(out, box, name, [&](std::int64_t n, std::string& s) { writer.appendSlice(n, s); });
  return writer.quantisation(whole);
}

}  // namespace wind
