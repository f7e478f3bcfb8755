// corvel: one-point spectra, two-point cross-spectra and variances of the
// turbulence model, printed as text.
#include <iostream>

#include "corvel/command_line.hpp"
#include "corvel/driver.hpp"

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
  return wind::runCorvel(argc, argv, std::cout, std::cerr);
}
