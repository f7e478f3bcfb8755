#include "corvel/spectrum_input.hpp"

#include <cmath>
#include <cstddef>
#include <istream>
#include <ostream>
#include <string>

#include "sources/site_params.hpp"
#include "support/console.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

// The spectrum calculator's terrain words: one message for both, no echo of
// what was read, no comment after the Terrain word.
constexpr TerrainWording kTerrainWording{"Input should be either 'true' or 'false'.",
                                         "Input should be either 'true' or 'false'.", false,
                                         false};

// A keyword of the file and the value it stands for.
template <class Value>
struct Keyword {
  const char* text;
  Value value;
};

constexpr Keyword<SpectrumSource> kSources[] = {{"basic", SpectrumSource::basic},
                                                {"land", SpectrumSource::land},
                                                {"sea", SpectrumSource::sea},
                                                {"terrain", SpectrumSource::terrain},
                                                {"iec", SpectrumSource::iec}};
constexpr Keyword<CalculationResult> kResults[] = {{"spec", CalculationResult::spec},
                                                   {"xspec", CalculationResult::xspec},
                                                   {"sigma2", CalculationResult::sigma2}};

// Compares text with the keywords in table order, whole text, case-sensitive.
template <class Value, std::size_t N>
bool matchKeyword(const std::string& text, const Keyword<Value> (&table)[N], Value& value) {
  for (const Keyword<Value>& candidate : table)
    if (text == candidate.text) {
      value = candidate.value;
      return true;
    }
  return false;
}

// Checked as it is read, before the site parameters are derived.
int readSpecType(ValueReader& r) {
  const int specType = r.readInt("SpecType");
  checkSpecType(specType);
  return specType;
}

// A negative Gamma is the mirror image of a positive one (a wind that weakens
// with height) and is taken as it is; a level or length scale that is not
// positive would only give NaN spectra (or, for alphaeps = 0, ask for a
// roughness table that only the terrain source builds).
void readBasicSource(ValueReader& r, SpectrumInput& input) {
  input.params.alphaeps = r.readFloat("alphaeps");
  if (!(input.params.alphaeps > 0.0f)) fatalError("The spectral level alphaeps has to be positive");
  input.params.L = r.readFloat("L");
  if (!(input.params.L > 0.0f)) fatalError("The length scale L has to be positive");
  input.params.Gamma = r.readFloat("Gamma");
  checkModelParameters(input.params);
}

// The output wave numbers k1 = 10^c, c = log10(kmin), log10(kmin) + step, ...
// up to log10(kmax). A range that could never end, or whose logarithms do not
// exist, is refused.
void checkWaveNumberRange(const SpectrumInput& input) {
  if (input.kmin > input.kmax) return;  // an empty range: no output lines
  if (!(input.kmin > 0.0f)) fatalError("The wave number kmin has to be positive");
  if (!(input.step > 0.0f)) fatalError("step has to be positive when kmin <= kmax");
  // The float c must grow at every step; the spacing of floats is widest at
  // the end of the range with the larger magnitude.
  for (const float k : {input.kmin, input.kmax}) {
    const float c = static_cast<float>(std::log10(double(k)));
    if (static_cast<float>(c + input.step) == c)
      fatalError("step is too small to advance the wave number from kmin to kmax");
  }
  // Sheared one-point spectra below k1 L = kMinShearedK1L cannot be
  // integrated over their plane (tensor/model.hpp); without shear the
  // lifetime does not enter. The cross-spectra take their lines one by one
  // and converge there, as they always have.
  const float L = input.params.L;
  const double lowest = double(kMinShearedK1L) / double(L);
  if (input.result == CalculationResult::spec && input.params.Gamma != 0.0f &&
      double(input.kmin) < lowest)
    fatalError("The wave number kmin = " + formatG6(input.kmin) + " rad/m is below " +
               formatG6(kMinShearedK1L) + " / L = " + formatG6(lowest) + " rad/m (L = " +
               formatG6(L) + " m): there the eddy lifetime of the sheared model is held "
               "constant, and its spectra cannot be integrated");
}

}  // namespace

void readSpectrumInput(std::istream& in, std::ostream& out, std::ostream& echo,
                       SpectrumInput& input, UpstreamTables& tables) {
  ValueReader r(in);

  std::string line;
  if (!r.readLine(line)) r.missingHere("ParameterSource");
  if (!matchKeyword(line, kSources, input.source))
    fatalError("ParameterSource has to be either basic, land, sea or terrain");

  switch (input.source) {
    case SpectrumSource::basic:
      readBasicSource(r, input);
      break;
    case SpectrumSource::land:
      input.U0 = r.readFloat("U0");
      input.z = r.readFloat("z");
      input.z0 = r.readFloat("z0");
      input.SpecType = readSpecType(r);
      landStep(input);
      break;
    case SpectrumSource::sea:
      input.U0 = r.readFloat("U0");
      input.z = r.readFloat("z");
      input.SpecType = readSpecType(r);
      seaStep(input);
      break;
    case SpectrumSource::terrain:
      readTerrainSource(r, echo, kTerrainWording, input);
      out << formatG6(terrainStep(input, TerrainAxes::file, tables, echo)) << "\n";
      out.flush();
      break;
    case SpectrumSource::iec:
      input.iec = readIecSource(r);
      input.params = iecParams(input.iec);
      break;
  }

  const std::string result = r.readWord("CalculationResult");
  if (!matchKeyword(result, kResults, input.result))
    fatalError("CalculationResult has to be either spec, xspec or sigma2");

  input.nPairs = r.readInt("the number of pairs");
  if (input.nPairs < 1 || input.nPairs > kMaxPairs)
    fatalError("The number of pairs has to be between 1 and 10");
  for (int p = 0; p < input.nPairs; ++p) {
    const int i = r.readInt("pairs");
    const int j = r.readInt("pairs");
    if (i < 1 || i > 3 || j < 1 || j > 3) fatalError("components has to be either 1, 2 or 3.");
    input.pairs[p] = {i - 1, j - 1};
    echo << input.pairs[p][0] << " " << input.pairs[p][1] << "\n";
    echo.flush();
  }

  if (input.result == CalculationResult::sigma2) return;
  input.kmin = r.readFloat("kmin");
  input.kmax = r.readFloat("kmax");
  input.step = r.readFloat("step");
  checkWaveNumberRange(input);

  if (input.result == CalculationResult::xspec) {
    input.sep1 = r.readFloat("sep1");
    input.sep2 = r.readFloat("sep2");
  }
}

}  // namespace wind
