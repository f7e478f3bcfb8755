// Statistical check of turb3d in physical space: the mean square of each
// velocity component over the box, averaged over several seeds, against its
// expectation from the spectral tensor.
//
// By Parseval on the grid, mean_x u_c(x)^2 = sum_k |c_c(k)|^2 over every wave
// vector k != 0 of the full grid, c_c(k) being the coefficient of exp(-i k.x).
// For a wave vector that is not its own mirror E|c_c(k)|^2 = S_cc(k) dk1 dk2 dk3,
// and the pair (k, -k) contributes 2 |c|^2 = 2 S dk^3 Exp(1): variance
// (2 S dk^3)^2. A self-conjugate wave vector has a real coefficient with
// E c^2 = S dk^3 / 2 and variance 2 (S dk^3 / 2)^2. S is the point tensor
// Phi_cc(k), or inside the LimNormK box its cell mean phiInt. The standard
// deviation of the estimate is therefore known exactly, and the check is
// two-sided at 4 standard deviations.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <span>

#include "synthesis/turb3d.hpp"
#include "tensor/spectral_tensor.hpp"
#include "tensor/tensor_integrals.hpp"

using namespace wind;

TEST(Turb3dSlow, MeanSquareOfEachComponentMatchesTheTensor) {
  constexpr int n1 = 64, n2 = 32, n3 = 32;
  const Vector3 len(2000.0f, 200.0f, 150.0f);
  constexpr float alphaeps = 0.1f, L = 33.6f, Gamma = 3.9f;
  const double twoPi = 6.2831854820251465;
  // The simulator's limits for this box: 3 and 4 pi L / LMax_d.
  const Vector3 lim(3.0f, float(2.0 * twoPi * L / len.y), float(2.0 * twoPi * L / len.z));
  const double dk3 = twoPi * twoPi * twoPi / (double(len.x) * len.y * len.z);

  std::array<double, 3> expected{}, variance{};
  for (int m1 = -n1 / 2; m1 < n1 / 2; ++m1)
    for (int m2 = -n2 / 2; m2 < n2 / 2; ++m2)
      for (int m3 = -n3 / 2; m3 < n3 / 2; ++m3) {
        if (m1 == 0 && m2 == 0 && m3 == 0) continue;
        const Vector3 k(float(m1 * twoPi / len.x), float(m2 * twoPi / len.y),
                        float(m3 * twoPi / len.z));
        const bool self = (m1 == 0 || m1 == -n1 / 2) && (m2 == 0 || m2 == -n2 / 2) &&
                          (m3 == 0 || m3 == -n3 / 2);
        const bool cell = std::fabs(k.x * L) < lim.x && std::fabs(k.y * L) < lim.y &&
                          std::fabs(k.z * L) < lim.z;
        const Mat3 phi = cell ? Mat3() : spectralTensor({alphaeps, L, Gamma}, k);
        for (int c = 0; c < 3; ++c) {
          const double s =
              (cell ? phiInt({alphaeps, L, Gamma}, k, len, 0.0025f, c, c) : double(at(phi, c, c))) *
              dk3;
          expected[std::size_t(c)] += self ? 0.5 * s : s;
          variance[std::size_t(c)] += self ? 0.5 * s * s : 2.0 * s * s;
        }
      }

  constexpr int nSeeds = 8;
  std::array<double, 3> observed{};
  for (int r = 0; r < nSeeds; ++r) {
    std::array<F3tensor, 3> u;
    for (auto& t : u) t = f3tensor(1, n1, 1, n2, 1, n3);
    const TensorModel model{alphaeps, L, Gamma};
    turb3d(u, {kAllComponents, model, {n1, n2, n3, len}, lim, Turb3dSlabStart::atSeed(-101 - 37 * r)});
    for (int c = 0; c < 3; ++c) {
      double sum = 0.0;
      for (float x : std::span<const float>(u[std::size_t(c)].data(),
                                            std::size_t(u[std::size_t(c)].size())))
        sum += double(x) * x;
      observed[std::size_t(c)] += sum / double(u[std::size_t(c)].size()) / nSeeds;
    }
  }
  for (int c = 0; c < 3; ++c) {
    const double sd = std::sqrt(variance[std::size_t(c)] / nSeeds);
    EXPECT_NEAR(observed[std::size_t(c)], expected[std::size_t(c)], 4.0 * sd)
        << "component " << c << ": expected " << expected[std::size_t(c)] << " +- " << sd;
  }
}
