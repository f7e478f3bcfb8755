#pragma once
// The spectrum calculator's main routine, one run from the command line to
// exit status 0:
//
//   1. choose the input file: the first argument if there is one, else
//      kDefaultCorvelInput;
//   2. read it (corvel/spectrum_input.hpp), the parameter-source step included;
//   3. compute and print, on out, line by line and flushed as each number is
//      complete (numbers %.6g):
//        spec    per output wave number k1: k1, then for each pair three blanks
//                and the one-point spectrum F_ij(k1) (phiIntk2k3);
//        xspec   per k1: k1, then for each pair three blanks and the four
//                values of crossSpectrum, F_ii F_jj co quad, one blank apart;
//        sigma2  per pair one line: the variance or covariance (sigma2Status),
//                every pair computed before the first line is printed; a
//                pair whose integral does not converge ends the run with
//                nothing printed, naming L and Gamma and the basic source with
//                the same variances and L = 30 m (they go as alphaeps
//                L^(2/3) at a given Gamma), where its integrals converge.
//
// The output wave numbers are k1 = 10^c for c = log10(kmin) (float), growing by
// step (float) while c <= log10(kmax) (or c equals log10(kmax) rounded to
// float); kmin = kmax prints one line, kmin > kmax nothing.
//
// Model: siteTensorModel (sources/site_steps.hpp), as in the simulator: with
// the Roughness option the tensor model takes its level per wave number from
// the roughness table, otherwise the alphaeps of the source; Terrain is its
// stretch switch. The model's tables are checked before the first line is
// printed.
//
// Every failure ends the run through fatalError (exit status 1); lines printed
// before it stay printed. "Could not open input file (in corvel): <name>:
// <reason>" when the input cannot be opened (missing, a folder, no permission).

#include <iosfwd>
#include <string>

#include "corvel/spectrum_input.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind {

// The input file used when no argument is given.
inline constexpr const char* kDefaultCorvelInput = "c:/Temp/corvel.inp";

// The relative tolerance of every spectrum, cross-spectrum and variance.
inline constexpr float kCorvelTol = 0.0001f;

// argv[1] when at least one argument is given (argc >= 2), else the default.
std::string corvelInputFileName(int argc, const char* const argv[]);

// Step 3 above for a complete input record; tables is the run's set, filled by
// the terrain source's step (empty for the other sources).
void printResults(SpectrumInput& input, const UpstreamTables& tables, std::ostream& out);

// One complete run; returns the exit status 0 (failures do not return).
int runCorvel(int argc, const char* const argv[], std::ostream& out, std::ostream& echo);

}  // namespace wind
