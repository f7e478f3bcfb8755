#pragma once
// Mean wind profiles added to u in the full-field wind files (.bts, .wnd).
//
// The synthesised box holds fluctuations about zero. A wind file for a load
// simulation holds total velocities, so each row of u gets the mean wind speed
// at its height z, scaled to U at the hub height z_hub:
//
//   power:ALPHA   U(z) = U (z / z_hub)^ALPHA            (IEC 61400-1's normal
//                                                       wind profile: ALPHA 0.2)
//   log:Z0        U(z) = U ln(z / Z0) / ln(z_hub / Z0)  (neutral surface layer)
//   none          U(z) = U at every height              (no shear)
//
// v and w get no mean. The defaults follow the source: power:0.2 for iec (the
// normal wind profile), log with the site's roughness length for land (its z0)
// and sea (Charnock's z0 of the solved friction velocity,
// sources/site_params.hpp), power:0.2 for the others.
//
// Failure: parseMeanProfile ends the run naming the value it cannot read;
// checkMeanProfile refuses a log profile whose Z0 is not below the grid's
// lowest row and the hub. The profile is evaluated in double and allocates
// nothing.

#include <string>

#include "handover/placement.hpp"
#include "simulation/simulation_input.hpp"

namespace wind {

enum class ProfileKind { none, power, log };

struct MeanProfile {
  ProfileKind kind = ProfileKind::none;
  double alpha = 0.0;  // power-law exponent (power)
  double z0 = 0.0;     // roughness length, m (log)
};

// The IEC normal wind profile's exponent.
inline constexpr double kIecPowerLawExponent = 0.2;

// A --profile value: "power:ALPHA" with 0 <= ALPHA <= 1, "log:Z0" with Z0 > 0
// (m), or "none". Anything else ends the run with "--profile: '<text>' is not
// a profile (power:ALPHA with ALPHA from 0 to 1, log:Z0 with Z0 > 0 in metres,
// or none)".
MeanProfile parseMeanProfile(const std::string& text);

// The source's default profile (see above).
MeanProfile defaultMeanProfile(const SimulationInput& in);

// The mean wind speed at height z > 0 of a profile that is U at zHub.
double meanWindSpeed(const MeanProfile& p, double U, double zHub, double z);

// A log profile needs Z0 below the lowest row and the hub: else "--profile
// log:<Z0>: the roughness length must lie below the grid's lowest row
// (<bottom> m) and the hub".
void checkMeanProfile(const MeanProfile& p, const GridPlacement& placement);

// The profile as the --profile value that gives it ("power:0.2", "log:0.05",
// "none"), for records and descriptions.
std::string meanProfileText(const MeanProfile& p);

}  // namespace wind
