#pragma once
// Model parameters from the IEC 61400-1 normal turbulence model.
//
// A wind-turbine design class gives the turbulence of the site by a category
// and the hub-height wind: the reference turbulence intensity Iref (category
// A 0.16, B 0.14, C 0.12, or a number of the user's own), the mean wind speed
// V_hub at hub height and the hub height z_hub. From these:
//
//   sigma_1  = Iref (0.75 V_hub + 5.6)                 standard deviation of u
//   Lambda_1 = 0.7 z_hub for z_hub <= 60 m, else 42 m  longitudinal scale parameter
//   L        = 0.8 Lambda_1
//   Gamma    = 3.9
//   alphaeps = sigma_iso^2 / (c L^(2/3)),  sigma_iso = 0.55 sigma_1,
//
// where c = (1/3) B(5/2, 1/3) = 0.688344... is the closed form of the variance
// of the isotropic von Karman tensor, sigma_iso^2 = c alphaeps L^(2/3) (the
// integral of E(k) = alphaeps L^(5/3) (L k)^4 / (1 + (L k)^2)^(17/6) over k,
// divided by the 3/2 of the three components). B is the beta function, taken
// from std::lgamma in double. The inputs enter as the decimals they were read
// from (the shortest text of each float); the values are computed in double and
// rounded to float once, where they are stored.
//
// The standard deviations that IEC asks of the other components are
// sigma_2 = 0.8 sigma_1 and sigma_3 = 0.5 sigma_1 (iecTargetSigmas).
//
// Failure: readIecSource ends the run through fatalError with a message that
// names the value for a category other than A, B or C that is no positive
// plain decimal number (digits, an optional sign, point and exponent: not
// "0x10", "inf" or "nan"), for an Iref above 1 ("The reference turbulence
// intensity Iref = 16 is above 1: Iref is a fraction (0.16, not 16)"), for a
// non-positive or non-finite V_hub or z_hub, and for values whose model is out
// of the tensor model's range (checkModelParameters, sources/site_params.hpp):
// a z_hub that gives L below 1 mm, an Iref so small or a V_hub so large that
// alphaeps is 0 or infinite in single precision.

#include <array>
#include <string>

#include "tensor/model.hpp"

namespace wind {

class ValueReader;

// The values of the "iec" parameter source, as given in a parameter file.
struct IecSettings {
  char category = 0;  // 'A', 'B' or 'C'; 0 when Iref was given as a number
  float Iref = 0.0f;
  float V_hub = 0.0f;  // m/s
  float z_hub = 0.0f;  // m
};

// The derived quantities, in double, and the model parameters as stored.
struct IecModel {
  double sigma1 = 0.0;    // m/s
  double Lambda1 = 0.0;   // m
  double sigmaIso = 0.0;  // m/s
  ModelParameters params;
};

// (1/3) B(5/2, 1/3): sigma_iso^2 / (alphaeps L^(2/3)) of the von Karman tensor.
double vonKarmanVarianceFactor();

// Iref of a category word: "A", "B", "C" or a plain decimal number in (0, 1]
// (then category 0). Any other word ends the run naming it.
IecSettings iecCategory(const std::string& word);

// Reads the source's values in file order: category word, V_hub, z_hub, and
// checks the model they give.
IecSettings readIecSource(ValueReader& r);

// The check of the model that readIecSource makes (checkModelParameters),
// for settings given otherwise (the box planner's).
void checkIecModel(const IecSettings& s);

IecModel iecModel(const IecSettings& s);

// The model parameters of iecModel, as the site routines hand them out.
ModelParameters iecParams(const IecSettings& s);

// Lambda_1 of a hub height (above), m.
double iecLambda1(double zHub);

// IEC's exponential coherence model of u at two points r metres apart across
// the wind, at frequency f (Hz), with the hub-height wind V_hub (m/s):
//   Coh(r, f) = exp(-12 sqrt((f r / V_hub)^2 + (0.12 r / L_c)^2)),
//   L_c = 8.1 Lambda_1,
// the magnitude of the cross-spectrum over the spectrum.
double iecCoherence(double r, double f, double vHub, double lambda1);
double iecCoherenceScale(double lambda1);  // L_c, m

// IEC's target standard deviations (sigma_1, 0.8 sigma_1, 0.5 sigma_1) of
// u, v and w.
std::array<double, 3> iecTargetSigmas(double sigma1);

}  // namespace wind
