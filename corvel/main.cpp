// corvel: one-point spectra, two-point cross-spectra and variances of the
// turbulence model, printed as text.
#include <iostream>

#include "corvel/driver.hpp"

int main(int argc, char** argv) { return wind::runCorvel(argc, argv, std::cout, std::cerr); }
