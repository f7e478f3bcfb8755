#pragma once
// The box for a load simulation planned from the turbine and the run: wind
// speed, hub height, rotor diameter, simulated time and time step, turbulence
// class or roughness (handover/box_plan.hpp, the arithmetic of vorlan-plan).
// planBox gives the grid, the box lengths, the placement above ground, memory
// and time; planParameterText the parameter file vorlan reads. Refusals say
// what to change, through fatalError (windfield/errors.hpp).
#include "handover/box_plan.hpp"
