// Writes the table of the model's one-point spectra in similarity form
// (fit/similarity_table.hpp) as a C++ source file of the fit library.
//
//   make_similarity_table <output.cpp>
//
// Every node is integrated directly (fit/similarity_integrals.hpp): about
// 21 000 plane integrals and 196 variances, some 20 minutes on one core;
// the nodes are shared out over the OpenMP threads, each computed by the same
// operations whichever thread takes it, so the file is the same, byte for
// byte, on every run and for every thread count. A summary goes to standard
// output: at Gamma = 0 the table holds the logarithm of each integral over
// its closed form, whose largest size says how well the integrals are done.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "fit/similarity_integrals.hpp"
#include "fit/similarity_table.hpp"
#include "support/fatal_error.hpp"
#include "support/pending_output.hpp"

using namespace wind;

namespace {

constexpr const char* kHeader =
    R"(// The model's one-point spectra in similarity form over the grid of
// fit/similarity_table.hpp: r_u, r_v, r_w (log of the spectrum over the von
// Karman closed form) and rho_uw (co-spectrum over the geometric mean of the
// u and w spectra) at each (Gamma, k1 L), and the variances with alphaeps = 1
// and L = 1 m.
//
// GENERATED FILE, do not edit: written by fit/make_similarity_table_main.cpp.
// To rerun from the repository root (about 20 minutes on one core):
//   cmake --preset release && cmake --build --preset release --target make_similarity_table
//   build/release/fit/make_similarity_table fit/similarity_table_data.cpp
// The test similarity_table_reproducible (label slow) checks that the
// generator still writes this file unchanged; the fit tests recompute a
// sample of its nodes.
#include "fit/similarity_table.hpp"

namespace wind {

)";

// The text of one table value: nine significant digits, enough to carry
// the integrals' accuracy (about 1e-6) many times over.
std::string valueText(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.8e", v);
  return buf;
}

// The stored value of every component at one node.
void nodeValues(int m, int n, double* out) {
  const float Gamma = tableGamma(m);
  const double x = std::pow(10.0, tableLog10X(n));
  double f[kSpectrumComponents];
  for (int c = 0; c < kSpectrumComponents; ++c) {
    const auto comp = static_cast<SpectrumComponent>(c);
    f[c] =
        comp == SpectrumComponent::uw && Gamma == 0.0f ? 0.0 : similaritySpectrum(Gamma, x, comp);
  }
  for (int c = 0; c < 3; ++c)
    out[c] = std::log(f[c] / isotropicSpectrum(x, static_cast<SpectrumComponent>(c)));
  out[3] = f[3] / std::sqrt(f[0] * f[2]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) fatalError("Usage: make_similarity_table <output.cpp>");
  PendingOutputs outputs;
  std::ostream& out = outputs.create(argv[1], "table file").stream();

  constexpr int nodes = kTableGammaNodes * kTableXNodes;
  std::vector<double> table(std::size_t(nodes) * kSpectrumComponents);
  std::vector<double> variance(std::size_t(kTableGammaNodes) * kSpectrumComponents);
  // The variances first: the work of the nodes is not lost to a failure in
  // them.
#pragma omp parallel for schedule(dynamic)
  for (int k = 0; k < kTableGammaNodes + nodes; ++k) {
    if (k < kTableGammaNodes) {
      for (int c = 0; c < kSpectrumComponents; ++c)
        variance[std::size_t(k) * kSpectrumComponents + c] =
            similarityVariance(tableGamma(k), static_cast<SpectrumComponent>(c));
    } else {
      const int n = k - kTableGammaNodes;
      nodeValues(n / kTableXNodes, n % kTableXNodes, &table[std::size_t(n) * kSpectrumComponents]);
    }
  }

  out << kHeader << "const double kSimilarityTable[kTableGammaNodes][kTableXNodes][4] = {\n";
  for (int m = 0; m < kTableGammaNodes; ++m) {
    out << "  // Gamma = " << valueText(tableGamma(m)) << "\n  {\n";
    for (int n = 0; n < kTableXNodes; ++n) {
      out << "    {";
      for (int c = 0; c < kSpectrumComponents; ++c)
        out << (c ? ", " : "") << valueText(table[(std::size_t(m) * kTableXNodes + n) * 4 + c]);
      out << "},\n";
    }
    out << "  },\n";
  }
  out << "};\n\nconst double kSimilarityVariance[kTableGammaNodes][4] = {\n";
  for (int m = 0; m < kTableGammaNodes; ++m) {
    out << "  {";
    for (int c = 0; c < kSpectrumComponents; ++c)
      out << (c ? ", " : "") << valueText(variance[std::size_t(m) * 4 + c]);
    out << "},\n";
  }
  out << "};\n\n}  // namespace wind\n";
  outputs.commit();

  double worst = 0.0;
  for (int n = 0; n < kTableXNodes; ++n)
    for (int c = 0; c < 3; ++c) worst = std::max(worst, std::fabs(table[std::size_t(n) * 4 + c]));
  double worstVariance = 0.0;
  for (int c = 0; c < 3; ++c)
    worstVariance =
        std::max(worstVariance, std::fabs(variance[std::size_t(c)] / isotropicVariance() - 1));
  std::cout << "Wrote " << argv[1] << ": " << kTableGammaNodes << " x " << kTableXNodes
            << " nodes. At Gamma = 0 the spectra are within " << valueText(worst)
            << " (log) and the variances within " << valueText(worstVariance)
            << " (relative) of the von Karman closed forms.\n";
  return 0;
}
