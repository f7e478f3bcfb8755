// corvel: one-point spectra, two-point cross-spectra and variances of the
// turbulence model, printed as text.
#include <iostream>

#include "corvel/command_line.hpp"
#include "corvel/driver.hpp"
#include "support/fatal_error.hpp"

int main(int argc, char** argv) {
  switch (wind::corvelRequest(argc, argv)) {
    case wind::CorvelRequest::help:
      wind::printCorvelHelp(std::cout);
      return 0;
    case wind::CorvelRequest::version:
      wind::printCorvelVersion(std::cout);
      return 0;
    case wind::CorvelRequest::run:
      break;
  }
  // Whatever the heap refuses ends with the fatal report, not an abort.
  return wind::allocateOrFail("the computation (an allocation of corvel failed)",
                              [&] { return wind::runCorvel(argc, argv, std::cout, std::cerr); });
}
