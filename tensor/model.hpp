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
// Plain values: five words, cheap to copy, no ownership (the tables outlive
// every computation that reads them), no state, reentrant.
#include "tensor/upstream_lookup.hpp"

namespace wind {

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
