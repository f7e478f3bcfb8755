// corvel-fit: the model's alphaeps, L and Gamma fitted to measured spectra
// (fit/driver.hpp), with vorlan's box planner (handover/box_plan.hpp) for the
// parameter file of a box of the fitted model.
#include <iostream>
#include <sstream>

#include "fit/driver.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"
#include "handover/box_plan.hpp"

namespace {

wind::PlanOutput planFitted(const wind::PlanInputs& in) {
  wind::PlanRequest r;
  r.windSpeed = in.windSpeed;
  r.hubHeight = in.hubHeight;
  r.rotorDiameter = in.rotorDiameter;
  r.time = in.time;
  r.basic = in.basic;
  if (in.dt) r.dt = *in.dt;
  if (in.margin) r.margin = *in.margin;
  r.output = in.output;
  const wind::BoxPlan p = wind::planBox(r);
  std::ostringstream d;
  wind::printPlan(d, p);
  // The basic source states no wind speed or hub height: vorlan takes them as
  // options to place the box and write the hand-over formats.
  d << "Wrote " << in.output << "; run it with: vorlan --format bts " << in.output
    << " --wind-speed " << wind::shortestText(static_cast<float>(in.windSpeed)) << " --hub-height "
    << wind::shortestText(static_cast<float>(in.hubHeight)) << "\n";
  return {wind::planParameterText(p), d.str()};
}

}  // namespace

int main(int argc, char** argv) {
  return wind::allocateOrFail("the fit (an allocation of corvel-fit failed)", [&] {
    return wind::runCorvelFit(argc, argv, std::cout, planFitted);
  });
}
