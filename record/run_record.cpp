#include "record/run_record.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>
#include <nlohmann/json.hpp>

#include "record/constraints_record.hpp"
#include "record/json_bytes.hpp"
#include "record/record_blocks.hpp"
#include "simulation/layout.hpp"
#include "simulation/output_files.hpp"
#include "simulation/plane_statistics.hpp"
#include "sources/iec.hpp"
#include "sources/site_steps.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"
#include "support/version.hpp"

namespace wind {

namespace {

namespace fs = std::filesystem;
// Keys in the order the record lists them.
using json = nlohmann::ordered_json;

constexpr const char* kComponentNames[] = {"u", "v", "w"};

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

json inputBlock(const SimulationInput& in, const Vector3& lim, RandomStreamKind random,
               json& model) {
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
           {"seed", in.seed},
           {"random", randomStreamName(random)}};
  // The counter stream names the arithmetic of its deviates and amplitudes,
  // which may change with a release (a classic box is always made by the C
  // library's functions, one wave vector at a time).
  if (random == RandomStreamKind::counter) model["arithmetic"] = arithmeticName(random);
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
  // Relative to the folder the record is in, as the system resolves it: from
  // "link/a.bin.json", "../b.bin" must lead beside the link's target.
  const std::string record = runRecordName(in);
  json files = json::array();
  for (int c = 0; c < in.nComp; ++c) {
    const int comp = in.components[c];
    const ComponentStatistics& s = stats[c];
    files.push_back(
        {{"component", comp + 1},
         {"name", kComponentNames[comp]},
         {"file", in.fname[c]},
         {"path", relativeName(in.fname[c], record)},
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
json scalingBlock(const SimulationInput& in, const std::optional<IecModel>& iec,
                 const std::array<ComponentStatistics, 3>& stats) {
  if (!iec) return nullptr;
  const IecModel& m = *iec;
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

// The InflowWind block: what an InflowWind input must say to read the run's
// files (the values the template filler sets, names absolute), for a box of
// three components; null otherwise.
json openfastRecord(const SimulationInput& in, const RunDescription& run, const HandOver& h) {
  if (in.fieldDim != 3 || in.nComp != 3 || h.format == WindFileFormat::netcdf) return nullptr;
  json block = openfastJson(inflowWindSettings(in, h, std::string()), filledTemplateOf(in, h),
                            h.templateWarning);
  if (h.format != WindFileFormat::raw) return block;
  block["layout"] = layoutName(run.layout);
  if (run.layout == OutputLayout::classic)
    block["note"] =
        "These files are in the classic layout: InflowWind reads them mirrored along and "
        "across the wind (one-point statistics and spectra survive, the eddy tilt and the "
        "cross-correlations along x and y come out reversed); run vorlan with --layout "
        "inflowwind for a box that arrives with its geometry intact.";
  return block;
}

// The .bts or .wnd/.sum of a run, with the statistics of the box's components
// (the fluctuations, before the mean profile is added): null for raw files.
json windFileRecord(const SimulationInput& in, const RunDescription& run, const HandOver& h) {
  if (h.format == WindFileFormat::raw) return nullptr;
  const std::string name = windFileName(boxName(in), h.format);
  json block;
  if (h.format == WindFileFormat::netcdf) {
    block = netcdfFileJson(name, boxGridOf(in), h.placement);
    block["path"] = relativeName(name, runRecordName(in));
    block["les"]["turbulence_file"] = absoluteName(name);
  } else {
    const WindBox box{{}, boxGridOf(in), *h.placement, h.profile};
    block = windFileJson(name, box, run.handed.bts, run.handed.wnd);
    const std::string file = h.format == WindFileFormat::bts ? name : name + ".wnd";
    block["path"] = relativeName(file, runRecordName(in));
  }
  json comps = json::array();
  for (int c = 0; c < in.nComp; ++c) {
    const ComponentStatistics& st = run.statistics[std::size_t(c)];
    comps.push_back({{"component", in.components[c] + 1},
                     {"name", kComponentNames[in.components[c]]},
                     {"mean", st.mean},
                     {"std", st.std},
                     {"min", st.min},
                     {"max", st.max}});
  }
  block["components"] = comps;
  return block;
}

}  // namespace

std::optional<HubFigures> recordedHubFigures(const RunDescription& run) {
  if (!run.handed.hub || run.handOver == nullptr || !run.handOver->placement) return std::nullopt;
  std::array<double, 3> boxStd{};
  for (int c = 0; c < 3; ++c) boxStd[std::size_t(c)] = run.statistics[std::size_t(c)].std;
  return withBoxStatistics(*run.handed.hub, boxStd, run.handOver->placement->windSpeed);
}

std::string runRecordName(const SimulationInput& in) { return in.fname[0] + ".json"; }

bool writesRunRecord(const SimulationInput& in) {
  std::error_code ec;
  const fs::file_status st = fs::status(in.fname[0], ec);
  return !fs::exists(st) || fs::is_regular_file(st);
}

bool isRunRecord(const std::string& name) {
  // Its first key and value, as vorlan writes them: {"record": "vorlan run record", ...
  constexpr std::size_t kHead = 256;
  std::ifstream in(name, std::ios::binary);
  std::string head(kHead, '\0');
  in.read(head.data(), std::streamsize(kHead));
  head.resize(std::size_t(in.gcount()));
  std::size_t i = 0;
  const auto expect = [&](const std::string& token) {
    while (i < head.size() && std::isspace((unsigned char)head[i])) ++i;
    if (head.compare(i, token.size(), token) != 0) return false;
    i += token.size();
    return true;
  };
  return expect("{") && expect("\"record\"") && expect(":") && expect("\"vorlan run record\"");
}

void checkRecordReplaceable(const std::string& name) {
  std::error_code ec;
  const fs::file_status st = fs::status(name, ec);
  if (!fs::exists(st)) return;
  if (!fs::is_regular_file(st) || !isRunRecord(name))
    fatalError("The run record would replace " + name + ", which is not a vorlan run record");
}

namespace {

json recordJson(const SimulationInput& in, const RunDescription& run) {
  json model;
  json input = inputBlock(in, run.limNormK, run.random, model);
  const HandOver none;
  const HandOver& h = run.handOver != nullptr ? *run.handOver : none;
  json scaling = scalingBlock(in, h.iec, run.statistics);
  if (run.handed.scaling) {
    scaling.update(iecScalingJson(*run.handed.scaling));
    scaling["note"] = "The field is scaled: component c was multiplied by factors[c] (its "
                      "standard deviation over the box was std_before[c]), which brings it to "
                      "sigma_target[c] (sigma_1, 0.8 sigma_1, 0.5 sigma_1 for u, v, w).";
  }
  json record = {{"record", "vorlan run record"},
                 {"record_version", 1},
                 {"program", run.program}};
  if (run.processes > 0) record["processes"] = run.processes;
  record.update(json{{"version", kVersion},
                 {"parameter_file", run.parameterFile},
                 {"working_directory", fs::current_path().string()},
                 {"input", input},
                 {"model", model},
                 {"grid", gridBlock(in, run.layout)},
                 {"files", h.format == WindFileFormat::raw ? filesBlock(in, run.statistics)
                                                           : json::array()},
                 {"wind_file", windFileRecord(in, run, h)},
                 {"placement", placementJson(h.placement)},
                 {"hub", hubJson(recordedHubFigures(run))},
                 {"scaling", scaling},
                 {"openfast", openfastRecord(in, run, h)},
                 {"constraints", constraintsJson(run.constraints, run.constraintOutcome)}});
  return record;
}

// The path ("hub.std[2]") of the first number under j that is not finite;
// false when there is none.
bool firstNonFinite(const json& j, const std::string& path, std::string& found, double& value) {
  if (j.is_number_float()) {
    value = j.get<double>();
    if (std::isfinite(value)) return false;
    found = path;
    return true;
  }
  if (j.is_object()) {
    for (const auto& [key, item] : j.items())
      if (firstNonFinite(item, path.empty() ? key : path + "." + key, found, value)) return true;
  } else if (j.is_array()) {
    for (std::size_t i = 0; i < j.size(); ++i)
      if (firstNonFinite(j[i], path + "[" + std::to_string(i) + "]", found, value)) return true;
  }
  return false;
}

std::string numberText(double v) { return std::isnan(v) ? "nan" : v > 0 ? "inf" : "-inf"; }

}  // namespace

void checkFiniteRun(const SimulationInput& in, const RunDescription& run) {
  // What the report adds: the grid, and what may have left single precision.
  const auto cause = [&] {
    std::string s = ": the model's values on this grid (NPoint";
    for (int d = 0; d < in.fieldDim; ++d) s.append(1, ' ').append(std::to_string(in.NPoint[d]));
    s += ", LMax";
    for (int d = 0; d < in.fieldDim; ++d) s.append(1, ' ').append(formatG6(in.LMax[d]));
    s += ")";
    if (run.constraints != nullptr) s += ", or its conditioning on the constraint series,";
    return s + " leave single precision; nothing was written. Check the box's lengths (in "
               "metres) and the source's values";
  };
  for (int c = 0; c < in.nComp; ++c) {
    const ComponentStatistics& st = run.statistics[std::size_t(c)];
    for (const double v : {st.mean, st.std, st.min, st.max})
      if (!std::isfinite(v))
        fatalError(std::string("The box's ") + kComponentNames[in.components[c]] +
                   " component holds values that are not finite numbers (its mean is " +
                   (std::isfinite(st.mean) ? formatG6(st.mean) : numberText(st.mean)) + ")" +
                   cause());
  }
  std::string path;
  double value = 0.0;
  if (firstNonFinite(recordJson(in, run), "", path, value))
    fatalError("The run's " + path + " is " + numberText(value) + ", not a finite number" +
               cause());
}

std::string runRecordText(const SimulationInput& in, const RunDescription& run) {
  return jsonTextWithBytes(recordJson(in, run), 2) + "\n";
}

}  // namespace wind
