// The planner and the fit as plain values: planBox and its parameter file,
// fitSpectra on spectra given in memory or on a sonic series.
#include <array>
#include <optional>
#include <sstream>
#include <vector>

#include "fit/fit.hpp"
#include "fit/series_spectra.hpp"
#include "fit/spectra_file.hpp"
#include "python/bindings.hpp"
#include "windfield/planner.hpp"

namespace wind::python {

namespace {

std::vector<double> copied(const Vector1<double>& a, const char* name) {
  const std::span<const double> s = vectorArgument(a, name);
  return {s.begin(), s.end()};
}

std::vector<double> copied(const std::optional<Vector1<double>>& a, const char* name) {
  return a ? copied(*a, name) : std::vector<double>();
}

py::dict planResult(const BoxPlan& p) {
  py::dict r;
  r["N"] = py::make_tuple(p.N[0], p.N[1], p.N[2]);
  r["LMax"] = py::make_tuple(p.LMax[0], p.LMax[1], p.LMax[2]);
  r["spacing"] = py::make_tuple(p.spacing[0], p.spacing[1], p.spacing[2]);
  r["time_step"] = p.timeStep;
  r["usable_width"] = p.usableWidth;
  r["usable_height"] = p.usableHeight;
  r["grid_bottom"] = p.gridBottom;
  r["grid_top"] = p.gridTop;
  r["roughness"] = p.roughness;
  r["memory_bytes"] = p.memoryBytes;
  r["seconds"] = p.seconds;
  r["parameter_text"] = planParameterText(p);
  std::ostringstream words;
  printPlan(words, p);
  r["description"] = words.str();
  return r;
}

// The request of windfield.plan_box and plan_table's keyword arguments.
PlanRequest planRequest(const py::dict& a) {
  PlanRequest r;
  r.windSpeed = a["wind_speed"].cast<double>();
  r.hubHeight = a["hub_height"].cast<double>();
  r.rotorDiameter = a["rotor_diameter"].cast<double>();
  r.time = a["time"].cast<double>();
  r.turbulenceClass = a["turbulence_class"].cast<std::optional<std::string>>();
  r.roughness = a["roughness"].cast<std::optional<double>>();
  if (!a["basic"].is_none()) {
    const auto b = a["basic"].cast<std::array<float, 3>>();
    r.basic = ModelParameters{b[0], b[1], b[2]};
  }
  r.dt = a["dt"].cast<double>();
  r.margin = a["margin"].cast<double>();
  r.hubOnRow = a["hub_on_row"].cast<bool>();
  r.output = a["output"].cast<std::string>();
  return r;
}

// The fit's options from the keyword arguments (windfield.fit_spectra).
FitOptions fitOptions(const py::dict& o) {
  FitOptions f;
  f.weights = o["weights"].cast<std::array<double, kSpectrumComponents>>();
  f.fixed = o["fixed"].cast<std::array<std::optional<double>, 3>>();
  if (!o["start"].is_none()) {
    const auto s = o["start"].cast<std::array<float, 3>>();
    f.start = ModelParameters{s[0], s[1], s[2]};
  }
  f.kMin = o["k_min"].cast<double>();
  f.kMax = o["k_max"].cast<double>();
  if (!o["L_min"].is_none()) f.LMin = o["L_min"].cast<double>();
  if (!o["L_max"].is_none()) f.LMax = o["L_max"].cast<double>();
  f.lm.maxIterations = o["max_iterations"].cast<int>();
  return f;
}

const char* statusName(FitStatus s) {
  switch (s) {
    case FitStatus::converged: return "converged";
    case FitStatus::iterationLimit: return "iteration limit";
    default: return "on bound";
  }
}

py::dict fitResult(const BandSpectra& spectra, const FitResult& f,
                   const std::optional<SegmentSpread>& spread) {
  static const char* const names[kSpectrumComponents] = {"u", "v", "w", "uw"};
  py::dict r;
  r["alphaeps"] = f.params.alphaeps;
  r["L"] = f.params.L;
  r["Gamma"] = f.params.Gamma;
  r["standard_errors"] = py::make_tuple(f.standardError[0], f.standardError[1], f.standardError[2]);
  r["held"] = py::make_tuple(f.fixed[0], f.fixed[1], f.fixed[2]);
  r["status"] = statusName(f.status);
  if (f.status == FitStatus::onBound) {
    r["bound_parameter"] = parameterName(f.boundParameter);
    r["bound_side"] = f.boundSide;
  }
  r["iterations"] = f.iterations;
  r["rms"] = f.rms;
  r["residuals"] = f.residuals;
  r["bands_below_table"] = f.bandsBelowTable;
  std::vector<double> k1;
  for (const SpectrumBand& b : spectra.bands) k1.push_back(b.k1);
  r["k1"] = py::array_t<double>(py::ssize_t(k1.size()), k1.data());
  r["band_used"] = py::cast(f.bandUsed);
  py::dict measured, model, components;
  for (int c = 0; c < kSpectrumComponents; ++c) {
    const ComponentFit& cf = f.components[c];
    if (!spectra.F[c].empty())
      measured[names[c]] = py::array_t<double>(py::ssize_t(spectra.F[c].size()), spectra.F[c].data());
    if (!cf.used) continue;
    model[names[c]] = py::array_t<double>(py::ssize_t(cf.model.size()), cf.model.data());
    py::dict d;
    d["bands"] = cf.bands;
    d["rms"] = cf.rms;
    d["measured_band_variance"] = cf.measuredBandVariance;
    d["model_band_variance"] = cf.modelBandVariance;
    d["model_variance"] = cf.modelVariance;
    components[names[c]] = d;
  }
  r["measured"] = measured;
  r["model"] = model;
  r["components"] = components;
  r["wind_speed"] = spectra.windSpeed;
  if (spread) {
    r["segment_spread"] =
        py::make_tuple(spread->standardError[0], spread->standardError[1], spread->standardError[2]);
    r["segments"] = spread->segments;
  }
  return r;
}

}  // namespace

void addPlanAndFit(py::module_& m) {
  m.def(
      "plan_box",
      [](const py::dict& request) {
        const PlanRequest r = planRequest(request);
        BoxPlan p;
        {
          py::gil_scoped_release released;
          p = planBox(r);
        }
        return planResult(p);
      },
      py::arg("request"));

  m.def(
      "plan_table",
      [](const py::dict& request, const std::vector<double>& speeds, const std::vector<long>& seeds,
         const std::string& folder) {
        PlanRequest r = planRequest(request);
        r.speeds = speeds;
        r.seeds = seeds;
        r.table = folder;
        TablePlan t;
        {
          py::gil_scoped_release released;
          t = planTable(r);
        }
        py::list plans, rows;
        for (const BoxPlan& p : t.plans) plans.append(planResult(p));
        for (const TableRow& row : t.rows) {
          py::dict d;
          d["name"] = row.name;
          d["plan"] = row.plan;
          d["wind_speed"] = speeds[row.plan];
          d["seed"] = row.seed;
          d["parameter_text"] = planParameterText(t.plans[row.plan], row.name, row.seed);
          rows.append(d);
        }
        std::ostringstream words;
        printTable(words, t);
        py::dict out;
        out["plans"] = plans;
        out["rows"] = rows;
        out["options"] = planRunOptions(r);
        out["description"] = words.str();
        return out;
      },
      py::arg("request"), py::arg("speeds"), py::arg("seeds"), py::arg("folder"));

  m.def(
      "fit_spectra",
      [](const Vector1<double>& abscissa, const std::optional<Vector1<double>>& u,
         const std::optional<Vector1<double>>& v, const std::optional<Vector1<double>>& w,
         const std::optional<Vector1<double>>& uw, bool frequency, double windSpeed,
         bool oneSided, const std::optional<Vector1<double>>& n, int bandsPerDecade,
         const py::dict& options) {
        TabulatedSpectra t;
        const std::span<const double> a = vectorArgument(abscissa, "k1");
        t.abscissa.assign(a.begin(), a.end());
        t.F = {copied(u, "u"), copied(v, "v"), copied(w, "w"), copied(uw, "uw")};
        t.n = copied(n, "n");
        t.frequency = frequency;
        t.windSpeed = windSpeed;
        t.oneSided = oneSided;
        const FitOptions o = fitOptions(options);
        py::gil_scoped_release released;
        const BandSpectra spectra = tabulatedBandSpectra(t, bandsPerDecade);
        const FitResult f = fitSpectra(spectra, o);
        py::gil_scoped_acquire held;
        return fitResult(spectra, f, std::nullopt);
      },
      py::arg("k1"), py::arg("u"), py::arg("v"), py::arg("w"), py::arg("uw"),
      py::arg("frequency"), py::arg("wind_speed"), py::arg("one_sided"), py::arg("n"),
      py::arg("bands_per_decade"), py::arg("options"));

  m.def(
      "fit_series",
      [](double dt, const Vector1<double>& u, const Vector1<double>& v, const Vector1<double>& w,
         const py::dict& series, const py::dict& options) {
        SonicSeries s;
        s.dt = dt;
        s.u = copied(u, "u");
        s.v = copied(v, "v");
        s.w = copied(w, "w");
        SeriesOptions so;
        so.segment = series["segment"].cast<double>();
        so.window = series["window"].cast<double>();
        so.detrend = series["detrend"].cast<bool>();
        so.skipGaps = series["skip_gaps"].cast<bool>();
        so.fMin = series["f_min"].cast<double>();
        so.fMax = series["f_max"].cast<double>();
        so.bandsPerDecade = series["bands_per_decade"].cast<int>();
        const FitOptions o = fitOptions(options);
        py::gil_scoped_release released;
        const SeriesSpectra spectra = seriesSpectra(s, so);
        const FitResult f = fitSpectra(spectra.spectra, o);
        std::optional<SegmentSpread> spread;
        if (int(spectra.segments.size()) >= kMinSegmentsForSpread)
          spread = segmentSpread(spectra.segments, o, f);
        py::gil_scoped_acquire held;
        return fitResult(spectra.spectra, f, spread);
      },
      py::arg("dt"), py::arg("u"), py::arg("v"), py::arg("w"), py::arg("series"),
      py::arg("options"));
}

}  // namespace wind::python
