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

// The variance of a pair whose integral does not converge, and what to do:
// with the model's L far below the scales the quarter-sphere quadrature
// resolves (a few metres for the fitted Gamma), its single-precision wave
// vectors leave no smooth integrand. The variance is alphaeps L^(2/3) times a
// number set by Gamma alone (the tensor depends on k L only), so the basic
// source with L = kSigma2EquivalentL and alphaeps scaled to match has the same
// variances; the terrain tables' level and stretch have no such form.
constexpr float kSigma2EquivalentL = 30.0f;  // m

[[noreturn]] void refuseSigma2(const SpectrumInput& input, int p) {
  const ModelParameters& m = input.params;
  std::string message = "The variance of the pair " + std::to_string(input.pairs[p][0] + 1) +
                        " " + std::to_string(input.pairs[p][1] + 1) +
                        " cannot be integrated (its quadrature does not converge) for L = " +
                        formatG6(m.L) + " m and Gamma = " + formatG6(m.Gamma);
  if (input.Terrain || m.alphaeps == 0.0f) {
    message += ": a higher terrain level (KESTAVHeightNo) gives a greater L";
  } else {
    const double alphaeps =
        double(m.alphaeps) * std::pow(double(m.L) / double(kSigma2EquivalentL), 2.0 / 3.0);
    message += ": the variances are alphaeps L^(2/3) times numbers set by Gamma alone, and "
               "the basic source " + formatG6(alphaeps) + " " + formatG6(kSigma2EquivalentL) +
               " " + formatG6(m.Gamma) + " (alphaeps L Gamma) gives the same ones";
    if (input.source == SpectrumSource::iec)
      message += ", as does any z_hub of a few metres or more";
  }
  fatalError(message + "; nothing was printed");
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

    case CalculationResult::sigma2: {
      // Every pair first, so that one that cannot be integrated ends the run
      // before any line is printed.
      float s[kMaxPairs] = {};
      for (int p = 0; p < input.nPairs; ++p) {
        bool converged = false;
        s[p] = static_cast<float>(sigma2Status(model, pair(p), kCorvelTol, converged));
        if (!converged) refuseSigma2(input, p);
      }
      for (int p = 0; p < input.nPairs; ++p) out << formatG6(s[p]) << "\n";
      out.flush();
      break;
    }
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
