#pragma once
// The parameters of the spectral tensor model as one value: everything the
// tensor routines (tensor/spectral_tensor.hpp, tensor/tensor_integrals.hpp),
// the synthesis engines and the spectrum calculator need to know about the
// turbulence, handed on unchanged from the driver to the innermost integrand.
//
// ModelParameters, the three numbers of the model, which the parameter sources
// derive from a site (or read as they are):
//   alphaeps  spectral level alpha eps^(2/3) in m^(4/3) s^-2; 0 means that the
//             level is read per wave number from the roughness table
//             (roughnessAlphaeps of tensor/upstream_lookup.hpp);
//   L         length scale (m);
//   Gamma     shear-distortion parameter (0: isotropic).
// TensorModel, the model as the routines take it:
//   params    the three numbers;
//   Terrain   the scale-dependent stretch of the terrain option;
//   tables    the run's upstream-memory tables, read-only, or none.
//
// Tables are needed exactly when Terrain is on or alphaeps is 0 (needsTables);
// then the table that the model reads must have been filled by its builder:
// the stretch tables for Terrain, the roughness table for alphaeps = 0.
// checkTables tests that once, at the boundary (engines and spectrum
// calculator call it before any work); the lookups themselves end the run with
// the same messages if a routine is called on an unchecked model.
//
// The range the routines are made for. A source's parameters are checked
// against it where they are read or derived (checkModelParameters,
// sources/site_params.hpp), before any output; the routines themselves do not
// check.
//   L        at least kMinLengthScale, 1 mm. The model has an inertial range
//            and no dissipation range, so a scale of the energy-containing
//            eddies at or below the viscous scale of air (about a millimetre in
//            the atmosphere) describes nothing; far below it the level of the
//            spectrum at the origin, alphaeps L^(17/3) / (4 pi), leaves single
//            precision altogether (a z_hub of 1e-10 m gives L = 5.6e-11 m and a
//            box of zeros).
//   alphaeps a positive normal float. Zero would ask for the roughness table
//            (above), infinity gives NaN everywhere.
//   Gamma    |Gamma| at most kMaxAbsGamma, 10. Every fitted value of the
//            sources lies between 0.15 and 4.6; with |Gamma| <= 10 the plane
//            integral of the one-point spectra converges within its budget for
//            k1 L from kMinShearedK1L to 1000 and L from 1 mm to 10 km (at most
//            about 18 000 evaluations in a scan of that range). Far beyond it
//            the distortion overflows single precision (Gamma 1e12 gives a box
//            with a standard deviation of 1e10 m/s).
// kMinShearedK1L, 0.005, is where the eddy lifetime is clamped
// (tensor/lifetime.hpp): a one-point spectrum at a smaller k1 L integrates
// over a plane that cuts the sphere |k| L = 0.005, on which the sheared tensor
// has a kink; its quadrature then either exhausts any budget or stops early on
// a wrong value. The spectrum calculator refuses sheared one-point spectra
// there.
//
// Plain values: five words, cheap to copy, no ownership (the tables outlive
// every computation that reads them), no state, reentrant.
#include "tensor/upstream_lookup.hpp"

namespace wind {

inline constexpr float kMinLengthScale = 0.001f;  // m
inline constexpr float kMaxAbsGamma = 10.0f;
inline constexpr float kMinShearedK1L = 0.005f;

struct ModelParameters {
  float alphaeps = 0.0f;
  float L = 0.0f;
  float Gamma = 0.0f;
};

struct TensorModel {
  ModelParameters params;
  bool Terrain = false;
  const UpstreamTables* tables = nullptr;

  // Terrain on or alphaeps == 0: the model reads the upstream-memory tables.
  bool needsTables() const { return Terrain || params.alphaeps == 0.0f; }

  // The tables that the lookups read: *tables, or an empty set (whose lookups
  // are fatal) when there are none.
  const UpstreamTables& lookupTables() const;

  // Ends the run through fatalError when the model needs a table that is not
  // filled: "stretch tables not built: the Terrain stretch needs the Terrain
  // option" (checked first) or "roughness table not built: alphaeps = 0 needs
  // the Roughness option". Returns quietly otherwise.
  void checkTables() const;
};

}  // namespace wind
