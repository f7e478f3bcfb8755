#pragma once
// The spectrum calculator's parameter file: its record and its reader.
//
// The file holds values only, separated by any white space, in a fixed order:
//
//   ParameterSource        the first line, exactly "basic", "land", "sea",
//                          "terrain" or "iec"
//   the source's values    basic:   alphaeps L Gamma
//                          land:    U0 z z0 SpecType
//                          sea:     U0 z SpecType
//                          terrain: terrainFile (the whole next line),
//                                   KESTAVHeightNo, Terrain word, Roughness word,
//                                   SpecType
//                          iec:     category (A, B, C or Iref), V_hub, z_hub
//                                   (sources/iec.hpp)
//   CalculationResult      a word: "spec", "xspec" or "sigma2"
//   n                      number of component pairs, 1..10
//   n pairs                i j, each 1, 2 or 3 (u, v, w)
//   kmin kmax step         spec and xspec only: first and last output wave
//                          number k1 (rad/m) and the spacing in decades
//   sep1 sep2              xspec only: the separation (m) across the wind, in y and z
//
// Integers are read in the base their prefix selects ("0x" hexadecimal, a
// leading 0 octal, else decimal); words are "true"/"True"/"false"/"False".
// Components and KESTAVHeightNo are given 1-based and stored 0-based.
//
// The parameter-source step runs inside the reading, right after the source's
// values: checkedLandParams or checkedSeaParams (sources/site_params.hpp), or
// the terrain step (sources/site_steps.hpp) in the terrain file's own axes,
// which reads the terrain file and builds the upstream-memory tables; the
// reader then prints the along-wind speed at the first height and point (%.6g)
// and a newline on out, and flushes it.
//
// Echo on the echo stream (the console's standard error): "KESTAVHeightNo <n>"
// for a terrain source, a Terrain or Roughness word that is not a boolean, and
// every pair as it is read, as its two 0-based components separated by a blank.
//
// A UTF-8 byte-order mark at the start is skipped.
//
// Failure: every bad or missing value ends the run through fatalError (exit
// status 1) with a message that names it (a value that cannot be read with its
// line and the text there, support/console.hpp). Besides the fixed messages of the
// file format ("ParameterSource has to be either basic, land, sea or terrain",
// "CalculationResult has to be either spec, xspec or sigma2", "components has
// to be either 1, 2 or 3.", ...) the reader refuses what would make the
// computation meaningless or endless: a non-positive alphaeps or L, a pair
// count outside 1..10 and, when kmin <= kmax, a non-positive kmin or a step that
// is not positive or too small to advance the wave number, and, with shear
// (Gamma not 0), a kmin below kMinShearedK1L / L (tensor/model.hpp), where the
// spectra cannot be integrated. kmin > kmax is an empty range. The model
// parameters of every source are checked where they are read or derived
// (checkModelParameters, sources/site_params.hpp), before anything is printed.

#include <array>
#include <iosfwd>
#include <string>

#include "sources/iec.hpp"
#include "sources/site_steps.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind {

enum class SpectrumSource { basic, land, sea, terrain, iec };
enum class CalculationResult { spec, xspec, sigma2 };

// Room of the pair list.
inline constexpr int kMaxPairs = 10;

struct SpectrumInput : SiteValues {
  SpectrumSource source = SpectrumSource::basic;

  // The site values (SiteValues) hold the model parameters (params: alphaeps, L,
  // Gamma), read for basic and derived for the other sources; Terrain is also
  // the tensor model's Terrain switch.
  IecSettings iec;  // iec only

  CalculationResult result = CalculationResult::spec;
  int nPairs = 0;
  std::array<std::array<int, 2>, kMaxPairs> pairs{};  // 0-based components

  float kmin = 0.0f, kmax = 0.0f, step = 0.0f;  // spec and xspec
  float sep1 = 0.0f, sep2 = 0.0f;               // xspec
};

// Reads the whole file, checking and echoing as described above, and runs the
// parameter-source step (which fills tables for a terrain source and prints its
// line on out).
void readSpectrumInput(std::istream& in, std::ostream& out, std::ostream& echo,
                       SpectrumInput& input, UpstreamTables& tables);

}  // namespace wind
