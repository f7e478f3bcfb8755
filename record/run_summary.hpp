#pragma once
// The run summary: what a load engineer checks of a box before handing it to
// an aeroelastic code, in plain text. vorlan prints it on standard error after
// each run of a three-dimensional box and writes it beside the run record as
// "<first output>.summary.txt" (a pending output, committed with the record).
//
//   files       what the run handed over (the raw files or the .bts / .wnd,
//               the hub series, the filled InflowWind input)
//   box         points, lengths and spacings
//   grid        the usable extent across the wind and up (the grid's points,
//               (N - 1) d), the heights of the lowest and highest rows and
//               where the hub stands among them
//   time        the time step dt = dx / U and the Nyquist frequency 1/(2 dt),
//               the usable time N1 dt, and the periodicity (every file
//               repeats after N1 dt)
//   turbulence  sigma and TI = sigma / U of u, v, w at the hub (the record's
//               hub figures) and over the box, against IEC's targets for the
//               iec source, with hub / target
//   coherence   of u between two points across the wind, a quarter and half
//               the grid's width apart (rotor scale for a planned grid): the
//               model's co-coherence, co-spectrum / spectrum (tensor/spectra.hpp,
//               crossSpectrum; across the wind the quad-spectrum is 0, and
//               the co-spectrum of the sheared model turns negative at some
//               frequencies), against IEC's exponential model at the hub
//               height, at the frequencies of kCoherenceFrequencies that the
//               box resolves (1/(N1 dt) to the Nyquist frequency)
// Without a mean wind speed and hub height (the basic and terrain sources
// without --wind-speed and --hub-height) the summary says what it lacks: no
// time step, TI or frequencies.
//
// The coherence is the model's, the same for every seed: computed once per
// command line (modelCoherence), before any box. Its quadrature fails as
// crossSpectrum does (fatalError). Numbers carry four significant digits.
// The first line is "vorlan run summary: ...", by which a rerun recognises
// the file it may replace (checkSummaryReplaceable).

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "handover/hand_over.hpp"
#include "record/run_record.hpp"
#include "simulation/simulation_input.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind {

// The frequencies (Hz) at which the coherence is given, where the box resolves them.
inline constexpr std::array<double, 4> kCoherenceFrequencies{0.02, 0.05, 0.1, 0.2};

struct ModelCoherence {
  std::array<double, 2> separation{};   // m, across the wind
  std::vector<double> frequency;        // Hz
  std::array<std::vector<double>, 2> model, iec;  // [separation][frequency]
  double coherenceScale = 0.0;          // IEC's L_c = 8.1 Lambda_1, m
};

// The coherence of a run's box; none for a field that is no box of a tensor
// model with u, or without a mean wind speed and hub height.
std::optional<ModelCoherence> modelCoherence(const SimulationInput& in,
                                             const UpstreamTables& tables, const HandOver& h);

// Whether a run writes a summary: a three-dimensional field that writes a
// run record.
bool writesRunSummary(const SimulationInput& in);

// "<fname[0]>.summary.txt".
std::string runSummaryName(const SimulationInput& in);

// Ends the run through fatalError if a file exists under the summary's name
// and is not a run summary: "The run summary would replace <name>, which is
// not a vorlan run summary". Reads, writes nothing.
void checkSummaryReplaceable(const std::string& name);

// The summary's text (ending in a newline).
std::string runSummaryText(const SimulationInput& in, const RunDescription& run,
                           const std::optional<ModelCoherence>& coherence);

}  // namespace wind
