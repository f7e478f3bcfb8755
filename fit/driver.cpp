#include "fit/driver.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <vector>

#include "fit/command_line.hpp"
#include "fit/fit.hpp"
#include "fit/model_spectra.hpp"
#include "fit/series_file.hpp"
#include "fit/series_spectra.hpp"
#include "fit/spectra_file.hpp"
#include "fit/text_table.hpp"
#include "support/fatal_error.hpp"
#include "support/pending_output.hpp"
#include "support/print_format.hpp"
#include "support/version.hpp"

namespace wind {

namespace {

constexpr int kSeriesBandsPerDecade = 10;
constexpr int kCurvePerDecade = 20;
constexpr const char* kUnits[3] = {" m^(4/3) s^-2", " m", ""};

struct Input {
  BandSpectra spectra;
  std::optional<SeriesSpectra> series;
  std::string kind;         // "series" or "spectra"
  std::string description;  // for the report
};

Input readInput(const FitCommand& cmd) {
  const std::string first =
      TextTable(cmd.file, "the input file",
                "a series: time u v w; spectra: k1 or f, then F11 F22 F33 F13")
          .header()
          .front();
  Input in;
  if (first == "time") {
    const SonicSeries s = readSeriesFile(cmd.file, cmd.skipMissing);
    SeriesOptions o = cmd.series;
    o.skipGaps = cmd.skipMissing;
    o.bandsPerDecade = cmd.bands > 0 ? cmd.bands : kSeriesBandsPerDecade;
    in.series = seriesSpectra(s, o);
    in.spectra = in.series->spectra;
    in.kind = "series";
    int used = 0;
    for (const SegmentInfo& g : in.series->info) used += g.used ? 1 : 0;
    const double dt = s.dt;
    std::ostringstream d;
    d << "a series of " << s.u.size() << " samples at " << formatG6(1.0 / dt) << " Hz ("
      << formatG6(double(s.u.size()) * dt) << " s); " << used << " segment" << (used > 1 ? "s" : "")
      << " of " << formatG6(double(in.series->segmentSamples) * dt) << " s";
    if (used < static_cast<int>(in.series->info.size()))
      d << " (" << in.series->info.size() - std::size_t(used) << " left out for missing values)";
    d << ", each rotated into its mean wind; Hann windows of " << in.series->windowSamples
      << " samples (" << formatG6(double(in.series->windowSamples) * dt) << " s), "
      << in.series->windowsPerSegment << " a segment"
      << (cmd.series.detrend ? "; linear trends removed" : "") << "; mean wind speed "
      << formatG6(in.spectra.windSpeed) << " m/s";
    in.description = d.str();
    return in;
  }
  if (first != "k1" && first != "f")
    fatalError(cmd.file + ": the header starts with '" + first +
               "': a series file starts with time, a spectra file with k1 or f");
  if (!cmd.seriesOptionGiven.empty())
    fatalError(cmd.seriesOptionGiven + " applies to series; " + cmd.file + " holds spectra");
  const TabulatedSpectra t = readSpectraFile(cmd.file, cmd.skipMissing);
  in.spectra = tabulatedBandSpectra(t, cmd.bands > 0 ? cmd.bands : 0);
  in.kind = "spectra";
  in.description = std::to_string(t.abscissa.size()) + " rows of " + (t.oneSided ? "one" : "two") +
                   "-sided spectra over " +
                   (t.frequency ? "f at U = " + formatG6(t.windSpeed) + " m/s" : "k1");
  return in;
}

float sixDigit(float v) { return std::strtof(formatG6(v).c_str(), nullptr); }

ModelParameters sixDigits(const ModelParameters& p) {
  return {sixDigit(p.alphaeps), sixDigit(p.L), sixDigit(p.Gamma)};
}

std::string parameterValue(const ModelParameters& p, int k) {
  return formatG6(k == 0 ? p.alphaeps : k == 1 ? p.L : p.Gamma);
}

// What a failed fit means and what to try.
std::string failureMessage(const FitResult& r, const FitCommand& cmd) {
  const std::string at = "alphaeps " + parameterValue(r.params, 0) + ", L " +
                         parameterValue(r.params, 1) + " m, Gamma " + parameterValue(r.params, 2);
  if (r.status == FitStatus::iterationLimit)
    return "The fit did not converge in " + std::to_string(r.iterations) +
           " iterations (it stopped at " + at +
           "): try start values near these (--start), hold Gamma (--Gamma) or fit fewer spectra "
           "(--weights)";
  const bool lower = r.boundSide < 0;
  switch (r.boundParameter) {
    case FitParameter::Gamma:
      if (lower)
        return "The fit ends on the bound Gamma = 0 with the spectra pushing below it (" + at +
               "): the uw co-spectrum has the sign of an upward momentum flux, which the model's "
               "shear "
               "cannot give; check the signs of u and w (u along the wind, w up), or leave uw out "
               "(--weights 1,1,1,0)";
      return "The fit ends on the bound Gamma = 10, the model's largest (" + at +
             "): the spectra are more anisotropic than the model reaches; check the rotation of "
             "the "
             "components (u along the wind, v across, w up), fit fewer spectra (--weights) or hold "
             "Gamma "
             "(--Gamma)";
    case FitParameter::L:
      if (lower)
        return "The fit ends on the bound L = " + formatG6(cmd.fit.LMin) + " m (" + at +
               "): the spectra do not fall off as the model's inertial range does; check the units "
               "(k1 in rad/m, f in Hz, spectra per rad/m or per Hz) or narrow the bands "
               "(--k-range)";
      return "The fit ends on the bound L = " + formatG6(cmd.fit.LMax) + " m (" + at +
             "): the spectra show no peak within the bands (their lowest wave numbers are still in "
             "the "
             "inertial range); fit longer segments (--segment) or hold L (--L)";
    case FitParameter::alphaeps:
      break;
  }
  return "The fit ends on a bound of alphaeps (" + at + "): check the units of the spectra";
}

std::string twoDigits(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2g", v);
  return buf;
}

// A number of the report, or "-" where there is none (a variance that
// spectra given as such do not state).
std::string shown(double v) { return std::isfinite(v) ? formatG6(v) : "-"; }

std::string basicLines(const ModelParameters& p) {
  return "basic\n" + formatG6(p.alphaeps) + " " + formatG6(p.L) + " " + formatG6(p.Gamma) + "\n";
}

std::string report(const FitCommand& cmd, const Input& in, const FitResult& r,
                   const SegmentSpread& spread, const std::optional<PlanOutput>& plan) {
  std::ostringstream o;
  const BandSpectra& s = in.spectra;
  int used = 0;
  for (bool b : r.bandUsed) used += b ? 1 : 0;
  o << "corvel-fit: " << cmd.file << ", " << in.description << ".\n"
    << "Bands: " << s.bands.size() << " from k1 = " << formatG6(s.bands.front().k1) << " to "
    << formatG6(s.bands.back().k1) << " rad/m, " << used << " fitted.\n\n"
    << "Parameters (standard errors from the Jacobian, a lower bound"
    << (spread.segments > 0
            ? "; spread: over " + std::to_string(spread.segments) + " segments fitted alone"
            : "")
    << "):\n";
  for (int k = 0; k < 3; ++k) {
    std::string name = parameterName(static_cast<FitParameter>(k));
    name.resize(10, ' ');
    o << "  " << name << parameterValue(r.params, k) << kUnits[k];
    if (r.fixed[k])
      o << "  (held)";
    else if (std::isfinite(r.standardError[k]))
      o << "  +- " << twoDigits(r.standardError[k]);
    else
      o << "  (standard error undetermined: the spectra do not change with it here)";
    if (spread.segments > 0 && std::isfinite(spread.standardError[k]))
      o << "  spread +- " << twoDigits(spread.standardError[k]);
    o << '\n';
  }
  o << "Converged in " << r.iterations << " iteration" << (r.iterations == 1 ? "" : "s") << "; "
    << r.residuals << " residuals, rms " << formatG6(r.rms) << ".\n";
  if (r.bandsBelowTable > 0)
    o << "Note: " << r.bandsBelowTable << " fitted band"
      << (r.bandsBelowTable > 1 ? "s lie" : " lies")
      << " below k1 L = 0.005, where the model's spectra are held at their value there.\n";
  o << "\nSpectrum  rms residual          variance (m^2/s^2): measured  model  |  over the fitted "
       "bands: "
       "measured  model\n";
  for (int c = 0; c < kSpectrumComponents; ++c) {
    const auto comp = static_cast<SpectrumComponent>(c);
    if (!s.measured(comp)) continue;
    const ComponentFit& f = r.components[c];
    std::string name = componentName(comp);
    name.resize(10, ' ');
    std::string misfit =
        f.used ? formatG6(f.rms) + (c < 3 ? " (log)" : " (relative)") : "not fitted";
    misfit.resize(22, ' ');
    o << name << misfit << "  " << shown(s.variance[c]) << "  " << shown(f.modelVariance) << "  |  "
      << shown(f.measuredBandVariance) << "  " << shown(f.modelBandVariance) << '\n';
  }
  o << "\nThe basic source for vorlan (or corvel):\n" << basicLines(r.params);
  if (plan) o << '\n' << plan->description;
  if (!cmd.json.empty()) o << "Wrote " << cmd.json << ".\n";
  return o.str();
}

nlohmann::json numbersOrNull(const std::vector<double>& v) {
  nlohmann::json a = nlohmann::json::array();
  for (double x : v) a.push_back(std::isfinite(x) ? nlohmann::json(x) : nlohmann::json(nullptr));
  return a;
}

nlohmann::json numberOrNull(double x) {
  return std::isfinite(x) ? nlohmann::json(x) : nlohmann::json(nullptr);
}

nlohmann::json resultJson(const FitCommand& cmd, const Input& in, const FitResult& r,
                          const SegmentSpread& spread, const std::optional<PlanOutput>& plan) {
  using nlohmann::json;
  const BandSpectra& s = in.spectra;
  json j;
  j["record"] = "corvel-fit result";
  j["record_version"] = 1;
  j["version"] = kVersion;
  j["input"] = {{"file", cmd.file},
                {"kind", in.kind},
                {"description", in.description},
                {"weights", cmd.fit.weights},
                {"k_range", {numberOrNull(cmd.fit.kMin), numberOrNull(cmd.fit.kMax)}}};
  json params, errors, spreadJson, held = json::array();
  for (int k = 0; k < 3; ++k) {
    const char* name = parameterName(static_cast<FitParameter>(k));
    params[name] = shortestDecimal(k == 0   ? r.params.alphaeps
                                   : k == 1 ? r.params.L
                                            : r.params.Gamma);
    errors[name] = numberOrNull(r.standardError[k]);
    spreadJson[name] = numberOrNull(spread.standardError[k]);
    if (r.fixed[k]) held.push_back(name);
  }
  j["parameters"] = params;
  j["standard_errors"] = errors;
  j["segment_spread"] = spread.segments > 0 ? spreadJson : json(nullptr);
  j["held"] = held;
  j["fit"] = {{"status", "converged"},
              {"iterations", r.iterations},
              {"residuals", r.residuals},
              {"rms", r.rms},
              {"bands_below_table", r.bandsBelowTable}};
  std::vector<double> k1;
  std::vector<int> members;
  for (const SpectrumBand& b : s.bands) {
    k1.push_back(b.k1);
    members.push_back(b.members());
  }
  j["bands"] = {{"k1", k1},
                {"members", members},
                {"used", r.bandUsed},
                {"dof", s.dof.empty() ? json(nullptr) : json(s.dof)}};
  json measured, model, rms, variances;
  const ModelSpectra m(r.params);
  std::vector<double> curveK;
  const double lo = std::log10(s.bands.front().k1) - 0.5, hi = std::log10(s.bands.back().k1) + 0.5;
  for (double e = lo; e <= hi + 1e-9; e += 1.0 / kCurvePerDecade)
    curveK.push_back(std::pow(10.0, e));
  json curve;
  curve["k1"] = curveK;
  for (int c = 0; c < kSpectrumComponents; ++c) {
    const auto comp = static_cast<SpectrumComponent>(c);
    const char* name = componentName(comp);
    measured[name] = s.measured(comp) ? numbersOrNull(s.F[c]) : json(nullptr);
    model[name] = numbersOrNull(r.components[c].model);
    rms[name] = numberOrNull(r.components[c].rms);
    variances[name] = {{"measured", numberOrNull(s.variance[c])},
                       {"model", numberOrNull(r.components[c].modelVariance)},
                       {"measured_bands", numberOrNull(r.components[c].measuredBandVariance)},
                       {"model_bands", numberOrNull(r.components[c].modelBandVariance)}};
    std::vector<double> values;
    for (double k : curveK) values.push_back(m.spectrum(k, comp));
    curve[name] = numbersOrNull(values);
  }
  j["measured"] = measured;
  j["model"] = model;
  j["model_curve"] = curve;
  j["residual_rms"] = rms;
  j["variances"] = variances;
  j["wind_speed"] = numberOrNull(s.windSpeed);
  j["basic"] = basicLines(r.params);
  j["plan"] =
      plan ? json{{"file", cmd.output}, {"parameter_file", plan->parameterText}} : json(nullptr);
  return j;
}

}  // namespace

int runCorvelFit(int argc, const char* const argv[], std::ostream& out, const BoxPlanner& planner) {
  const FitCommand cmd = parseFitCommandLine(argc, argv);
  if (cmd.help) {
    printFitHelp(out);
    return 0;
  }
  if (cmd.version) {
    printFitVersion(out);
    return 0;
  }
  const Input in = readInput(cmd);
  FitResult r = fitSpectra(in.spectra, cmd.fit);
  if (r.status != FitStatus::converged) fatalError(failureMessage(r, cmd));
  // The parameters as printed (six digits) everywhere: the report, the basic
  // source, the plan and the JSON result say the same.
  r.params = sixDigits(r.params);
  const SegmentSpread spread =
      in.series ? segmentSpread(in.series->segments, cmd.fit, r) : SegmentSpread{};

  std::optional<PlanOutput> plan;
  if (cmd.plan) {
    PlanInputs p;
    p.basic = r.params;
    if (cmd.windSpeed)
      p.windSpeed = *cmd.windSpeed;
    else if (std::isfinite(in.spectra.windSpeed))
      p.windSpeed = sixDigit(static_cast<float>(in.spectra.windSpeed));
    else
      fatalError("The box plan needs --wind-speed: " + cmd.file + " gives no mean wind speed");
    p.hubHeight = cmd.hubHeight;
    p.rotorDiameter = cmd.rotorDiameter;
    p.time = cmd.time;
    p.dt = cmd.dt;
    p.margin = cmd.margin;
    p.output = cmd.output;
    if (!planner) fatalError("corvel-fit was built without the box planner");
    plan = planner(p);
  }

  PendingOutputs outputs;
  if (plan) outputs.create(cmd.output, "parameter file").stream() << plan->parameterText;
  if (!cmd.json.empty())
    outputs.create(cmd.json, "result file").stream()
        << resultJson(cmd, in, r, spread, plan).dump(1) << '\n';
  const std::string text = report(cmd, in, r, spread, plan);
  outputs.commit();
  out << text;
  out.flush();
  return 0;
}

}  // namespace wind
