#pragma once
// corvel-fit, one run from the command line (fit/command_line.hpp) to exit
// status 0:
//
//   1. read FILE: a series (header starting with time) through
//      readSeriesFile and seriesSpectra, or spectra (k1 or f) through
//      readSpectraFile and tabulatedBandSpectra;
//   2. fitSpectra (fit/fit.hpp); a fit that does not converge or ends on a
//      bound ends the run with what happened and what to try;
//   3. with three or more segments, each segment is fitted alone too (from the
//      pooled fit's values): the standard deviation of their parameters over
//      the square root of their number is the spread over segments;
//   4. with the planner's options, the box for the fitted model (the planner
//      is handed in: the library does not depend on it);
//   5. the outputs -- the parameter file of the plan and the JSON result --
//      appear together when all are complete (support/pending_output.hpp);
//      only then is the report printed on out. A failure anywhere ends the run
//      through fatalError with nothing written and nothing printed.
//
// The report (out): the input, the bands, the parameters with their standard
// errors (and the spread over segments), the convergence, the root-mean-
// square residual of each spectrum, the variances (measured and model, over
// the fitted bands and in all), the 'basic' source lines for vorlan, and the
// plan.
//
// The JSON result (--json), record "corvel-fit result", version 1:
//   input      file, kind (series or spectra), options
//   parameters alphaeps, L, Gamma; standard_errors (null where undetermined or
//              held); segment_spread (or null); held (names)
//   fit        status, iterations, residuals, rms, bands_below_table
//   bands      k1, members, used
//   measured   u, v, w, uw band values (null where not measured)
//   model      the model's band means; model_curve k1 and u, v, w, uw on a
//              fine grid over the bands' range
//   residual_rms, variances (per component: measured, model, measured_bands,
//              model_bands)
//   wind_speed (or null), basic (the source lines), plan (or null)
// Spectra are two-sided in k1 (m^3 s^-2), as corvel prints them.
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "tensor/model.hpp"

namespace wind {

struct PlanInputs {
  ModelParameters basic;
  double windSpeed = 0, hubHeight = 0, rotorDiameter = 0, time = 0;
  std::optional<double> dt, margin;
  std::string output;
};

struct PlanOutput {
  std::string parameterText;  // the parameter file
  std::string description;    // the plan in words, for the report
};

using BoxPlanner = std::function<PlanOutput(const PlanInputs&)>;

int runCorvelFit(int argc, const char* const argv[], std::ostream& out, const BoxPlanner& planner);

}  // namespace wind
