#pragma once
// The turbulence model and its spectra, for callers with numbers of their own.
//
// The model is the spectral velocity tensor Phi_ij(k) of three numbers,
// ModelParameters {alphaeps (m^(4/3) s^-2), L (m), Gamma (-)}, optionally with
// the terrain's stretch and roughness tables (TensorModel, tensor/model.hpp).
// A site gives the three numbers as the parameter sources do: readSite takes
// a source and its values as a parameter file writes them (after the source's
// line), reads them with the file's reader and runs the source's step, so that
// every check and message is the parameter file's:
//
//   basic     alphaeps L Gamma
//   land      U0 z z0 SpecType            (0 Kaimal, 1 Simiu, 2 ESDU tables)
//   sea       U0 z SpecType
//   terrain   file (a line), KESTAVHeightNo, Terrain, Roughness, SpecType
//   iec       category (A, B, C or Iref) V_hub z_hub
//
// A Site holds what its model reads (the terrain's tables) and gives the
// model; Kaimal1d and 2D are no tensor model and are refused.
//
// Spectra over arrays of wave numbers k1 (rad/m), the numbers the spectrum
// calculator prints (corvel: spec, xspec, sigma2), element by element the same
// bits, the wave numbers shared among the threads:
//
//   onePointSpectra  F_ij(k1), two-sided in k1, m^3 s^-2 (phiIntk2k3)
//   crossSpectra     for each k1: F_ii, F_jj, the co- and quad-spectrum
//                    between two points (0, sep1, sep2) apart (crossSpectrum)
//   variance         int Phi_ij d^3k, m^2 s^-2 (sigma2)
//
// pair holds two component indices 0 .. 2 (u, v, w); tol is the quadrature's
// relative tolerance (corvel's, kSpectrumTol, by default). Failures as the
// routines named (through fatalError, support/fatal_error.hpp and
// windfield/errors.hpp); the first failure of any wave number ends the call.
#include <array>
#include <iosfwd>
#include <span>
#include <string>

#include "simulation/simulation_input.hpp"
#include "sources/site_steps.hpp"
#include "tensor/model.hpp"
#include "tensor/spectra.hpp"
#include "tensor/tensor_integrals.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind {

inline constexpr float kSpectrumTol = 0.0001f;

// A site's values and the tables its model reads.
struct Site {
  SimulationInput values;  // the source and its values, the model parameters derived
  UpstreamTables tables;   // terrain only
  TensorModel model() const { return siteTensorModel(values, &tables); }
};

// The site of source from its values (above); the terrain file's echo goes
// to echo.
Site readSite(ParameterSource source, const std::string& sourceValues, std::ostream& echo);

// out[n] = F_ij(k1[n]); out.size() == k1.size().
void onePointSpectra(const TensorModel& model, std::span<const float> k1,
                     std::array<int, 2> pair, std::span<double> out, float tol = kSpectrumTol);

// out[n] = {F_ii, F_jj, co, quad} at k1[n]; out.size() == k1.size().
void crossSpectra(const TensorModel& model, std::span<const float> k1, float sep1, float sep2,
                  std::array<int, 2> pair, std::span<std::array<double, 4>> out,
                  float tol = kSpectrumTol);

double variance(const TensorModel& model, std::array<int, 2> pair, float tol = kSpectrumTol);

}  // namespace wind
