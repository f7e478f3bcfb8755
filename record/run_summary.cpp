#include "record/run_summary.hpp"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "handover/placement.hpp"
#include "numerics/arrays.hpp"
#include "sources/iec.hpp"
#include "sources/site_steps.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"
#include "tensor/spectra.hpp"

namespace wind {

namespace {

constexpr const char* kFirstLine = "vorlan run summary: ";
constexpr double kTwoPi = 6.283185307179586476925;
constexpr const char* kComponentNames[] = {"u", "v", "w"};
// The spectral tolerance of the spectrum calculator, and the range of k1 L
// within which its cross-spectra converge with room to spare.
constexpr float kCoherenceTol = 0.0001f;
constexpr double kMinK1L = 1e-3, kMaxK1L = 1e3;
// A hub within this fraction of dz of a row is on it.
constexpr double kOnRow = 1e-9;

// Four significant digits ("%.4g").
std::string g4(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4g", v == 0.0 ? 0.0 : v);
  return buf;
}

std::string percent(double fraction) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f %%", 100.0 * fraction);
  return buf;
}

// A table's line without its trailing blanks, ended.
std::string trimmed(std::string line) {
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line + "\n";
}

// s padded with blanks to width.
std::string cell(const std::string& s, std::size_t width) {
  return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' ');
}

std::string boxLine(const SimulationInput& in) {
  const BoxGrid g = boxGridOf(in);
  return "  box         " + std::to_string(g.N1) + " x " + std::to_string(g.N2) + " x " +
         std::to_string(g.N3) + " points over " + shortestText(in.LMax[0]) + " x " +
         shortestText(in.LMax[1]) + " x " + shortestText(in.LMax[2]) + " m; dx " +
         g4(spacingAlong(g)) + " m, dy " + g4(spacingAcross(g)) + " m, dz " +
         g4(spacingUp(g)) + " m\n";
}

std::string gridLines(const SimulationInput& in, const GridPlacement& p) {
  const BoxGrid g = boxGridOf(in);
  const double width = (g.N2 - 1) * spacingAcross(g), height = (g.N3 - 1) * spacingUp(g);
  const double rows = (p.hubHeight - p.gridBottom) / spacingUp(g);
  const long k = std::lround(std::floor(rows + kOnRow));
  std::string where;
  if (p.hubHeight < p.gridBottom || p.hubHeight > p.gridTop)
    where = "outside the rows";
  else if (rows - double(k) <= kOnRow)
    where = "on row " + std::to_string(k + 1);
  else
    where = "between rows " + std::to_string(k + 1) + " and " + std::to_string(k + 2);
  std::string t = "  grid        " + g4(width) + " m wide (y from " + g4(-width / 2) + " to " +
                  g4(width / 2) + " m, centred on the hub) and " + g4(height) +
                  " m high: rows from " + g4(p.gridBottom) + " to " + g4(p.gridTop) +
                  " m above ground; hub at " + g4(p.hubHeight) + " m, " + where + " (of " +
                  std::to_string(g.N3) + "), between columns " + std::to_string(g.N2 / 2) +
                  " and " + std::to_string(g.N2 / 2 + 1) + "\n";
  if (!p.warning.empty()) t += "  warning     " + p.warning + "\n";
  return t;
}

std::string timeLine(const SimulationInput& in, const GridPlacement& p) {
  const BoxGrid g = boxGridOf(in);
  const double dt = timeStep(g, p.windSpeed), period = g.N1 * dt;
  return "  time        dt " + g4(dt) + " s, Nyquist frequency " + g4(0.5 / dt) +
         " Hz; usable " + g4(period) + " s (" + std::to_string(g.N1) +
         " steps); periodic: the wind repeats after " + g4(period) + " s\n";
}

std::string turbulenceLines(const SimulationInput& in, const RunDescription& run) {
  const std::optional<HubFigures> hub = recordedHubFigures(run);
  const HandOver* h = run.handOver;
  const bool targets = hub && hub->sigmaTarget;
  std::string t = "  turbulence  ";
  if (hub)
    t += "at the hub: " + std::string(hub->points) + "; TI = sigma / " +
         g4(h->placement->windSpeed) + " m/s";
  else
    t += "over the box (no wind speed and hub height: no hub figures or TI)";
  if (targets) t += "; IEC 61400-1 targets sigma_1, 0.8 sigma_1, 0.5 sigma_1";
  t += "\n";
  constexpr std::size_t w = 12;
  std::string header = "              ";
  if (hub) header += cell("sigma hub", w) + cell("TI hub", w);
  header += cell("sigma box", w);
  if (hub) header += cell("TI box", w);
  if (targets) header += cell("sigma IEC", w) + cell("TI IEC", w) + cell("hub / IEC", w);
  t += trimmed(header);
  for (int c = 0; c < in.nComp; ++c) {
    const std::size_t i = std::size_t(c);
    std::string row = "    " + cell(kComponentNames[in.components[c]], 10);
    if (hub) row += cell(g4(hub->std[i]) + " m/s", w) + cell(percent(hub->TI[i]), w);
    row += cell(g4(run.statistics[i].std) + " m/s", w);
    if (hub) row += cell(percent(hub->boxTI[i]), w);
    if (targets) {
      const double target = (*hub->sigmaTarget)[i];
      row += cell(g4(target) + " m/s", w) + cell(percent((*hub->TITarget)[i]), w) +
             cell(target > 0.0 ? g4(hub->std[i] / target) : std::string("-"), w);
    }
    t += trimmed(row);
  }
  if (run.handed.scaling)
    t += "              scaled to IEC's targets over the box (--scale iec); the hub differs "
         "by the chance of one box at four grid points\n";
  return t;
}

std::string coherenceLines(const ModelCoherence& m) {
  std::string t = "  coherence   of u between two points across the wind: the model's co-coherence "
                  "(co-spectrum / spectrum; the quad-spectrum is 0 across the wind) and IEC's "
                  "exponential model (L_c = " + g4(m.coherenceScale) + " m)\n";
  constexpr std::size_t w = 10;
  std::string header = "              " + cell("f (Hz)", 10);
  for (const double f : m.frequency) header += cell(g4(f), w);
  t += trimmed(header);
  for (std::size_t s = 0; s < 2; ++s) {
    for (int which = 0; which < 2; ++which) {
      std::string row = "    " + cell(which == 0 ? g4(m.separation[s]) + " m" : std::string(), 10) +
                        cell(which == 0 ? "model" : "IEC", 10);
      for (const double c : which == 0 ? m.model[s] : m.iec[s]) row += cell(g4(c), w);
      t += trimmed(row);
    }
  }
  return t;
}

}  // namespace

std::optional<ModelCoherence> modelCoherence(const SimulationInput& in,
                                             const UpstreamTables& tables, const HandOver& h) {
  if (in.fieldDim != 3 || !h.placement || in.source == ParameterSource::Kaimal1d ||
      in.source == ParameterSource::TwoD)
    return std::nullopt;
  bool hasU = false;
  for (int c = 0; c < in.nComp; ++c) hasU = hasU || in.components[c] == 0;
  if (!hasU) return std::nullopt;
  const BoxGrid g = boxGridOf(in);
  const double U = h.placement->windSpeed, dt = timeStep(g, U);
  const TensorModel model = siteTensorModel(in, &tables);
  const double L = double(model.params.L);
  ModelCoherence m;
  m.separation = {(g.N2 / 4) * spacingAcross(g), (g.N2 / 2) * spacingAcross(g)};
  const double lambda1 = iecLambda1(h.placement->hubHeight);
  m.coherenceScale = iecCoherenceScale(lambda1);
  for (const double f : kCoherenceFrequencies) {
    const double k1L = kTwoPi * f / U * L;
    if (f >= 1.0 / (g.N1 * dt) && f <= 0.5 / dt && k1L >= kMinK1L && k1L <= kMaxK1L)
      m.frequency.push_back(f);
  }
  model.checkTables();
  const int pair[2] = {0, 0};
  for (std::size_t s = 0; s < 2; ++s) {
    for (const double f : m.frequency) {
      Matrix r = matrix(0, 1, 0, 1);
      crossSpectrum(model, static_cast<float>(kTwoPi * f / U), static_cast<float>(m.separation[s]),
                    0.0f, std::span<const int, 2>(pair), kCrossSpectrumPoints, kCoherenceTol, r);
      const double spectrum = r[0][0];
      m.model[s].push_back(spectrum > 0.0 ? double(r[1][0]) / spectrum : 0.0);
      m.iec[s].push_back(iecCoherence(m.separation[s], f, U, lambda1));
    }
  }
  return m;
}

bool writesRunSummary(const SimulationInput& in) {
  return in.fieldDim == 3 && writesRunRecord(in);
}

std::string runSummaryName(const SimulationInput& in) { return in.fname[0] + ".summary.txt"; }

void checkSummaryReplaceable(const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::status(name, ec);
  if (!fs::exists(st)) return;
  std::string head(std::char_traits<char>::length(kFirstLine), '\0');
  if (fs::is_regular_file(st)) {
    std::ifstream file(name, std::ios::binary);
    file.read(head.data(), std::streamsize(head.size()));
    head.resize(std::size_t(file.gcount()));
  }
  if (!fs::is_regular_file(st) || head != kFirstLine)
    fatalError("The run summary would replace " + name + ", which is not a vorlan run summary");
}

std::string runSummaryText(const SimulationInput& in, const RunDescription& run,
                           const std::optional<ModelCoherence>& coherence) {
  const HandOver none;
  const HandOver& h = run.handOver != nullptr ? *run.handOver : none;
  std::string t = std::string(kFirstLine) + run.parameterFile + ", seed " +
                  std::to_string(in.seed) + "\n";
  t += "  files      ";
  for (const std::string& name : runOutputNames(in, h)) t += " " + name;
  t += " (record " + runRecordName(in) + ")\n";
  t += boxLine(in);
  if (h.placement) {
    t += gridLines(in, *h.placement);
    t += timeLine(in, *h.placement);
    t += "  mean wind   " + g4(h.placement->windSpeed) + " m/s at the hub; profile " +
         meanProfileText(h.profile) +
         (h.format == WindFileFormat::raw ? " (for InflowWind's own: the raw files hold none)"
                                          : " (in the file)") +
         "\n";
  } else {
    t += "  placement   none: give --wind-speed and --hub-height for the grid's heights, the "
         "time step, the hub figures and the coherence\n";
  }
  t += turbulenceLines(in, run);
  if (coherence && !coherence->frequency.empty()) t += coherenceLines(*coherence);
  return t;
}

}  // namespace wind
