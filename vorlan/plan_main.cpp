// vorlan-plan: plans a turbulence box for a load simulation (vorlan/plan_command_line.hpp).
#include <iostream>

#include "vorlan/plan_command_line.hpp"

int main(int argc, char** argv) { return wind::runVorlanPlan(argc, argv, std::cout); }
