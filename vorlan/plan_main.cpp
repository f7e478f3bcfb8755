// vorlan-plan: plans a turbulence box for a load simulation (vorlan/box_plan.hpp).
#include <iostream>

#include "vorlan/box_plan.hpp"

int main(int argc, char** argv) { return wind::runVorlanPlan(argc, argv, std::cout); }
