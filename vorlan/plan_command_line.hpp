#pragma once
// vorlan-plan's command line and the whole program over the planner
// (handover/box_plan.hpp):
//
//   vorlan-plan --wind-speed V --hub-height Z --rotor-diameter D --time T
//               [--class A|B|C|Iref] [--roughness Z0] [--dt S] [--margin F]
//               [--hub-on-row] [-o FILE]
//   vorlan-plan --speeds V1,V2,... --seeds S1,S2,... --table DIR
//               --hub-height Z --rotor-diameter D --time T [the same options]
//
// The parameter file is a pending output (support/pending_output.hpp): it
// appears under its name only when complete; a failure leaves what was there.
// A table's files are written as handover/box_plan.hpp says (writeTable).
// --seeds reads its list as vorlan's --seeds does (parseSeedList).
#include <iosfwd>

#include "handover/box_plan.hpp"

namespace wind {

// The command line (each option also as --name=value); a missing required
// option, an option of the other mode (--wind-speed or -o with --table,
// --speeds or --seeds without it), an option given twice, an unknown word or
// a bad value ends the run naming it.
PlanRequest parsePlanCommandLine(int argc, const char* const argv[]);

void printPlanHelp(std::ostream& out);

// The whole program; returns the exit status 0.
int runVorlanPlan(int argc, const char* const argv[], std::ostream& out);

}  // namespace wind
