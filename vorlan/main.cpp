// vorlan: synthesises periodic Gaussian turbulent wind fields.
#include <iostream>

#include "vorlan/driver.hpp"

int main(int argc, char** argv) {
  return wind::runVorlan(argc, argv, wind::SimulatorSteps{}, std::cerr);
}
