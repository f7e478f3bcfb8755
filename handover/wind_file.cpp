#include "handover/wind_file.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <ostream>

#include "handover/placement.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"
#include "support/version.hpp"

namespace wind {

namespace {

constexpr const char* kComponentNames[] = {"u", "v", "w"};

// The name without the extension of its last path component.
std::string withoutExtension(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = name.find_last_of('.');
  // A leading dot (".u") is not an extension.
  return dot != std::string::npos && dot > base ? name.substr(0, dot) : name;
}

}  // namespace

WindFileFormat parseWindFileFormat(const std::string& text) {
  if (text == "raw") return WindFileFormat::raw;
  if (text == "bts") return WindFileFormat::bts;
  if (text == "wnd") return WindFileFormat::wnd;
  if (text == "netcdf") return WindFileFormat::netcdf;
  fatalError("--format: '" + text + "' is not a format (raw, bts, wnd or netcdf)");
}

const char* windFileFormatName(WindFileFormat f) {
  switch (f) {
    case WindFileFormat::bts: return "bts";
    case WindFileFormat::wnd: return "wnd";
    case WindFileFormat::netcdf: return "netcdf";
    case WindFileFormat::raw: break;
  }
  return "raw";
}

void checkWindFileInput(const SimulationInput& in, WindFileFormat f) {
  if (f == WindFileFormat::raw) return;
  if (in.fieldDim != 3 || in.nComp != 3)
    fatalError(std::string("--format ") + windFileFormatName(f) +
               " needs a three-dimensional field of three components (fieldDim 3, nComp 3)");
}

std::string boxName(const SimulationInput& run) {
  const std::string first = run.fname[0];
  std::size_t prefix = first.size(), suffix = first.size();
  for (int c = 1; c < run.nComp; ++c) {
    const std::string& name = run.fname[c];
    std::size_t p = 0;
    while (p < prefix && p < name.size() && name[p] == first[p]) ++p;
    prefix = p;
    std::size_t s = 0;
    while (s < suffix && s < name.size() &&
           name[name.size() - 1 - s] == first[first.size() - 1 - s])
      ++s;
    suffix = s;
  }
  if (run.nComp < 2) return withoutExtension(first);
  // The shared prefix and suffix must not overlap in the shortest name.
  std::size_t shortest = first.size();
  for (int c = 1; c < run.nComp; ++c) shortest = std::min(shortest, run.fname[c].size());
  suffix = std::min(suffix, shortest - prefix);
  const auto separator = [](char c) { return c == '_' || c == '-' || c == '.'; };
  std::string head = first.substr(0, prefix);
  while (!head.empty() && separator(head.back())) head.pop_back();
  std::string tail = first.substr(first.size() - suffix);
  const std::size_t dot = tail.find_last_of('.');
  if (dot != std::string::npos) tail.erase(dot);
  if (head.empty() || head.back() == '/' || tail.find('/') != std::string::npos)
    return withoutExtension(first);
  // One separator between the two parts where the tail brings none.
  if (!tail.empty() && !separator(tail.front()) && head.size() < prefix) head += first[head.size()];
  return head + tail;
}

std::string windFileName(const std::string& box, WindFileFormat f) {
  switch (f) {
    case WindFileFormat::bts: return box + ".bts";
    case WindFileFormat::netcdf: return box + ".nc";
    default: return box;
  }
}

std::string btsDescription(const std::string& parameterFile, long seed, const MeanProfile& profile) {
  return "vorlan " + std::string(kVersion) + ", " + parameterFile + ", seed " +
         std::to_string(seed) + ", profile " + meanProfileText(profile);
}

namespace detail {

void checkWindBox(const WindBox& box, const std::string& name) {
  const BoxGrid& g = box.grid;
  const std::string cannot = "Cannot write " + name + ": ";
  if (g.N1 < 2 || g.N2 < 2 || g.N3 < 2)
    fatalError(cannot + "the grid needs at least 2 points along each axis, not " +
               std::to_string(g.N1) + " x " + std::to_string(g.N2) + " x " +
               std::to_string(g.N3));
  // Whole planes of the grid, the same for every component.
  const std::int64_t planes = box.planes(), n = planes * box.planeValues();
  if (box.first < 0 || box.first + planes > g.N1)
    fatalError(cannot + "planes " + std::to_string(box.first) + " to " +
               std::to_string(box.first + planes - 1) + " are not planes of the grid");
  for (int c = 0; c < 3; ++c)
    if (std::int64_t(box.uvw[c].size()) != n)
      fatalError(cannot + "component " + kComponentNames[c] + " holds " +
                 std::to_string(box.uvw[c].size()) + " values, not " + std::to_string(n));
  const char* axis[] = {"dx", "dy", "dz"};
  const float lengths[] = {g.Lbox.x, g.Lbox.y, g.Lbox.z};
  const int points[] = {g.N1, g.N2, g.N3};
  for (int d = 0; d < 3; ++d) {
    const float h = static_cast<float>(double(lengths[d]) / points[d]);
    if (!(h > 0.0f) || !std::isfinite(h))
      fatalError(cannot + "the spacing " + axis[d] + " = " + formatG6(h) +
                 " m is not positive");
  }
  const double U = box.placement.windSpeed;
  const float dt = static_cast<float>(timeStep(g, U));
  if (!(U > 0.0) || !std::isfinite(U) || !(dt > 0.0f) || !std::isfinite(dt))
    fatalError(cannot + "the mean wind speed U = " + formatG6(U) +
               " m/s gives no positive time step dx / U");
  if (!(box.placement.gridBottom > 0.0))
    fatalError(cannot + "the grid's lowest row at " + formatG6(box.placement.gridBottom) +
               " m is not above ground");
  for (int c = 0; c < 3; ++c)
    for (const float v : box.uvw[c])
      if (!std::isfinite(v))
        fatalError(cannot + "component " + kComponentNames[c] +
                   " holds a value that is not a finite number");
}

std::vector<double> rowMeanWind(const WindBox& box) {
  const double dz = spacingUp(box.grid);
  const GridPlacement& p = box.placement;
  std::vector<double> mean(std::size_t(box.grid.N3));
  for (int k = 0; k < box.grid.N3; ++k)
    mean[std::size_t(k)] =
        meanWindSpeed(box.profile, p.windSpeed, p.hubHeight, p.gridBottom + k * dz);
  return mean;
}

void putInt16(std::string& b, int v) {
  const auto u = static_cast<std::uint16_t>(v);
  b += static_cast<char>(u & 0xFF);
  b += static_cast<char>(u >> 8);
}

void putInt32(std::string& b, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int s = 0; s < 32; s += 8) b += static_cast<char>((u >> s) & 0xFF);
}

void putFloat32(std::string& b, float v) {
  putInt32(b, std::bit_cast<std::int32_t>(v));
}

std::vector<SliceRun> sliceRuns(std::int64_t first, std::int64_t planes, std::int64_t n1) {
  // Plane 0 is slice 0; planes p >= 1 are slices N1 - p, descending.
  const std::int64_t a = first, b = first + planes - 1;
  std::vector<SliceRun> runs;
  if (b < a) return runs;
  if (a == 0) runs.push_back({0, 1});
  const std::int64_t lo = std::max<std::int64_t>(a, 1);
  if (lo <= b) runs.push_back({n1 - b, b - lo + 1});
  return runs;
}

void writeBytes(std::ostream& out, const std::string& bytes, const std::string& name) {
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out) fatalError("Could not write " + name);
}

}  // namespace detail

}  // namespace wind
