#include "fit/model_spectra.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <span>
#include <string>

#include "fit/similarity_integrals.hpp"
#include "fit/similarity_table.hpp"
#include "tensor/tensor_integrals.hpp"

namespace wind {
namespace {

constexpr SpectrumComponent kAll[] = {SpectrumComponent::u, SpectrumComponent::v,
                                      SpectrumComponent::w, SpectrumComponent::uw};

// The value the table stores at a node, from the integrals.
double storedValue(float Gamma, double x, SpectrumComponent c) {
  if (c != SpectrumComponent::uw)
    return std::log(similaritySpectrum(Gamma, x, c) / isotropicSpectrum(x, c));
  if (Gamma == 0.0f) return 0.0;
  return similaritySpectrum(Gamma, x, c) /
         std::sqrt(similaritySpectrum(Gamma, x, SpectrumComponent::u) *
                   similaritySpectrum(Gamma, x, SpectrumComponent::w));
}

TEST(SimilarityIntegrals, IsotropicSpectraAndVarianceMatchTheVonKarmanClosedForms) {
  for (double x : {0.0052, 0.37, 8.5, 640.0})
    for (SpectrumComponent c : {SpectrumComponent::u, SpectrumComponent::v, SpectrumComponent::w})
      EXPECT_NEAR(similaritySpectrum(0.0f, x, c) / isotropicSpectrum(x, c), 1.0, 2e-6)
          << "x " << x << ", " << componentName(c);
  // (2/3) int E = B(5/2, 1/3) / 3 = 0.6883441...
  EXPECT_NEAR(isotropicVariance(), 0.68834395, 1e-7);
  EXPECT_NEAR(similarityVariance(0.0f, SpectrumComponent::w) / isotropicVariance(), 1.0, 1e-6);
}

TEST(SimilarityIntegrals, SpectraScaleWithAlphaepsAndLAsTheSimilarityFormSays) {
  // F(k1; a, L, G) = a L^(5/3) f(k1 L; G): phiIntk2k3 at a tight tolerance
  // for a = 0.0837, L = 47.3 m against f at the same x.
  const float a = 0.0837f, L = 47.3f, Gamma = 2.85f;
  TensorModel model;
  model.params = {a, L, Gamma};
  for (const double x : {0.21, 3.3})
    for (SpectrumComponent c :
         {SpectrumComponent::u, SpectrumComponent::w, SpectrumComponent::uw}) {
      int pair[2] = {tensorRow(c), tensorColumn(c)};
      const float k1 = static_cast<float>(x / L);
      const double F = phiIntk2k3(model, k1, std::span<int, 2>(pair), 1e-6f);
      const double f = similaritySpectrum(Gamma, double(k1) * L, c);
      EXPECT_NEAR(F / (a * std::pow(double(L), 5.0 / 3.0) * f), 1.0, 5e-4)
          << "x " << x << ", " << componentName(c);
    }
}

TEST(SimilarityTable, SampledNodesAreWhatTheGeneratorWrites) {
  // The generator prints each node as %.8e of the same integrals.
  const int nodes[][2] = {{0, 0}, {1, 33}, {26, 71}, {48, 106}};
  for (const auto& [m, n] : nodes)
    for (SpectrumComponent c : kAll) {
      const double x = std::pow(10.0, tableLog10X(n));
      char text[32];
      std::snprintf(text, sizeof text, "%.8e", storedValue(tableGamma(m), x, c));
      EXPECT_EQ(std::strtod(text, nullptr), kSimilarityTable[m][n][static_cast<int>(c)])
          << "node Gamma " << tableGamma(m) << ", x " << x << ", " << componentName(c);
    }
}

TEST(ModelSpectra, InterpolationBetweenNodesAgreesWithDirectIntegration) {
  // Cell centres, where the interpolation is least accurate, across the
  // table: small and large x, Gamma where the spectra change fastest.
  const double points[][2] = {
      {0.06, 0.0062}, {0.94, 2.7}, {2.2, 0.0091}, {7.6, 0.41}, {9.7, 870.0}};
  for (const auto& [Gamma, x] : points) {
    const ModelSpectra m({1.0f, 1.0f, static_cast<float>(Gamma)});
    for (SpectrumComponent c : kAll) {
      const float G = static_cast<float>(Gamma);
      const double direct = similaritySpectrum(G, x, c);
      const double table = m.spectrum(x, c);
      const double scale = c == SpectrumComponent::uw
                               ? std::sqrt(similaritySpectrum(G, x, SpectrumComponent::u) *
                                           similaritySpectrum(G, x, SpectrumComponent::w))
                               : direct;
      EXPECT_NEAR((table - direct) / scale, 0.0, 3e-5)
          << "Gamma " << Gamma << ", x " << x << ", " << componentName(c);
    }
  }
}

TEST(ModelSpectra, AgreesWithPhiIntk2k3ToItsQuadratureAccuracy) {
  // phiIntk2k3 at corvel's tolerance (1e-4) is off by up to a few 1e-3 in
  // places (F33 at Gamma 1.7, L 28.4 m, k1 0.0031 rad/m: 0.1511097 against
  // 0.1506027 converged); at 1e-6 the table agrees with it to 5e-4 (phiIntk2k3
  // itself being off by up to 3e-4 there: fit/similarity_integrals.hpp).
  for (const float tol : {1e-4f, 1e-6f})
    for (const float Gamma : {0.0f, 1.7f, 3.9f, 8.2f}) {
      TensorModel model;
      model.params = {0.113f, 28.4f, Gamma};
      const ModelSpectra m(model.params);
      for (const float k1 : {0.0031f, 0.047f, 0.62f, 7.9f})
        for (SpectrumComponent c : kAll) {
          int pair[2] = {tensorRow(c), tensorColumn(c)}, uu[2] = {0, 0}, ww[2] = {2, 2};
          const double F = phiIntk2k3(model, k1, std::span<int, 2>(pair), tol);
          const double scale =
              c != SpectrumComponent::uw
                  ? F
                  : std::sqrt(phiIntk2k3(model, k1, std::span<int, 2>(uu), tol) *
                              phiIntk2k3(model, k1, std::span<int, 2>(ww), tol));
          EXPECT_NEAR((m.spectrum(k1, c) - F) / scale, 0.0, tol > 1e-5f ? 5e-3 : 5e-4)
              << "Gamma " << Gamma << ", k1 " << k1 << ", " << componentName(c) << ", tolerance " << tol;
        }
    }
}

TEST(ModelSpectra, GradientsAreTheDerivativesOfTheValues) {
  // Central differences in ln alphaeps, ln L and Gamma, inside cells and
  // beyond both ends of the table. The model holds its parameters as floats,
  // so the steps are large (1e-3) against their rounding.
  const double step = 1e-3;
  for (const double Gamma : {0.37, 4.12})
    for (const double k1 : {2.0e-5, 0.0093, 1.7, 95.0}) {
      const double a = 0.09, L = 31.0;
      const auto at = [&](double la, double lL, double G, SpectrumComponent c) {
        return ModelSpectra({static_cast<float>(std::exp(la)), static_cast<float>(std::exp(lL)),
                             static_cast<float>(G)})
            .at(k1, c);
      };
      for (SpectrumComponent c : kAll) {
        const ValueAndGradient g = at(std::log(a), std::log(L), Gamma, c);
        const double dA = (at(std::log(a) + step, std::log(L), Gamma, c).value -
                           at(std::log(a) - step, std::log(L), Gamma, c).value) /
                          (2 * step);
        const double dL = (at(std::log(a), std::log(L) + step, Gamma, c).value -
                           at(std::log(a), std::log(L) - step, Gamma, c).value) /
                          (2 * step);
        const double dG = (at(std::log(a), std::log(L), Gamma + step, c).value -
                           at(std::log(a), std::log(L), Gamma - step, c).value) /
                          (2 * step);
        const std::string where = "Gamma " + std::to_string(Gamma) + ", k1 " + std::to_string(k1) +
                                  ", " + componentName(c);
        EXPECT_NEAR(g.grad[0], dA, 1e-4) << where;
        EXPECT_NEAR(g.grad[1], dL, 2e-4 * (1 + std::fabs(dL))) << where;
        EXPECT_NEAR(g.grad[2], dG, 2e-4 * (1 + std::fabs(dG))) << where;
      }
    }
}

TEST(ModelSpectra, VariancesFollowTheTableAndTheSimilarityScaling) {
  // Between nodes against the direct integral, scaled by alphaeps L^(2/3).
  const float a = 0.071f, L = 52.0f, Gamma = 2.35f;
  const ModelSpectra m({a, L, Gamma});
  for (SpectrumComponent c : {SpectrumComponent::u, SpectrumComponent::uw})
    EXPECT_NEAR(m.variance(c) / (a * std::pow(double(L), 2.0 / 3.0) * similarityVariance(Gamma, c)),
                1.0, 2e-5)
        << componentName(c);
}

}  // namespace
}  // namespace wind
