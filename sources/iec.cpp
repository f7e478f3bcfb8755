#include "sources/iec.hpp"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "numerics/constants.hpp"
#include "sources/site_params.hpp"
#include "support/console.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

// Reference turbulence intensities of the three categories.
constexpr double kIrefA = 0.16, kIrefB = 0.14, kIrefC = 0.12;
// sigma_1 = Iref (kSigmaSlope V_hub + kSigmaOffset).
constexpr double kSigmaSlope = 0.75, kSigmaOffset = 5.6;  // -, m/s
// Lambda_1 = kLambdaSlope z_hub up to kLambdaHeight, kLambdaMax above.
constexpr double kLambdaSlope = 0.7, kLambdaHeight = 60.0, kLambdaMax = 42.0;
// L = kLengthRatio Lambda_1; the isotropic part sigma_iso = kIsoRatio sigma_1.
constexpr double kLengthRatio = 0.8, kIsoRatio = 0.55;
// The exponential coherence model: Coh = exp(-kCoherenceDecay sqrt((f r / V_hub)^2
// + (kCoherenceLengthFactor r / L_c)^2)), L_c = kCoherenceScaleRatio Lambda_1.
constexpr double kCoherenceDecay = 12.0, kCoherenceLengthFactor = 0.12,
                 kCoherenceScaleRatio = 8.1;
constexpr float kIecGamma = 3.9f;
// sigma_2 / sigma_1 and sigma_3 / sigma_1.
constexpr double kSigma2Ratio = 0.8, kSigma3Ratio = 0.5;

// The decimal a float was read from (its shortest round-trip text), so that
// 11.4f enters the formulas as 11.4 and sigma_1 of class A is 2.264, not
// 2.2639999.
float readPositiveValue(ValueReader& r, const char* label, const char* what) {
  const float v = r.readFloat(label);
  if (!(v > 0.0f) || !std::isfinite(v))
    fatalError(std::string("The IEC ") + what + " " + label + " has to be positive, not " +
               formatG6(v));
  return v;
}

// A plain decimal number, as people write a turbulence intensity: an optional
// sign, digits with at most one point (at least one digit), an optional
// exponent. Not hexadecimal ("0x10" would be 16), not inf or nan.
bool isPlainDecimal(std::string_view w) {
  std::size_t i = 0;
  const auto digits = [&] {
    const std::size_t from = i;
    while (i < w.size() && std::isdigit(static_cast<unsigned char>(w[i]))) ++i;
    return i - from;
  };
  if (i < w.size() && (w[i] == '+' || w[i] == '-')) ++i;
  std::size_t mantissa = digits();
  if (i < w.size() && w[i] == '.') {
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < w.size() && (w[i] == 'e' || w[i] == 'E')) {
    ++i;
    if (i < w.size() && (w[i] == '+' || w[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == w.size();
}

}  // namespace

double vonKarmanVarianceFactor() {
  // B(a, b) = Gamma(a) Gamma(b) / Gamma(a + b), all three arguments positive.
  const double a = 2.5, b = 1.0 / 3.0;
  return std::exp(std::lgamma(a) + std::lgamma(b) - std::lgamma(a + b)) / 3.0;
}

IecSettings iecCategory(const std::string& word) {
  IecSettings s;
  if (word == "A" || word == "B" || word == "C") {
    s.category = word[0];
    s.Iref = toFloat(word == "A" ? kIrefA : word == "B" ? kIrefB : kIrefC);
    return s;
  }
  // Otherwise the whole word has to be a positive decimal number (one too small
  // for a float comes out as 0 or subnormal; the model check names it).
  const float v = isPlainDecimal(word) ? std::strtof(word.c_str(), nullptr) : 0.0f;
  if (!(v > 0.0f))
    fatalError("The IEC turbulence category has to be A, B, C or a positive reference "
               "intensity Iref, not '" + word + "'");
  // Other tools take the intensity in percent; here 16 would be 1600 %.
  if (v > 1.0f)
    fatalError("The reference turbulence intensity Iref = " + word +
               " is above 1: Iref is a fraction (0.16, not 16)");
  s.Iref = v;
  return s;
}

IecSettings readIecSource(ValueReader& r) {
  IecSettings s = iecCategory(r.readWord("the IEC turbulence category"));
  s.V_hub = readPositiveValue(r, "V_hub", "hub-height wind speed");
  s.z_hub = readPositiveValue(r, "z_hub", "hub height");
  checkIecModel(s);
  return s;
}

void checkIecModel(const IecSettings& s) {
  // L follows z_hub alone; with Iref at most 1 and L from 1 mm to 33.6 m the
  // level can only vanish for a tiny Iref and overflow for a huge V_hub.
  const ModelParameters p = iecParams(s);
  const bool levelOverflows = !std::isfinite(p.alphaeps);
  checkModelParameters(
      p, {levelOverflows ? namedValue("V_hub", s.V_hub) : namedValue("Iref", s.Iref),
          namedValue("z_hub", s.z_hub), ""});
}

IecModel iecModel(const IecSettings& s) {
  IecModel m;
  const double zHub = shortestDecimal(s.z_hub);
  m.sigma1 = shortestDecimal(s.Iref) * (kSigmaSlope * shortestDecimal(s.V_hub) + kSigmaOffset);
  m.Lambda1 = iecLambda1(zHub);
  const double L = kLengthRatio * m.Lambda1;
  m.sigmaIso = kIsoRatio * m.sigma1;
  m.params.L = toFloat(L);
  m.params.Gamma = kIecGamma;
  m.params.alphaeps =
      toFloat(m.sigmaIso * m.sigmaIso / (vonKarmanVarianceFactor() * std::pow(L, 2.0 / 3.0)));
  return m;
}

double iecLambda1(double zHub) { return zHub <= kLambdaHeight ? kLambdaSlope * zHub : kLambdaMax; }

double iecCoherenceScale(double lambda1) { return kCoherenceScaleRatio * lambda1; }

double iecCoherence(double r, double f, double vHub, double lambda1) {
  const double lc = iecCoherenceScale(lambda1);
  return std::exp(-kCoherenceDecay * std::sqrt(std::pow(f * r / vHub, 2.0) +
                                               std::pow(kCoherenceLengthFactor * r / lc, 2.0)));
}

ModelParameters iecParams(const IecSettings& s) { return iecModel(s).params; }

std::array<double, 3> iecTargetSigmas(double sigma1) {
  return {sigma1, kSigma2Ratio * sigma1, kSigma3Ratio * sigma1};
}

}  // namespace wind
