#include "corvel/driver.hpp"

#include <cmath>
#include <fstream>
#include <ostream>
#include <span>

#include "tensor/spectra.hpp"
#include "numerics/arrays.hpp"
#include "sources/site_steps.hpp"
#include "support/fatal_error.hpp"
#include "support/input_file.hpp"
#include "support/print_format.hpp"
#include "tensor/tensor_integrals.hpp"

namespace wind {

namespace {

constexpr const char* kColumnGap = "   ";

// Slack of the end test, as a fraction of the step: c is a float sum of steps
// and lands on log10(kmax) only up to rounding (kmin 0.01, kmax 1, step 0.1
// reaches 0.00000012 instead of 0). Each addition rounds by at most half a float
// spacing of c, a few 1e-8 for the decades in use, so for steps of 0.01 decade
// and more the sum after hundreds of steps is still far closer than step/1000
// to the grid point it stands for, while a kmax that lies between two grid
// points is never reached by a thousandth of a step: the slack adds the one
// requested end point and nothing else. (For much finer steps the float sum
// drifts by whole steps anyway, and the slack changes nothing there.)
constexpr double kEndSlackPerStep = 1.0e-3;

// k1 = 10^c over the output range; body(k1) prints the rest of each line.
// The end is compared in double with the slack above and, since c itself is a
// float, also as the float it rounds to: otherwise a range ending on a value
// whose logarithm rounds up (kmin = kmax = 0.3, say) would lose its last line.
template <class Body>
void forEachWaveNumber(const SpectrumInput& input, std::ostream& out, Body&& body) {
  float c = static_cast<float>(std::log10(double(input.kmin)));
  const double cEnd = std::log10(double(input.kmax));
  const float cEndF = static_cast<float>(cEnd);
  const double cLast = cEnd + kEndSlackPerStep * double(input.step);
  while (double(c) <= cLast || c == cEndF) {
    const float k1 = static_cast<float>(std::pow(10.0, double(c)));
    out << formatG6(k1);
    out.flush();
    body(k1);
    out << "\n";
    out.flush();
    c = static_cast<float>(c + input.step);
  }
}

}  // namespace

std::string corvelInputFileName(int argc, const char* const argv[]) {
  return argc >= 2 ? std::string(argv[1]) : std::string(kDefaultCorvelInput);
}

void printResults(SpectrumInput& input, const UpstreamTables& tables, std::ostream& out) {
  const TensorModel model = siteTensorModel(input, &tables);
  model.checkTables();
  const auto pair = [&input](int p) { return std::span<int, 2>(input.pairs[p]); };

  switch (input.result) {
    case CalculationResult::spec:
      forEachWaveNumber(input, out, [&](float k1) {
        for (int p = 0; p < input.nPairs; ++p) {
          const float F = static_cast<float>(phiIntk2k3(model, k1, pair(p), kCorvelTol));
          out << kColumnGap << formatG6(F);
          out.flush();
        }
      });
      break;

    case CalculationResult::xspec: {
      Matrix r = matrix(0, 1, 0, 1);
      forEachWaveNumber(input, out, [&](float k1) {
        for (int p = 0; p < input.nPairs; ++p) {
          crossSpectrum(model, k1, input.sep1, input.sep2, pair(p), kCrossSpectrumPoints,
                        kCorvelTol, r);
          out << kColumnGap << formatG6(r[0][0]) << " " << formatG6(r[0][1]) << " "
              << formatG6(r[1][0]) << " " << formatG6(r[1][1]);
          out.flush();
        }
      });
      break;
    }

    case CalculationResult::sigma2:
      for (int p = 0; p < input.nPairs; ++p) {
        const float s = static_cast<float>(sigma2(model, pair(p), kCorvelTol));
        out << formatG6(s) << "\n";
        out.flush();
      }
      break;
  }
}

int runCorvel(int argc, const char* const argv[], std::ostream& out, std::ostream& echo) {
  std::ifstream in =
      openInputFile(corvelInputFileName(argc, argv), "Could not open input file (in corvel)");

  SpectrumInput input;
  UpstreamTables tables;
  readSpectrumInput(in, out, echo, input, tables);
  printResults(input, tables, out);
  return 0;
}

}  // namespace wind
