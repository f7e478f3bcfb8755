#pragma once
// Fitting the model's three parameters, alphaeps, L and Gamma, to measured
// one-point spectra: the library call under corvel-fit.
//
// Input, BandSpectra: spectra averaged in bands of wave number. Each band is
// the mean of the estimates at a set of wave numbers (its members, given as
// runs of equally spaced wave numbers: one run per segment of a time series,
// or one single wave number per row of a spectra file), and is drawn at k1,
// the geometric mean of its members. F[c] holds, per band, the band mean of
// the two-sided spectrum F_c(k1) of component c (m^3 s^-2, integrating over
// the whole k1 line to the variance, as corvel prints it), or is empty when
// c was not measured. fit/series_spectra.hpp and fit/spectra_file.hpp make
// them from time series and from spectra given as such.
//
// The fit: weighted least squares over the bands in [kMin, kMax],
//   u, v, w   r = sqrt(weight_c) (ln F_c,measured - ln F_c,model - b), the
//             standard practice for spectra spanning decades: every band
//             counts by its relative misfit, whatever its level. b corrects
//             the bias of a logarithm of an average: a band mean of dof
//             independent periodogram values (gamma distributed) has
//             E[ln F] = ln E[F] + psi(dof) - ln(dof), 0.58 below for one
//             value, 0.08 for six, so b = psi(dof) - ln(dof) where dof is
//             known (series), 0 where not (spectra given as such, taken as
//             smooth averages);
//   uw        r = sqrt(weight_uw) (F_uw,measured - F_uw,model) / D, D the
//             model's sqrt(F_u F_w) in the band: the co-spectrum changes sign
//             with Gamma and vanishes at Gamma = 0, so its logarithm is no
//             measure; relative to the two auto-spectra it is a correlation
//             coefficient (between -1 and 1), comparable with the relative
//             misfits of the others. D comes from the model, not from the
//             measured auto-spectra, whose noise would bias the ratio; it is
//             held within a pass of the optimiser (so that no parameter can
//             lower the misfit by inflating D) and renewed from each pass's
//             solution until a pass moves no parameter by more than 1e-7
//             (two or three passes; at most six).
// The model of a band is the mean of the model spectrum over the band's
// members, so a wide band carries no bias from the curvature of the
// spectrum (runs of more than 128 members, where the spectrum hardly curves
// from one member to the next, by 4-point Gauss-Legendre over their span).
// The model spectra come from ModelSpectra (fit/model_spectra.hpp).
//
// Parameters: theta = (ln alphaeps, ln L, Gamma), each free or held at a
// given value; bounds L in [LMin, LMax] (default 0.001 m, the model's
// smallest, to 10 km), Gamma in [0, 10] (the model's range), alphaeps > 0
// (by its logarithm). Start: options.start, or a scan over L (ten values a
// decade, from 0.1 / kMax to 100 / kMin within the bounds) and Gamma (0.5,
// 1.5, 2.5, 3.5, 5, 7, 9) with ln alphaeps set to the mean log misfit of the
// auto-spectra, the lowest cost taken: it finds the spectral peak whatever
// the units and scales. Then Levenberg-Marquardt (fit/levenberg_marquardt.hpp)
// with the analytic Jacobian of the table's interpolant.
//
// Result: the parameters; standard errors from the Jacobian at the solution,
// s^2 (J^T J)^-1 with s^2 = sum r^2 / (n - p) (NaN for a fixed parameter, and
// for one the residuals do not determine, such as Gamma at 0 fitted to auto-
// spectra alone, where they are even in Gamma); per component the bands
// used, the root-mean-square residual, the model's band values, and the
// variances: measured and model over the bands (trapezoid rule in ln k1 of
// 2 k1 F over the fitted bands) and the model's over all wave numbers.
//
// Status: converged, iterationLimit (the best point so far), or onBound: a
// free parameter ended on a bound with the data taking it beyond by more
// than three standard errors (which, and which side, in boundParameter and
// boundSide; fit/levenberg_marquardt.hpp). Gamma = 0 reached with no such
// push across it (isotropic-looking auto-spectra) is a converged fit. These
// are outcomes, not errors: the caller says what they mean (corvel-fit's
// messages, fit/driver.hpp).
//
// Failure: input the fit cannot use ends the run through fatalError, naming
// what is wrong: bands and values of different lengths, a band or value that
// is not a finite positive number (an auto-spectrum), a member run that is
// empty, dof below 1, a weight that is negative or not a number, no
// component to fit, uw without an auto-spectrum, fewer bands than free
// parameters, a fixed or start value or a bound outside the model's range.
// State: none; reentrant.
#include <array>
#include <limits>
#include <optional>
#include <vector>

#include "fit/levenberg_marquardt.hpp"
#include "fit/similarity_integrals.hpp"
#include "tensor/model.hpp"

namespace wind {

// Equally spaced wave numbers kFirst + i kStep, i = 0 .. count - 1.
struct MemberRun {
  double kFirst = 0.0, kStep = 0.0;
  int count = 1;
};

struct SpectrumBand {
  double k1 = 0.0;
  std::vector<MemberRun> runs;
  int members() const;
};

inline constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

struct BandSpectra {
  std::vector<SpectrumBand> bands;  // rising k1
  std::array<std::vector<double>, kSpectrumComponents> F;
  // Per band, where known (from a series), the number of independent
  // periodogram values the band means of the auto-spectra are worth: their
  // spread is that of a mean of dof exponential variables. Empty: unknown.
  std::vector<double> dof;
  // Known where the spectra come from a series: the variances (covariance for
  // uw) of the segments' rotated and detrended components, their mean, and
  // the mean wind speed; NaN otherwise.
  std::array<double, kSpectrumComponents> variance{kNotANumber, kNotANumber, kNotANumber,
                                                   kNotANumber};
  double windSpeed = kNotANumber;

  bool measured(SpectrumComponent c) const { return !F[static_cast<int>(c)].empty(); }
};

enum class FitParameter { alphaeps = 0, L = 1, Gamma = 2 };

struct FitOptions {
  std::array<double, kSpectrumComponents> weights{1.0, 1.0, 1.0, 1.0};
  std::array<std::optional<double>, 3> fixed;  // by FitParameter
  std::optional<ModelParameters> start;
  double kMin = 0.0;
  double kMax = std::numeric_limits<double>::infinity();
  double LMin = kMinLengthScale;
  double LMax = 1.0e4;
  LmOptions lm;
};

enum class FitStatus { converged, iterationLimit, onBound };

struct ComponentFit {
  bool used = false;          // measured, weight > 0 and bands in range
  int bands = 0;              // bands fitted
  double rms = kNotANumber;   // root-mean-square residual (unweighted)
  std::vector<double> model;  // model band means, every band
  double measuredBandVariance = kNotANumber;
  double modelBandVariance = kNotANumber;
  double modelVariance = kNotANumber;  // over all wave numbers
};

struct FitResult {
  ModelParameters params;
  std::array<double, 3> standardError{kNotANumber, kNotANumber, kNotANumber};
  std::array<bool, 3> fixed{};
  FitStatus status = FitStatus::converged;
  FitParameter boundParameter = FitParameter::alphaeps;
  int boundSide = 0;  // -1 lower, +1 upper (onBound)
  int iterations = 0;
  std::array<ComponentFit, kSpectrumComponents> components;
  std::vector<bool> bandUsed;  // within [kMin, kMax]
  int bandsBelowTable = 0;     // fitted bands with k1 L < 10^-2.3
  double rms = kNotANumber;    // of all weighted residuals
  int residuals = 0;
};

FitResult fitSpectra(const BandSpectra& spectra, const FitOptions& options);

// The spread over segments: each segment's spectra (SeriesSpectra::segments)
// fitted alone with the same options, started from the pooled fit; the
// standard deviation of each free parameter over the fits that converge,
// divided by the square root of their number, where there are at least
// kMinSegmentsForSpread of them (NaN otherwise, and for held parameters).
// A direct measure of the pooled parameters' uncertainty, free of the
// assumptions of the Jacobian's standard errors.
inline constexpr int kMinSegmentsForSpread = 3;
struct SegmentSpread {
  std::array<double, 3> standardError{kNotANumber, kNotANumber, kNotANumber};
  int segments = 0;  // fitted and converged (0 below kMinSegmentsForSpread)
};
SegmentSpread segmentSpread(const std::vector<BandSpectra>& segments, const FitOptions& options,
                            const FitResult& pooled);

const char* parameterName(FitParameter p);

}  // namespace wind
