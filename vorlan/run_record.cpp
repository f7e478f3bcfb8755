#include "vorlan/run_record.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <nlohmann/json.hpp>

#include "numerics/fatal_error.hpp"
#include "numerics/print_format.hpp"
#include "numerics/version.hpp"
#include "sources/iec.hpp"
#include "sources/site_steps.hpp"
#include "vorlan/constraints_record.hpp"
#include "vorlan/layout.hpp"

namespace wind {

namespace {

namespace fs = std::filesystem;
// Keys in the order the record lists them.
using json = nlohmann::ordered_json;

constexpr const char* kComponentNames[] = {"u", "v", "w"};
constexpr const char* kInflowWindFormat = "InflowWind's full-field binary box (WindType 5)";
constexpr int kInflowWindType = 5;

// A float input as the decimal that was typed, which the JSON writer prints
// with those same digits (0.1f -> 0.1).
json floatValue(float f) { return shortestDecimal(f); }

template <class T>
json firstOf(const T* values, int n) {
  json a = json::array();
  for (int d = 0; d < n; ++d) a.push_back(values[d]);
  return a;
}

json floatsOf(const float* values, int n) {
  json a = json::array();
  for (int d = 0; d < n; ++d) a.push_back(floatValue(values[d]));
  return a;
}

bool tensorModel(ParameterSource s) {
  return s != ParameterSource::Kaimal1d && s != ParameterSource::TwoD;
}

json sourceValues(const SimulationInput& in) {
  switch (in.source) {
    case ParameterSource::basic:
      return {{"alphaeps", floatValue(in.params.alphaeps)}, {"L", floatValue(in.params.L)},
              {"Gamma", floatValue(in.params.Gamma)}};
    case ParameterSource::land:
      return {{"U0", floatValue(in.U0)}, {"z", floatValue(in.z)}, {"z0", floatValue(in.z0)},
              {"SpecType", in.SpecType}};
    case ParameterSource::sea:
      return {{"U0", floatValue(in.U0)}, {"z", floatValue(in.z)}, {"SpecType", in.SpecType}};
    case ParameterSource::terrain:
      return {{"terrainFile", in.terrainFile}, {"KESTAVHeightNo", in.KESTAVHeightNo + 1},
              {"Terrain", in.Terrain}, {"Roughness", in.Roughness}, {"SpecType", in.SpecType}};
    case ParameterSource::Kaimal1d:
      return {{"ustar", floatValue(in.ustar)}, {"z", floatValue(in.z)}, {"U0", floatValue(in.U0)}};
    case ParameterSource::TwoD:
      return {{"sig2_2D", floatValue(in.sig2_2D)}, {"L_2D", floatValue(in.L_2D)}};
    case ParameterSource::iec:
      return {{"category", in.iec.category != 0 ? json(std::string(1, in.iec.category)) : json()},
              {"Iref", floatValue(in.iec.Iref)},
              {"V_hub", floatValue(in.iec.V_hub)},
              {"z_hub", floatValue(in.iec.z_hub)}};
  }
  return nullptr;
}

json inputBlock(const SimulationInput& in, const Vector3& lim, json& model) {
  json components = json::array();
  for (int c = 0; c < in.nComp; ++c) components.push_back(in.components[c] + 1);
  json input = {{"fieldDim", in.fieldDim},
                {"nComp", in.nComp},
                {"components", components},
                {"absentDim", in.fieldDim == 2 ? json(in.absentDim + 1) : json()},
                {"NPoint", firstOf(in.NPoint, in.fieldDim)},
                {"LMax", floatsOf(in.LMax, in.fieldDim)},
                {"ParameterSource", sourceKeyword(in.source)},
                {"source_values", sourceValues(in)},
                {"seed", in.seed},
                {"fname", firstOf(in.fname, in.nComp)}};
  const bool tensor = tensorModel(in.source);
  const float limK[3] = {lim.x, lim.y, lim.z};
  model = {{"alphaeps", tensor ? floatValue(in.params.alphaeps) : json()},
           {"L", tensor ? floatValue(in.params.L) : json()},
           {"Gamma", tensor ? floatValue(in.params.Gamma) : json()},
           {"Terrain", siteTensorModel(in, nullptr).Terrain},
           {"Roughness", in.source == ParameterSource::terrain && in.Roughness},
           {"LimNormK", floatsOf(limK, in.fieldDim)},
           {"seed", in.seed}};
  return input;
}

std::array<double, 3> spacing(const SimulationInput& in) {
  std::array<double, 3> h{0.0, 0.0, 0.0};
  for (int d = 0; d < in.fieldDim; ++d) h[d] = double(in.LMax[d]) / in.NPoint[d];
  return h;
}

json gridBlock(const SimulationInput& in, OutputLayout layout) {
  const std::array<int, 3> axes = gridAxes(in);
  const std::array<double, 3> h = spacing(in);
  const bool iw = layout == OutputLayout::inflowwind;
  return {{"dimensions", in.fieldDim},
          {"axes", firstOf(axes.data(), in.fieldDim)},
          {"NPoint", firstOf(in.NPoint, in.fieldDim)},
          {"LMax", floatsOf(in.LMax, in.fieldDim)},
          {"spacing", firstOf(h.data(), in.fieldDim)},
          {"index_order", "row-major, last index fastest"},
          {"position",
           iw ? "x_d = (NPoint_d - i_d) * LMax_d / NPoint_d along axes 1 and 2, "
                "x_d = (i_d - 1) * LMax_d / NPoint_d along axis 3, for i_d = 1..NPoint_d "
                "(inflowwind layout)"
              : "x_d = (i_d - 1) * LMax_d / NPoint_d for i_d = 1..NPoint_d (classic layout)"},
          {"layout", layoutName(layout)}};
}

json filesBlock(const SimulationInput& in, const std::array<ComponentStatistics, 3>& stats) {
  const fs::path recordDir = fs::absolute(runRecordName(in)).lexically_normal().parent_path();
  json files = json::array();
  for (int c = 0; c < in.nComp; ++c) {
    const int comp = in.components[c];
    const ComponentStatistics& s = stats[c];
    files.push_back(
        {{"component", comp + 1},
         {"name", kComponentNames[comp]},
         {"file", in.fname[c]},
         {"path", fs::absolute(in.fname[c]).lexically_normal().lexically_relative(recordDir).string()},
         {"units", "m/s"},
         {"value_type", "float32"},
         {"byte_order", "little-endian"},
         {"count", s.count},
         {"mean", s.mean},
         {"std", s.std},
         {"min", s.min},
         {"max", s.max}});
  }
  return files;
}

// The standard deviations a user may scale to, and the factors that get there
// from the box's own: IEC's sigma_1, 0.8 sigma_1 and 0.5 sigma_1 for u, v, w.
json scalingBlock(const SimulationInput& in, const std::array<ComponentStatistics, 3>& stats) {
  if (in.source != ParameterSource::iec) return nullptr;
  const IecModel m = iecModel(in.iec);
  const std::array<double, 3> target = iecTargetSigmas(m.sigma1);
  json comps = json::array(), sig = json::array(), sd = json::array(), f = json::array();
  for (int c = 0; c < in.nComp; ++c) {
    const int comp = in.components[c];
    comps.push_back(comp + 1);
    sig.push_back(target[comp]);
    sd.push_back(stats[c].std);
    f.push_back(stats[c].std > 0.0 ? json(target[comp] / stats[c].std) : json());
  }
  return {{"target", "IEC 61400-1 normal turbulence model"},
          {"sigma_1", m.sigma1},
          {"Lambda_1", m.Lambda1},
          {"sigma_iso", m.sigmaIso},
          {"components", comps},
          {"sigma_target", sig},
          {"std", sd},
          {"factors", f},
          {"note", "The field is not rescaled. Multiplying component c by factors[c] brings its "
                   "standard deviation over the box to sigma_target[c] (sigma_1, 0.8 sigma_1, "
                   "0.5 sigma_1 for u, v, w)."}};
}

std::string numberText(const json& v) { return v.is_null() ? std::string() : v.dump(); }

// One line of an InflowWind input file: value, key, description.
std::string inflowWindLine(const std::string& value, const char* key, const char* description) {
  std::string line = value;
  line.resize(std::max<std::size_t>(line.size() + 1, 24), ' ');
  line += key;
  line.resize(std::max<std::size_t>(line.size() + 1, 38), ' ');
  return line + "- " + description;
}

json openfastBlock(const SimulationInput& in, const RunDescription& run, const json& scaling) {
  if (in.fieldDim != 3 || in.nComp != 3) return nullptr;
  const std::array<double, 3> h = spacing(in);

  // The reference height and speed where the source knows them.
  std::optional<double> refHt, uRef;
  if (in.source == ParameterSource::iec) {
    refHt = in.iec.z_hub;
    uRef = in.iec.V_hub;
  } else if (in.source == ParameterSource::land || in.source == ParameterSource::sea) {
    refHt = in.z;
    uRef = in.U0;
  }
  const double halfHeight = (in.NPoint[2] - 1) * h[2] / 2.0;

  std::array<json, 3> sf, sigmaF;
  for (int c = 0; c < 3; ++c) {
    sf[c] = scaling.is_null() ? json(1.0) : scaling["factors"][c];
    sigmaF[c] = scaling.is_null() ? json(run.statistics[c].std) : scaling["sigma_target"][c];
  }

  json block = {{"format", kInflowWindFormat},
                {"WindType", kInflowWindType},
                {"layout", layoutName(run.layout)}};
  const char* fileKeys[] = {"FileName_u", "FileName_v", "FileName_w"};
  for (int c = 0; c < 3; ++c)
    block[fileKeys[c]] = fs::absolute(in.fname[c]).lexically_normal().string();
  block["nx"] = in.NPoint[0];
  block["ny"] = in.NPoint[1];
  block["nz"] = in.NPoint[2];
  block["dx"] = h[0];
  block["dy"] = h[1];
  block["dz"] = h[2];
  block["RefHt"] = refHt ? json(floatValue(float(*refHt))) : json();
  block["URef"] = uRef ? json(floatValue(float(*uRef))) : json();
  block["ScaleMethod"] = 0;
  block["SFx"] = sf[0];
  block["SFy"] = sf[1];
  block["SFz"] = sf[2];
  block["SigmaFx"] = sigmaF[0];
  block["SigmaFy"] = sigmaF[1];
  block["SigmaFz"] = sigmaF[2];
  block["grid_bottom"] = refHt ? json(*refHt - halfHeight) : json();

  std::string note =
      "Choose: RefHt, the height of the grid's middle row (its lowest row, RefHt - " +
      json(halfHeight).dump() +
      " m, must stay above ground); URef, the mean wind added to u at RefHt, and its "
      "profile; ScaleMethod: 0 leaves the field as it is, 1 multiplies by SFx, SFy, SFz, "
      "2 scales to SigmaFx, SigmaFy, SigmaFz at the grid's centre point (1 and 2 also "
      "remove each grid point's time mean of u).";
  if (run.layout == OutputLayout::classic)
    note += " These files are in the classic layout: InflowWind reads them mirrored along and "
            "across the wind (one-point statistics and spectra survive, the eddy tilt and the "
            "cross-correlations along x and y come out reversed); run vorlan with --layout "
            "inflowwind for a box that arrives with its geometry intact.";
  block["note"] = note;

  const std::string refHtText = refHt ? numberText(block["RefHt"]) : "<RefHt>";
  const std::string uRefText = uRef ? numberText(block["URef"]) : "<URef>";
  json lines = json::array();
  lines.push_back(inflowWindLine("5", "WindType", "full-field binary box"));
  for (int c = 0; c < 3; ++c)
    lines.push_back(inflowWindLine(json(block[fileKeys[c]]).dump(), fileKeys[c],
                                   "raw float32 file of the fluctuating component"));
  lines.push_back(inflowWindLine(std::to_string(in.NPoint[0]), "nx", "planes along the wind"));
  lines.push_back(inflowWindLine(std::to_string(in.NPoint[1]), "ny", "points across the wind"));
  lines.push_back(inflowWindLine(std::to_string(in.NPoint[2]), "nz", "points up"));
  lines.push_back(inflowWindLine(numberText(block["dx"]), "dx", "spacing along the wind (m)"));
  lines.push_back(inflowWindLine(numberText(block["dy"]), "dy", "spacing across the wind (m)"));
  lines.push_back(inflowWindLine(numberText(block["dz"]), "dz", "spacing up (m)"));
  lines.push_back(inflowWindLine(refHtText, "RefHt", "height of the grid's middle row (m)"));
  lines.push_back(inflowWindLine("0", "ScaleMethod", "0 none, 1 SFx/SFy/SFz, 2 SigmaFx/y/z"));
  lines.push_back(inflowWindLine(numberText(sf[0]), "SFx", "scaling factor of u (ScaleMethod 1)"));
  lines.push_back(inflowWindLine(numberText(sf[1]), "SFy", "scaling factor of v (ScaleMethod 1)"));
  lines.push_back(inflowWindLine(numberText(sf[2]), "SFz", "scaling factor of w (ScaleMethod 1)"));
  lines.push_back(
      inflowWindLine(numberText(sigmaF[0]), "SigmaFx", "sigma of u, m/s (ScaleMethod 2)"));
  lines.push_back(
      inflowWindLine(numberText(sigmaF[1]), "SigmaFy", "sigma of v, m/s (ScaleMethod 2)"));
  lines.push_back(
      inflowWindLine(numberText(sigmaF[2]), "SigmaFz", "sigma of w, m/s (ScaleMethod 2)"));
  lines.push_back(inflowWindLine(uRefText, "URef", "mean wind speed at RefHt (m/s)"));
  block["lines"] = lines;
  return block;
}

}  // namespace

ComponentStatistics componentStatistics(const float* data, std::int64_t n) {
  ComponentStatistics s;
  s.count = n;
  if (n <= 0) return s;
  const double shift = data[0];
  double sum = 0.0, sumSq = 0.0, lo = data[0], hi = data[0];
  for (std::int64_t i = 0; i < n; ++i) {
    const double x = data[i];
    const double d = x - shift;
    sum += d;
    sumSq += d * d;
    lo = std::min(lo, x);
    hi = std::max(hi, x);
  }
  const double meanShift = sum / double(n);
  s.mean = shift + meanShift;
  s.std = std::sqrt(std::max(0.0, sumSq / double(n) - meanShift * meanShift));
  s.min = lo;
  s.max = hi;
  return s;
}

std::array<ComponentStatistics, 3> fieldStatistics(const FieldArrays& fields) {
  std::array<ComponentStatistics, 3> stats{};
  for (int c = 0; c < fields.nComp; ++c) {
    const std::span<const float> v = fields.values(c);
    stats[c] = componentStatistics(v.data(), std::int64_t(v.size()));
  }
  return stats;
}

std::string runRecordName(const SimulationInput& in) { return in.fname[0] + ".json"; }

bool writesRunRecord(const SimulationInput& in) {
  std::error_code ec;
  const fs::file_status st = fs::status(in.fname[0], ec);
  return !fs::exists(st) || fs::is_regular_file(st);
}

void removeStaleRunRecord(const SimulationInput& in) {
  if (!writesRunRecord(in)) return;
  const std::string name = runRecordName(in);
  std::error_code ec;
  fs::remove(name, ec);
  if (ec) fatalError("Could not remove the stale run record " + name);
}

std::string runRecordText(const SimulationInput& in, const RunDescription& run) {
  json model;
  json input = inputBlock(in, run.limNormK, model);
  const json scaling = scalingBlock(in, run.statistics);
  json record = {{"record", "vorlan run record"},
                 {"record_version", 1},
                 {"program", "vorlan"},
                 {"version", kVersion},
                 {"parameter_file", run.parameterFile},
                 {"working_directory", fs::current_path().string()},
                 {"input", input},
                 {"model", model},
                 {"grid", gridBlock(in, run.layout)},
                 {"files", filesBlock(in, run.statistics)},
                 {"scaling", scaling},
                 {"openfast", openfastBlock(in, run, scaling)},
                 {"constraints", constraintsJson(run.constraints, run.constraintOutcome)}};
  return record.dump(2) + "\n";
}

void writeRunRecord(const SimulationInput& in, const RunDescription& run) {
  if (!writesRunRecord(in)) return;
  const std::string name = runRecordName(in);
  const std::string text = runRecordText(in, run);
  std::ofstream out(name, std::ios::binary);
  out << text;
  out.close();
  if (!out) fatalError("Could not write the run record " + name);
}

}  // namespace wind
