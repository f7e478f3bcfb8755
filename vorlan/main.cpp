// vorlan: synthesises periodic Gaussian turbulent wind fields.
#include <iostream>

#include "support/fatal_error.hpp"
#include "vorlan/command_line.hpp"

int main(int argc, char** argv) {
  // The run checks its memory before it starts, and the field arrays and the
  // engines' buffers report their own failures; whatever the heap still
  // refuses ends with the fatal report, not an abort.
  return wind::allocateOrFail("the run (an allocation of vorlan failed)", [&] {
    return wind::runVorlan(argc, argv, wind::SimulatorSteps{}, std::cerr);
  });
}
