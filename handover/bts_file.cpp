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

BtsQuantisation writeBts(std::ostream& out, const WindBox& box, const std::string& description,
                         const std::string& name) {
  detail::checkWindBox(box, name);
  const BoxGrid& g = box.grid;
  const std::int64_t n1 = g.N1, n2 = g.N2, n3 = g.N3;
  const std::vector<double> mean = detail::rowMeanWind(box);

  BtsQuantisation q;
  for (int c = 0; c < 3; ++c) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (std::int64_t e = 0; e < n1 * n2 * n3; ++e) {
      const double v = detail::totalVelocity(box, mean, c, e, e % n3);
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    q.slope[c] = static_cast<float>(hi > lo ? kInt16Span / (hi - lo) : 1.0);
    q.offset[c] = static_cast<float>(kInt16Min - double(q.slope[c]) * lo);
  }

  const std::string text = asciiDescription(description);
  std::string header;
  detail::putInt16(header, kBtsPeriodicId);
  detail::putInt32(header, g.N3);
  detail::putInt32(header, g.N2);
  detail::putInt32(header, 0);  // no tower points
  detail::putInt32(header, g.N1);
  detail::putFloat32(header, static_cast<float>(spacingUp(g)));
  detail::putFloat32(header, static_cast<float>(spacingAcross(g)));
  detail::putFloat32(header,
                     static_cast<float>(timeStep(g, box.placement.windSpeed)));
  detail::putFloat32(header, static_cast<float>(box.placement.windSpeed));
  detail::putFloat32(header, static_cast<float>(box.placement.hubHeight));
  detail::putFloat32(header, static_cast<float>(box.placement.gridBottom));
  for (int c = 0; c < 3; ++c) {
    detail::putFloat32(header, q.slope[c]);
    detail::putFloat32(header, q.offset[c]);
  }
  detail::putInt32(header, static_cast<std::int32_t>(text.size()));
  detail::writeBytes(out, header + text, name);

  detail::writeSlices(out, box, mean, name, [&](int c, double v) {
    const double slope = q.slope[c], offset = q.offset[c];
    const double raw = std::round(std::clamp(slope * v + offset, kInt16Min, kInt16Max));
    q.worstError[c] = std::max(q.worstError[c], std::abs((raw - offset) / slope - v));
    return static_cast<int>(raw);
  });
  return q;
}

}  // namespace wind
