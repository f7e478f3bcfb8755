#pragma once
// Similarity of the ESDU surface-layer parameters in the boundary-layer height.
//
// In the neutral atmospheric boundary layer of ESDU Data Item 85020 the
// turbulence at height z depends on the site only through the friction
// velocity u*, the roughness length z0 and the relative height z/h, where
// h = u*/(6 f) is the boundary-layer height (f = 1e-4 s^-1). With u* taken
// from the site-parameter wind profile (frictionVelocityLand or
// frictionVelocitySea, the sea roughness from Charnock's relation), the
// records (alphaeps, Gamma, L) of the ESDU tables reduce to three functions
// of z/h alone:
//
//   Gamma    = G(z/h)
//   L        = Lambda(z/h) xLu
//   alphaeps = E(z/h) sigma_u^2 L^(-2/3)
//
// with the standard deviation sigma_u of the along-wind velocity and its
// integral length scale xLu from the 85020 formulas (see boundaryLayer). This
// module computes the boundary-layer quantities of a site, turns a record into
// its similarity values (G, Lambda, E) and back, and reads (G, Lambda, E) at a
// given z/h off a set of samples by locally weighted quadratic regression
// (Cleveland, J. Amer. Statist. Assoc. 74 (1979) 829: tricube weights over the
// nearest samples).
//
// Everything is computed in double; only u* is the single-precision solution
// of the profile. No state, no printing; the functions allocate only where
// they return a std::vector.

#include <array>
#include <cstddef>
#include <vector>

#include "sources/esdu_tables.hpp"

namespace wind::similarity {

// Boundary-layer quantities of a site (heights and lengths in m, speeds in m/s).
struct BoundaryLayer {
  double ustar;   // friction velocity of the wind profile
  double z0;      // roughness length (Charnock's at sea)
  double h;       // boundary-layer height u*/(6 f)
  double zh;      // z/h
  double sigmaU;  // standard deviation of the along-wind velocity
  double xLu;     // along-wind integral length scale of the along-wind velocity
};

// The 85020 neutral boundary layer at height z for mean speed U at z over land
// with roughness z0 (m), or at sea when isSea (z0 is then ignored):
//   sigma_u = 7.5 eta (0.538 + 0.09 ln(z/z0))^p u* / (1 + 0.156 ln(u*/(f z0))),
//             eta = 1 - 6 f z/u*, p = eta^16;
//   xLu     = A^(3/2) (sigma_u/u*)^3 z / (2.5 Kz^(3/2) (1 - z/h)^2 (1 + 5.75 z/h)),
//             A  = 0.115 (1 + 0.315 (1 - z/h)^6)^(2/3),
//             Kz = 0.19 - (0.19 - K0) exp(-B (z/h)^N),
//             K0 = 0.39 / R^0.11, B = 24 R^0.155, N = 1.24 R^0.008, R = u*/(f z0).
// Meaningful for 0 < z/h < 1; the caller keeps to that range.
BoundaryLayer boundaryLayer(float U, float z, float z0, bool isSea);

// Similarity values of a record.
struct Similarity {
  double G;       // Gamma
  double Lambda;  // L / xLu
  double E;       // alphaeps L^(2/3) / sigma_u^2
};

Similarity toSimilarity(const BoundaryLayer& bl, const EsduRecord& record);
EsduRecord fromSimilarity(const BoundaryLayer& bl, const Similarity& s);

// One sample of the similarity functions.
struct Sample {
  double zh;
  Similarity s;
};

// The samples of the sea table: every node except (U = 10 m/s, z = 300 m),
// whose record (Gamma 0.16, L 2.6 m) is a failed fit, in storage order.
struct SeaSample {
  int speed;   // 0-based speed index
  int height;  // 0-based height index
  Sample sample;
};
std::vector<SeaSample> seaSamples();

// Number of nearest samples that carry weight in the local regression.
inline constexpr std::size_t kNeighbours = 13;

// (G, Lambda, E) at zh by a local quadratic in z/h, fitted by weighted least
// squares to the kNeighbours samples nearest to zh with tricube weights
// (1 - (d/dmax)^3)^3, dmax 1.0001 times the largest of their distances so that
// every neighbour keeps a weight. Ties in distance go to the sample listed
// first. The sample at index skip (if any) is left out, for cross-validation.
// Needs at least kNeighbours usable samples; the zh need not be distinct but
// must span more than two distinct values among the neighbours.
inline constexpr std::size_t kNoSkip = static_cast<std::size_t>(-1);
Similarity localFit(const std::vector<Sample>& samples, double zh,
                    std::size_t skip = kNoSkip);

// Cross-validation on the sea table: each sea sample's record predicted by
// localFit from the other samples, in the order of seaSamples().
std::vector<EsduRecord> leaveOneOutSea();

// The value rounded to six significant digits (as printed by %.6g).
double roundSixDigits(double v);

// A land record that any land table must hold exactly.
struct LandNode {
  int speed;      // 0-based speed index
  int height;     // 0-based height index
  int roughness;  // 0-based roughness index
};
struct TellingRecord {
  LandNode node;
  EsduRecord record;  // (alphaeps, Gamma, L)
};
inline constexpr int kTellingRecords = 8;
extern const std::array<TellingRecord, kTellingRecords> tellingRecords;

// The land table derived from the sea table by similarity in z/h:
//  1. the samples (z/h, G, Lambda, E) of the sound sea nodes (seaSamples);
//  2. at every land node, u*, h, sigma_u, xLu and z/h of the land profile
//     (boundaryLayer), (G, Lambda, E) from localFit at that z/h, and the
//     record (alphaeps, Gamma, L) from fromSimilarity;
//  3. nodes whose z/h lies beyond the largest sample z/h take the (G, Lambda,
//     E) of that sample (listed in clamped);
//  4. the telling records replace the derived ones at their nodes;
//  5. every value rounded to six significant digits.
struct LandDerivation {
  EsduLandTable table;
  double zhMax;                                    // largest sample z/h
  std::vector<LandNode> clamped;                   // in storage order
  std::array<EsduRecord, kTellingRecords> derivedTelling;  // before step 4, unrounded
};
LandDerivation deriveLandTable();

}  // namespace wind::similarity
