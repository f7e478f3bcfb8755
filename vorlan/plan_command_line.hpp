#pragma once
// vorlan-plan's command line and the whole program over the planner
// (handover/box_plan.hpp):
//
//   vorlan-plan --wind-speed V --hub-height Z --rotor-diameter D --time T
//               [--class A|B|C|Iref] [--roughness Z0] [--dt S] [--margin F]
//               [-o FILE]
//
// The parameter file is a pending output (support/pending_output.hpp): it
// appears under its name only when complete; a failure leaves what was there.
#include <iosfwd>

#include "handover/box_plan.hpp"

namespace wind {

// The command line (each option also as --name=value); a missing required
// option, an unknown word or a bad value ends the run naming it.
PlanRequest parsePlanCommandLine(int argc, const char* const argv[]);

void printPlanHelp(std::ostream& out);

// The whole program; returns the exit status 0.
int runVorlanPlan(int argc, const char* const argv[], std::ostream& out);

}  // namespace wind
