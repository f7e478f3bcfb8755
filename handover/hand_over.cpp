#include "handover/hand_over.hpp"

#include <fstream>
#include <iterator>
#include <ostream>

#include "handover/bts_file.hpp"
#include "handover/wnd_file.hpp"
#include "simulation/output_files.hpp"
#include "sources/iec.hpp"
#include "support/fatal_error.hpp"
#include "support/input_file.hpp"
#include "support/version.hpp"

namespace wind {

namespace {

// An InflowWind input is a page of text; anything much larger is not one.
constexpr std::streamsize kMaxTemplateBytes = 1 << 20;

std::string readTemplate(const std::string& name) {
  std::ifstream in = openInputFile(name, "Could not open the InflowWind template");
  std::string text;
  text.resize(std::size_t(kMaxTemplateBytes) + 1);
  in.read(text.data(), kMaxTemplateBytes + 1);
  text.resize(std::size_t(in.gcount()));
  if (std::streamsize(text.size()) > kMaxTemplateBytes)
    fatalError("The InflowWind template " + name + " is larger than 1 MiB: not an InflowWind input");
  return text;
}

// The options that place a box refused where nothing is placed.
void refuseOutsideBoxes(const SimulationInput& in, const HandOverOptions& o) {
  if (in.fieldDim == 3) return;
  const auto refuse = [](const char* option) {
    fatalError(std::string(option) + ": only for three-dimensional fields");
  };
  if (o.windSpeed) refuse("--wind-speed");
  if (o.hubHeight) refuse("--hub-height");
  if (o.gridBottom) refuse("--grid-bottom");
  if (o.hubOnRow) refuse("--hub-on-row");
  if (o.profile) refuse("--profile");
}

// The placement of the run's grid (see the header), or none.
std::optional<GridPlacement> placementOf(const SimulationInput& in, const HandOverOptions& o) {
  if (in.fieldDim != 3) return std::nullopt;
  if (o.hubOnRow && o.gridBottom)
    fatalError("--hub-on-row and --grid-bottom both place the grid's rows: give one of them");
  const BoxGrid grid = boxGridOf(in);
  const auto placed = [&](const WindAtHub& hub) {
    return o.hubOnRow ? placeGridHubOnRow(grid, hub) : placeGrid(grid, hub, o.gridBottom);
  };
  // A wind file, and the series of --constraints, go where the grid stands:
  // it must stand above ground as it is, not as proposed.
  if (quantisedFormat(o.format) || o.constrained()) {
    const std::string what = quantisedFormat(o.format)
                                 ? std::string("--format ") + windFileFormatName(o.format)
                                 : std::string("--constraints");
    return placed(resolveWindAtHub(in, o.windSpeed, o.hubHeight, what));
  }
  if (!sourceWindAtHub(in) && !o.windSpeed && !o.hubHeight) {
    if (o.gridBottom || o.hubOnRow)
      fatalError(std::string(o.hubOnRow ? "--hub-on-row" : "--grid-bottom") + ": the " +
                 sourceKeyword(in.source) +
                 " source gives no wind speed and hub height; give --wind-speed and --hub-height");
    return std::nullopt;
  }
  const WindAtHub hub = resolveWindAtHub(in, o.windSpeed, o.hubHeight, "The grid's placement");
  if (o.gridBottom || o.hubOnRow) return placed(hub);
  return proposePlacement(grid, hub, sourceWindAtHub(in) ? sourceHeightLabel(in) : "--hub-height");
}

WindBox windBoxOf(const SimulationInput& run, const HandOver& h, const FieldArrays& fields) {
  WindBox box{{}, boxGridOf(run), *h.placement, h.profile};
  for (int c = 0; c < 3; ++c) box.uvw[std::size_t(c)] = fields.values(c);
  return box;
}

// Names derived from the outputs (a wind file, the filled template or input,
// the hub series) are refused beside a device or a pipe: /dev/null.bts would
// be a file in /dev.
void checkDerivedNames(const SimulationInput& in, const HandOverOptions& o) {
  if (!isDeviceOrPipe(in.fname[0])) return;
  std::string derived;
  if (o.format != WindFileFormat::raw)
    derived = "the ." + std::string(windFileFormatName(o.format)) + " file " +
              windFileNames(in, o.format).front();
  else if (!o.openfastTemplate.empty())
    derived = "the filled InflowWind input " + filledTemplateName(in.fname[0], o.openfastTemplate);
  else if (o.openfastInput)
    derived = "the filled InflowWind input " + boxName(in) + "_" + kShippedInputName;
  else if (o.hubSeries)
    derived = "the hub series " + hubSeriesName(boxName(in));
  if (!derived.empty()) refuseDerivedName(in.fname[0], derived);
}

}  // namespace

bool quantisedFormat(WindFileFormat f) {
  return f == WindFileFormat::bts || f == WindFileFormat::wnd;
}

std::string templateLabel(const HandOver& h) {
  return h.shippedTemplate ? std::string("shipped with vorlan") : h.templateFile;
}

HandOver planHandOver(const SimulationInput& in, const HandOverOptions& o) {
  HandOver h;
  h.format = o.format;
  if (in.source == ParameterSource::iec) h.iec = iecModel(in.iec);
  if (o.format == WindFileFormat::netcdf) checkNetcdfBuild();
  checkWindFileInput(in, o.format);
  if (o.format != WindFileFormat::raw && o.layout == OutputLayout::inflowwind)
    fatalError("--layout inflowwind orders the raw files; a ." +
               std::string(windFileFormatName(o.format)) +
               " file has its own order: leave --layout out");
  if (o.scaleIec && in.source != ParameterSource::iec)
    fatalError("--scale iec needs the iec source, whose class gives the targets");
  refuseOutsideBoxes(in, o);
  if (o.format == WindFileFormat::netcdf) {
    if (o.profile)
      fatalError("--profile: a NetCDF file holds the box without a mean wind (the LES input "
                 "sets its own profile); leave --profile out");
    if (!o.openfastTemplate.empty())
      fatalError("--openfast-template: InflowWind does not read NetCDF files; leave the "
                 "template out, or write --format raw, bts or wnd");
  }
  h.placement = placementOf(in, o);
  h.profile = o.profile.value_or(defaultMeanProfile(in));
  // Every format hands the profile on: the wind files hold it, the raw files'
  // URef (the record, the filled template) is its value at the reference height.
  if (h.placement) checkMeanProfile(h.profile, *h.placement);
  checkDerivedNames(in, o);
  h.scaleIec = o.scaleIec;
  if (o.hubSeries) {
    if (in.fieldDim != 3 || in.nComp != 3)
      fatalError("--hub-series needs a three-dimensional field of three components "
                 "(fieldDim 3, nComp 3)");
    // The mean wind and the hub height: the source's or the options'.
    if (!h.placement) resolveWindAtHub(in, o.windSpeed, o.hubHeight, "--hub-series");
    h.hubSeries = true;
  }
  if (!o.openfastTemplate.empty() && o.openfastInput)
    fatalError("--openfast-template and --openfast-input both write an InflowWind input: give "
               "one of them");
  if (!o.openfastTemplate.empty() || o.openfastInput) {
    if (in.fieldDim != 3 || in.nComp != 3)
      fatalError(std::string(o.openfastInput ? "--openfast-input" : "--openfast-template") +
                 " needs a three-dimensional field of three components (fieldDim 3, nComp 3)");
    h.templateFile = o.openfastTemplate;
    h.shippedTemplate = o.openfastInput;
    h.templateText = o.openfastInput ? std::string(shippedInflowWindInput())
                                     : readTemplate(h.templateFile);
    // Every value is known now: a template without the keys fails before any work.
    const InflowWindSettings settings = inflowWindSettings(in, h, filledTemplateOf(in, h));
    fillInflowWindTemplate(h.templateText, settings, templateLabel(h));
    h.templateWarning = inflowWindScalingWarning(h.templateText, settings, templateLabel(h));
  }
  return h;
}

std::vector<std::string> windFileNames(const SimulationInput& run, WindFileFormat f) {
  const std::string name = windFileName(boxName(run), f);
  if (f != WindFileFormat::wnd) return {name};
  return {name + ".wnd", name + ".sum"};
}

std::vector<std::string> runOutputNames(const SimulationInput& run, const HandOver& h) {
  std::vector<std::string> names;
  if (h.format == WindFileFormat::raw) names.assign(run.fname, run.fname + run.nComp);
  else names = windFileNames(run, h.format);
  if (h.hubSeries) names.push_back(hubSeriesName(boxName(run)));
  if (h.fillsTemplate()) names.push_back(filledTemplateOf(run, h));
  return names;
}

std::string filledTemplateOf(const SimulationInput& run, const HandOver& h) {
  if (h.shippedTemplate) return boxName(run) + "_" + kShippedInputName;
  return h.templateFile.empty() ? std::string() : filledTemplateName(run.fname[0], h.templateFile);
}

InflowWindSettings inflowWindSettings(const SimulationInput& run, const HandOver& h,
                                      const std::string& from) {
  const auto named = [&](const std::string& name) {
    return from.empty() ? absoluteName(name) : relativeName(name, from);
  };
  InflowWindSettings s;
  s.format = h.format;
  for (int c = 0; c < run.nComp && c < 3; ++c) s.rawFiles[std::size_t(c)] = named(run.fname[c]);
  if (h.format != WindFileFormat::raw) s.windFile = named(windFileName(boxName(run), h.format));
  s.grid = boxGridOf(run);
  if (h.placement) {
    s.referenceHeight = h.placement->referenceHeight;
    s.uRef = meanWindSpeed(h.profile, h.placement->windSpeed, h.placement->hubHeight,
                           h.placement->referenceHeight);
  }
  s.scaled = h.scaleIec;
  if (h.hubSeries) s.hubSeries = named(hubSeriesName(boxName(run)));
  if (h.placement) s.hubHeight = h.placement->hubHeight;
  s.shipped = h.shippedTemplate;
  s.profile = h.profile;
  return s;
}

void printHandOver(std::ostream& echo, const SimulationInput& in, const HandOver& h) {
  if (h.format == WindFileFormat::raw && !h.fillsTemplate() && !h.hubSeries) return;
  echo << "Writes";
  for (const std::string& name : runOutputNames(in, h)) echo << " " << name;
  echo << "\n";
  if (!h.templateWarning.empty()) echo << "Warning: " << h.templateWarning << "\n";
  echo.flush();
}

HandOverRecord handOverBox(const SimulationInput& run, const HandOver& h, FieldArrays& fields) {
  HandOverRecord r;
  std::array<int, 3> comps{};
  std::array<std::span<float>, 3> values{};
  std::array<std::span<const float>, 3> constValues{};
  for (int c = 0; c < run.nComp; ++c) {
    comps[std::size_t(c)] = run.components[c];
    values[std::size_t(c)] = fields.values(c);
    constValues[std::size_t(c)] = fields.values(c);
  }
  if (h.scaleIec) r.scaling = scaleToIecTargets(values, comps, run.nComp, h.iec->sigma1);
  if (h.placement) {
    const BoxGrid grid = boxGridOf(run);
    const HubPoints at = hubPoints(grid, *h.placement);
    std::array<HubLines, 3> lines;
    for (int c = 0; c < run.nComp; ++c)
      appendHubLines(constValues[std::size_t(c)], grid.N1, grid, at, lines[std::size_t(c)]);
    handOverHub(lines, run, h, r);
  }
  return r;
}

void handOverHub(const std::array<HubLines, 3>& lines, const SimulationInput& run,
                 const HandOver& h, HandOverRecord& r) {
  if (!h.placement) return;
  std::array<int, 3> comps{};
  for (int c = 0; c < run.nComp; ++c) comps[std::size_t(c)] = run.components[c];
  std::optional<double> sigma1;
  if (h.iec) sigma1 = h.iec->sigma1;
  r.hub = hubFigures(lines, hubPoints(boxGridOf(run), *h.placement), comps, run.nComp,
                     *h.placement, sigma1);
  if (h.hubSeries)
    r.hubSeries = hubSeries(lines, boxGridOf(run), *h.placement, h.profile,
                            quantisedFormat(h.format));
}

std::string handedOverFiles(const SimulationInput& run, const HandOver& h) {
  switch (h.format) {
    case WindFileFormat::bts:
    case WindFileFormat::netcdf: return windFileName(boxName(run), h.format);
    case WindFileFormat::wnd: return windFileName(boxName(run), h.format) + ".wnd";
    case WindFileFormat::raw: break;
  }
  std::string names;
  for (int c = 0; c < run.nComp; ++c) names += (c > 0 ? ", " : "") + run.fname[c];
  return names;
}

std::string hubSeriesTextOf(const SimulationInput& run, const HandOver& h,
                            const HandOverRecord& r) {
  return hubSeriesText(*r.hubSeries, handedOverFiles(run, h) + " (seed " +
                                         std::to_string(run.seed) + ", profile " +
                                         meanProfileText(h.profile) + ")");
}

NetcdfRun netcdfRun(const SimulationInput& run, const HandOver& h, const std::string& parameterFile,
                    RandomStreamKind random, const std::array<ComponentStatistics, 3>& statistics,
                    const HandOverRecord& r) {
  return {run, parameterFile, random, h.placement, statistics, r.hub, r.scaling};
}

void writeWindFile(const SimulationInput& run, const HandOver& h, const FieldArrays& fields,
                   OutputFiles& files, const std::string& parameterFile, RandomStreamKind random,
                   HandOverRecord& r) {
  if (h.format == WindFileFormat::raw) return;
  const std::string name = windFileName(boxName(run), h.format);
  if (h.format == WindFileFormat::netcdf) {
    const PendingOutput& file = files.extra(0);
    if (file.direct())
      fatalError("--format netcdf: " + name +
                 " is a device or a pipe; a NetCDF file must be a file: give another name");
    std::array<std::span<const float>, 3> values{};
    for (int c = 0; c < 3; ++c) values[std::size_t(c)] = fields.values(c);
    const std::array<ComponentStatistics, 3> statistics = fieldStatistics(fields);
    writeNetcdf(file.path(), name, boxGridOf(run), values,
                netcdfAttributes(netcdfRun(run, h, parameterFile, random, statistics, r)));
    return;
  }
  const WindBox box = windBoxOf(run, h, fields);
  if (h.format == WindFileFormat::bts) {
    r.bts = writeBts(files.extra(0).stream(), box, btsDescription(parameterFile, run.seed, h.profile),
                     name);
  } else {
    r.wnd = writeWnd(files.extra(0).stream(), files.extra(1).stream(), box, run.seed, name);
  }
}

}  // namespace wind
