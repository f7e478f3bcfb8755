#include "handover/hub_series.hpp"

#include <cmath>
#include <cstdio>

#include "support/print_format.hpp"

namespace wind {

namespace {

constexpr double kDegreesPerRadian = 57.295779513082320876798;

// The power-law exponent that has the profile's slope d ln U / d ln z at z.
double exponentAt(const MeanProfile& p, double z) {
  switch (p.kind) {
    case ProfileKind::power: return p.alpha;
    case ProfileKind::log: return 1.0 / std::log(z / p.z0);
    case ProfileKind::none: break;
  }
  return 0.0;
}

std::string number(const char* format, double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, format, v == 0.0 ? 0.0 : v);  // no "-0"
  return buf;
}

}  // namespace

HubSeries hubSeries(const std::array<HubLines, 3>& lines, const BoxGrid& grid,
                    const GridPlacement& placement, const MeanProfile& profile, bool meanInFile) {
  HubSeries s;
  s.height = placement.hubHeight;
  s.windSpeed = placement.windSpeed;
  s.dt = timeStep(grid, placement.windSpeed);
  s.points = hubPoints(grid, placement);
  const double dz = spacingUp(grid);
  const double zLow = placement.gridBottom + double(s.points.k0) * dz;
  s.rowWeight = s.points.t;  // the hub figures' weight: the same series
  s.shearExponent = exponentAt(profile, placement.hubHeight);
  // The points' weights in the order of HubLines: (j0, k0), (j0, k0 + 1),
  // (j0 + 1, k0), (j0 + 1, k0 + 1).
  const double wz = s.rowWeight;
  const std::array<double, 4> weight{0.5 * (1.0 - wz), 0.5 * wz, 0.5 * (1.0 - wz), 0.5 * wz};
  const auto rowMean = [&](double z) {
    return meanInFile ? meanWindSpeed(profile, placement.windSpeed, placement.hubHeight, z)
                      : placement.windSpeed;
  };
  const double mean = (1.0 - wz) * rowMean(zLow) + wz * rowMean(zLow + dz);
  const std::int64_t n1 = grid.N1;
  std::array<std::vector<double>*, 3> out{&s.u, &s.v, &s.w};
  for (int c = 0; c < 3; ++c) {
    std::vector<double>& series = *out[std::size_t(c)];
    series.resize(std::size_t(n1 + 1));
    for (std::int64_t n = 0; n <= n1; ++n) {
      const std::size_t plane = std::size_t((n1 - n % n1) % n1);
      double value = c == 0 ? mean : 0.0;
      for (std::size_t p = 0; p < 4; ++p)
        value += weight[p] * double(lines[std::size_t(c)][p][plane]);
      series[std::size_t(n)] = value;
    }
  }
  return s;
}

std::string hubSeriesText(const HubSeries& s, const std::string& about) {
  const std::size_t steps = s.u.size() - 1;
  const int j = int(s.points.j0) + 1, k = int(s.points.k0) + 1;  // 1-based
  std::string t;
  t += "! Hub-height wind of " + about + " for InflowWind's uniform wind (WindType 2; RefHt_Uni " +
       formatG6(s.height) + " m).\n";
  t += "! The full field as InflowWind returns it at the hub (y = 0, z = " + formatG6(s.height) +
       " m): columns " + std::to_string(j) + " and " + std::to_string(j + 1) +
       " weighted 1/2 each, rows " + std::to_string(k) + " and " + std::to_string(k + 1) +
       " weighted " + formatG6(1.0 - s.rowWeight) + " and " + formatG6(s.rowWeight) + ".\n";
  t += "! Mean wind " + formatG6(s.windSpeed) + " m/s; time step " + formatG6(s.dt) + " s; " +
       "the box repeats after " + formatG6(double(steps) * s.dt) +
       " s (the last line repeats the first).\n";
  t += "! Direction positive counter-clockwise seen from above, 0 along +x; no turbulence across "
       "the rotor.\n";
  t += "! Time        Wind        Wind        Vertical    Horiz.      Pwr.law     Lin.vert.   Gust\n";
  t += "! (s)         speed (m/s) dir (deg)   speed (m/s) shear (-)   shear (-)   shear (-)   speed (m/s)\n";
  const std::string shears = "0           " + number("%-11.7g", s.shearExponent) + " 0           0\n";
  for (std::size_t n = 0; n <= steps; ++n) {
    const double u = s.u[n], v = s.v[n];
    t += number("%-13.9g", double(n) * s.dt) + ' ' + number("%-11.7g", std::hypot(u, v)) + ' ' +
         number("%-11.7g", std::atan2(v, u) * kDegreesPerRadian) + ' ' +
         number("%-11.7g", s.w[n]) + ' ' + shears;
  }
  return t;
}

std::string hubSeriesName(const std::string& box) { return box + ".hh"; }

}  // namespace wind
