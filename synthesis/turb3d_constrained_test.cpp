// Boxes conditioned on constraint lines (turb3d with work.constraints).
//
// The expected values come from outside the engine: the box's own values at
// grid points, its trigonometric interpolant evaluated by a long-double
// transform of each plane, the sequential random stream, and closed forms of
// the conditional mean and variance built from the spectral tensor.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "numerics/random.hpp"
#include "support/threads.hpp"
#include "synthesis/classic_planes.hpp"
#include "synthesis/turb3d.hpp"
#include "tensor/spectral_tensor.hpp"
#include "tests/support.hpp"

using namespace wind;
using wind::testing::fatalMessage;

namespace {

using CL = std::complex<long double>;

constexpr float kAlphaeps = 0.1f, kL = 33.6f, kGamma = 3.9f;
const TensorModel kModel{{kAlphaeps, kL, kGamma}};
// A box that is not a cube, its cross-section neither square in points nor in metres.
const BoxGrid kBox{32, 8, 16, Vector3(320.0f, 56.0f, 90.0f)};
const Vector3 kLim(3.0f, 2.0f, 2.0f);

struct Box {
  std::array<F3tensor, 3> u;
};

Box synthesise(const BoxGrid& g, std::int32_t seed, Vector3 lim, const Turb3dWork& work = {},
               std::vector<int> comps = {0, 1, 2}) {
  Box b;
  for (std::size_t c = 0; c < comps.size(); ++c) b.u[c] = f3tensor(1, g.N1, 1, g.N2, 1, g.N3);
  turb3d(std::span<F3tensor>(b.u.data(), comps.size()),
         {comps, kModel, g, lim, Turb3dSlabStart::atSeed(seed), work});
  return b;
}

bool sameBits(const F3tensor& a, const F3tensor& b) {
  return std::memcmp(a.data(), b.data(), sizeof(float) * std::size_t(a.size())) == 0;
}

double spacing(float length, int n) { return double(length) / n; }

// The trigonometric interpolant of plane i of u at (py, pz) grid spacings: the
// plane's two-dimensional transform in long double, summed over the symmetric
// range -N/2 .. N/2 of each axis with the two ends (the same coefficient)
// taking half each.
long double interpolant(const F3tensor& u, const BoxGrid& g, int i, double py, double pz) {
  const long double twoPi = wind::testing::kTwoPiL;
  long double v = 0;
  for (int m2 = -g.N2 / 2; m2 <= g.N2 / 2; ++m2)
    for (int m3 = -g.N3 / 2; m3 <= g.N3 / 2; ++m3) {
      CL c = 0;
      for (int j = 0; j < g.N2; ++j)
        for (int k = 0; k < g.N3; ++k)
          c += (long double)u(i, j + 1, k + 1) *
               std::polar(1.0L, twoPi * ((long double)m2 * j / g.N2 + (long double)m3 * k / g.N3));
      c /= (long double)(g.N2 * g.N3);
      const long double half = (std::abs(m2) == g.N2 / 2 ? 0.5L : 1.0L) *
                               (std::abs(m3) == g.N3 / 2 ? 0.5L : 1.0L);
      v += half * (c * std::polar(1.0L, -twoPi * ((long double)m2 * py / g.N2 +
                                                   (long double)m3 * pz / g.N3)))
                      .real();
    }
  return v;
}

ConstraintLine lineOf(int comp, double y, double z, std::vector<double> values) {
  ConstraintLine l;
  l.comp = comp;
  l.y = y;
  l.z = z;
  l.values = std::move(values);
  return l;
}

// The line of u at grid point (j, k), 1-based.
std::vector<double> gridLine(const F3tensor& u, int N1, int j, int k) {
  std::vector<double> v;
  for (int i = 1; i <= N1; ++i) v.push_back(u(i, j, k));
  return v;
}

}  // namespace

// An empty list of lines takes the constrained path (pairs of planes, the
// stream restarted from recorded states) and must give the plain engine's
// field to the bit, on any thread count and with a shared amplitude store.
TEST(Turb3dConstrained, NoLinesGiveThePlainFieldBitForBit) {
  for (const std::vector<int>& comps : {std::vector<int>{0, 1, 2}, std::vector<int>{2, 0}}) {
    const Box plain = synthesise(kBox, -17, kLim, {}, comps);
    const Turb3dConstraints none;
    for (int threads : {1, 3}) {
      setThreads(threads);
      Turb3dWork work;
      work.constraints = &none;
      const Box b = synthesise(kBox, -17, kLim, work, comps);
      for (std::size_t c = 0; c < comps.size(); ++c)
        EXPECT_TRUE(sameBits(b.u[c], plain.u[c])) << threads << " threads, field " << c;
    }
    Turb3dAmplitudes store;
    Turb3dWork work;
    work.constraints = &none;
    work.amplitudes = &store;
    const Box first = synthesise(kBox, -17, kLim, work, comps);
    const Box again = synthesise(kBox, -17, kLim, work, comps);
    for (std::size_t c = 0; c < comps.size(); ++c) {
      EXPECT_TRUE(sameBits(first.u[c], plain.u[c])) << "filling the store, field " << c;
      EXPECT_TRUE(sameBits(again.u[c], plain.u[c])) << "reading the store, field " << c;
    }
  }
  setThreads(maxThreads());
}

// Any of the planes 1 .. last, asked for in any order and from two threads at
// once, gets the deviates the sequential draw hands it, and the state after
// plane last draws on where the sequence goes on.
TEST(Turb3dConstrained, PlaneDeviatesAreTheSequentialStreams) {
  const detail::Turb3dPlan plan(kBox);
  const int perMode = 4, last = 20;
  std::vector<float> sequence(std::size_t(plan.modes() * perMode));
  RandomGenerator gen;
  std::int32_t state = -29;
  for (float& v : sequence) v = gaussDeviate(gen, state);
  const detail::ClassicPlaneDeviates planes(plan, perMode, -29, last);
  const auto check = [&](int first, int step) {
    for (int i = first; i >= 1; i -= step) {
      std::vector<float> x(std::size_t(plan.planeModes(i, i) * perMode));
      planes(i, x);
      EXPECT_EQ(std::memcmp(x.data(), sequence.data() + plan.planeStart(i) * perMode,
                            x.size() * sizeof(float)),
                0)
          << "plane " << i;
    }
  };
  std::thread other([&] { check(last - 1, 2); });
  check(last, 2);
  other.join();
  RandomStream after = planes.state(last + 1);
  for (std::int64_t n = plan.planeStart(last + 1) * perMode; n < plan.planeStart(last + 2) * perMode; ++n)
    ASSERT_EQ(gaussDeviate(after.gen, after.state), sequence[std::size_t(n)]) << "deviate " << n;
}

// Lines of all three components at grid points and off them (across, up, both,
// at the ends of the span): the box holds the data there, to float rounding,
// read directly at grid points and through the interpolant elsewhere; the
// outcome reports the same differences.
TEST(Turb3dConstrained, BoxHoldsTheDataOnAndOffTheGridPoints) {
  const double dy = spacing(kBox.Lbox.y, kBox.N2), dz = spacing(kBox.Lbox.z, kBox.N3);
  struct Point {
    int comp;
    double py, pz;  // grid spacings
  };
  const Point points[] = {{0, 3, 5},   {1, 3, 5},     {2, 3, 5},   {0, 2.4, 11}, {1, 6, 7.3},
                          {2, 0.7, 9.6}, {0, 0, 15},  {2, 7, 0}};
  std::mt19937 rng(2385);
  std::normal_distribution<double> noise(0.0, 0.8);
  Turb3dConstraints lines;
  for (const Point& p : points) {
    std::vector<double> v;
    for (int i = 0; i < kBox.N1; ++i) v.push_back(1.3 * std::sin(0.4 * i + p.py) + noise(rng));
    lines.lines.push_back(lineOf(p.comp, p.py * dy, p.pz * dz, v));
  }
  Turb3dConstraintOutcome outcome;
  Turb3dWork work;
  work.constraints = &lines;
  work.outcome = &outcome;
  const Box b = synthesise(kBox, -5, kLim, work);
  ASSERT_EQ(outcome.largestDifference.size(), std::size(points));
  EXPECT_EQ(outcome.largestNugget, 0.0);
  for (std::size_t a = 0; a < std::size(points); ++a) {
    const Point& p = points[a];
    const bool node = p.py == std::round(p.py) && p.pz == std::round(p.pz);
    long double largest = 0;
    for (int i = 1; i <= kBox.N1; ++i) {
      const long double v =
          node ? (long double)b.u[std::size_t(p.comp)](i, int(p.py) + 1, int(p.pz) + 1)
               : interpolant(b.u[std::size_t(p.comp)], kBox, i, p.py, p.pz);
      largest = std::max(largest, std::fabs(v - (long double)lines.lines[a].values[std::size_t(i - 1)]));
    }
    EXPECT_LT(double(largest), 2e-6) << "line " << a << " at " << p.py << ", " << p.pz;
    EXPECT_NEAR(outcome.largestDifference[a], double(largest), 1e-9) << "line " << a;
  }
}

// Data that are the unconstrained box's own lines ask for nothing: the
// conditioned box is the unconstrained one to float rounding.
TEST(Turb3dConstrained, TheBoxsOwnLinesLeaveItAsItIs) {
  const Box plain = synthesise(kBox, -8, kLim);
  const double dy = spacing(kBox.Lbox.y, kBox.N2), dz = spacing(kBox.Lbox.z, kBox.N3);
  Turb3dConstraints lines;
  lines.lines.push_back(lineOf(0, 2 * dy, 4 * dz, gridLine(plain.u[0], kBox.N1, 3, 5)));
  lines.lines.push_back(lineOf(2, 2 * dy, 4 * dz, gridLine(plain.u[2], kBox.N1, 3, 5)));
  lines.lines.push_back(lineOf(1, 6 * dy, 13 * dz, gridLine(plain.u[1], kBox.N1, 7, 14)));
  Turb3dWork work;
  work.constraints = &lines;
  const Box b = synthesise(kBox, -8, kLim, work);
  double largest = 0.0, square = 0.0;
  for (int c = 0; c < 3; ++c)
    for (std::int64_t q = 0; q < b.u[c].size(); ++q) {
      largest = std::max(largest, std::fabs(double(b.u[c].data()[q]) - plain.u[c].data()[q]));
      square += double(plain.u[c].data()[q]) * plain.u[c].data()[q];
    }
  const double rms = std::sqrt(square / (3.0 * double(b.u[0].size())));
  EXPECT_GT(rms, 0.1);
  EXPECT_LT(largest, 4e-6 * rms) << "rms " << rms;
}

// Conditioned on lines taken from another sample of the same model, the box is
// itself a sample of the model: |C_c(k)|^2 / (Phi_cc(k) dk1 dk2 dk3) is Exp(1)
// over the modes outside the cell box that are not their own mirror (checked
// two-sided, mean and variance, expectExpOne of tests/support.hpp). The cross-section
// is small and a third of its lines are constrained, so a conditioning with
// the wrong covariance would move the mode power far outside the bounds.
TEST(Turb3dConstrained, ConditionedOnAnotherSampleTheBoxIsASampleOfTheModel) {
  const BoxGrid g{64, 4, 8, Vector3(640.0f, 24.0f, 40.0f)};
  const Vector3 lim(0.5f, 0.5f, 0.5f);
  const double dk = 6.2831854820251465 * 6.2831854820251465 * 6.2831854820251465 /
                    (double(g.Lbox.x) * g.Lbox.y * g.Lbox.z);
  const double dy = spacing(g.Lbox.y, g.N2), dz = spacing(g.Lbox.z, g.N3);
  std::array<wind::testing::ExpSample, 3> power;
  for (std::int32_t seed = -40; seed > -44; --seed) {
    const Box source = synthesise(g, seed - 100, lim);
    Turb3dConstraints lines;
    for (int p = 0; p < 4; ++p) {
      const int j = p % g.N2, k = (3 * p + 1) % g.N3;
      for (int c = 0; c < 3; ++c)
        lines.lines.push_back(lineOf(c, j * dy, k * dz, gridLine(source.u[c], g.N1, j + 1, k + 1)));
    }
    Turb3dWork work;
    work.constraints = &lines;
    const Box b = synthesise(g, seed, lim, work);
    for (int c = 0; c < 3; ++c) {
      F3tensor h = f3tensor(1, g.N1, 1, g.N2, 1, g.N3);
      Matrix ny = matrix(1, g.N1, 1, 2 * g.N2);
      std::memcpy(h.data(), b.u[c].data(), sizeof(float) * std::size_t(h.size()));
      rlft3(h, ny, g.N1, g.N2, g.N3, 1);
      const double scale = 1.0 / (double(g.N1) * g.N2 * g.N3);  // C = H/2 = forward / N
      for (int i = 1; i <= g.N1; ++i)
        for (int j = 1; j <= g.N2; ++j)
          for (int l = 2; l <= g.N3 / 2; ++l) {
            const int m1 = i <= g.N1 / 2 ? i - 1 : i - 1 - g.N1;
            const int m2 = j <= g.N2 / 2 ? j - 1 : j - 1 - g.N2;
            const Vector3 k(float(m1 * 6.2831854820251465 / g.Lbox.x),
                            float(m2 * 6.2831854820251465 / g.Lbox.y),
                            float((l - 1) * 6.2831854820251465 / g.Lbox.z));
            const bool cell = std::fabs(k.x * kL) < lim.x && std::fabs(k.y * kL) < lim.y &&
                              std::fabs(k.z * kL) < lim.z;
            // On the k3 axis the vertical component carries no energy.
            if (cell || (m1 == 0 && m2 == 0)) continue;
            const double phi = at(spectralTensor(kModel, k), c, c);
            const std::complex<double> C(h(i, j, 2 * l - 1) * scale, h(i, j, 2 * l) * scale);
            power[std::size_t(c)].add(std::norm(C) / (phi * dk));
          }
    }
  }
  for (int c = 0; c < 3; ++c)
    wind::testing::expectExpOne(power[std::size_t(c)], c == 0 ? "u" : c == 1 ? "v" : "w");
}

// The conditional mean and variance of u and w one grid step across from a
// line of u (with a line of w further off), over 400 seeds, against their
// closed forms. Per along-wind wave number, with S(k) = Phi(k) dk1 dk2 dk3
// (half for the modes that are their own mirror), phases
// phi_a = exp(-i (k2 y_a + k3 z_a)) and the lines' transforms D_a:
//     M_ab = sum_(k2,k3) S_(c_a c_b) phi_a conj phi_b,
//     K_b  = sum S_(c_P c_b) phi_P conj phi_b,   V = sum S_(c_P c_P),
//     E[L_P | D] = K M^-1 D,   Var[L_P | D] = V - K M^-1 K^H,
// and along the wind the mean is sum_k1 E[L_P] exp(-i k1 x), the variance
// sum_k1 Var[L_P]. Each plane's sample mean is checked within 4.5 standard
// errors, the pooled variance within 4.5 times the standard error of a single
// seed's (the planes of one seed are correlated); the conditional variance is
// a small part of the unconditional one, so a box that ignored the lines, or
// conditioned with the wrong covariance, fails.
TEST(Turb3dConstrained, ConditionalMeanAndVarianceOneGridStepAwayMatchTheClosedForms) {
  const BoxGrid g{16, 8, 8, Vector3(160.0f, 24.0f, 32.0f)};
  const Vector3 lim(0.0f, 0.0f, 0.0f);
  const int N1 = g.N1, N2 = g.N2, N3 = g.N3;
  const long double twoPi = wind::testing::kTwoPiL;
  const double dy = spacing(g.Lbox.y, N2), dz = spacing(g.Lbox.z, N3);
  struct Node {
    int comp, j, k;  // 0-based grid point
  };
  const Node lineA{0, 2, 3}, lineB{2, 5, 3};
  const Node probes[] = {{0, 3, 3}, {2, 3, 3}};
  const Box source = synthesise(g, -999, lim);
  Turb3dConstraints lines;
  for (const Node& n : {lineA, lineB})
    lines.lines.push_back(lineOf(n.comp, n.j * dy, n.k * dz,
                                 gridLine(source.u[std::size_t(n.comp)], N1, n.j + 1, n.k + 1)));

  const long double dk3 = twoPi * twoPi * twoPi / ((long double)g.Lbox.x * g.Lbox.y * g.Lbox.z);
  for (const Node& probe : probes) {
    std::vector<long double> mean(std::size_t(N1), 0.0L);
    long double variance = 0.0L, unconditional = 0.0L;
    for (int m1 = -N1 / 2; m1 < N1 / 2; ++m1) {
      CL M[2][2] = {}, K[2] = {}, D[2] = {};
      long double V = 0.0L;
      const Node nodes[2] = {lineA, lineB};
      for (int m2 = -N2 / 2; m2 < N2 / 2; ++m2)
        for (int m3 = -N3 / 2; m3 < N3 / 2; ++m3) {
          if (m1 == 0 && m2 == 0 && m3 == 0) continue;
          const Vector3 k(float(m1 * 6.2831854820251465 / g.Lbox.x),
                          float(m2 * 6.2831854820251465 / g.Lbox.y),
                          float(m3 * 6.2831854820251465 / g.Lbox.z));
          const bool self = (m1 == 0 || m1 == -N1 / 2) && (m2 == 0 || m2 == -N2 / 2) &&
                            (m3 == 0 || m3 == -N3 / 2);
          const Mat3 phi = spectralTensor(kModel, k);
          const auto S = [&](int a, int b) { return (self ? 0.5L : 1.0L) * dk3 * at(phi, a, b); };
          const auto phase = [&](const Node& n) {
            return std::polar(1.0L, -twoPi * ((long double)m2 * n.j / N2 + (long double)m3 * n.k / N3));
          };
          const CL pp = phase(probe);
          for (int a = 0; a < 2; ++a) {
            const CL pa = phase(nodes[a]);
            K[a] += S(probe.comp, nodes[a].comp) * pp * std::conj(pa);
            for (int b = 0; b < 2; ++b)
              M[a][b] += S(nodes[a].comp, nodes[b].comp) * pa * std::conj(phase(nodes[b]));
          }
          V += S(probe.comp, probe.comp);
        }
      for (int a = 0; a < 2; ++a)
        for (int n = 0; n < N1; ++n)
          D[a] += (long double)lines.lines[std::size_t(a)].values[std::size_t(n)] *
                  std::polar(1.0L, twoPi * (long double)m1 * n / N1) / (long double)N1;
      const CL det = M[0][0] * M[1][1] - M[0][1] * M[1][0];
      const CL inv[2][2] = {{M[1][1] / det, -M[0][1] / det}, {-M[1][0] / det, M[0][0] / det}};
      CL meanT = 0, reduction = 0;
      for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b) {
          meanT += K[a] * inv[a][b] * D[b];
          reduction += K[a] * inv[a][b] * std::conj(K[b]);
        }
      for (int n = 0; n < N1; ++n)
        mean[std::size_t(n)] += (meanT * std::polar(1.0L, -twoPi * (long double)m1 * n / N1)).real();
      variance += V - reduction.real();
      unconditional += V;
    }
    ASSERT_LT(variance, 0.5L * unconditional) << "the probe must feel the line";

    constexpr int kSeeds = 400;
    std::vector<long double> sum(std::size_t(N1), 0.0L);
    long double square = 0.0L;
    for (int r = 1; r <= kSeeds; ++r) {
      Turb3dWork work;
      work.constraints = &lines;
      const Box b = synthesise(g, -r, lim, work);
      for (int n = 0; n < N1; ++n) {
        const long double v = b.u[std::size_t(probe.comp)](n + 1, probe.j + 1, probe.k + 1);
        sum[std::size_t(n)] += v;
        square += (v - mean[std::size_t(n)]) * (v - mean[std::size_t(n)]);
      }
    }
    const long double se = std::sqrt(variance / kSeeds);
    for (int n = 0; n < N1; ++n)
      EXPECT_NEAR(double(sum[std::size_t(n)] / kSeeds), double(mean[std::size_t(n)]), double(4.5L * se))
          << "component " << probe.comp << ", plane " << n + 1;
    const long double pooled = square / (kSeeds * N1);
    EXPECT_NEAR(double(pooled / variance), 1.0, 4.5 * std::sqrt(2.0 / kSeeds))
        << "component " << probe.comp << ": variance " << double(variance) << " unconditional "
        << double(unconditional);
  }
}

// Nearly coincident points of one component: series that agree as the model
// wants (both from one box's interpolant) are held exactly and take no nugget;
// series that disagree (from two boxes) would need a box of hundreds of m/s,
// and take a nugget instead, which keeps the box within the size of its data
// and leaves the lines a difference the outcome reports.
TEST(Turb3dConstrained, NearlyCoincidentPointsTakeANuggetOnlyWhenTheirDataDisagree) {
  const BoxGrid g{64, 16, 16, Vector3(640.0f, 48.0f, 48.0f)};
  const double d = spacing(g.Lbox.y, g.N2);
  const Box one = synthesise(g, -61, kLim), other = synthesise(g, -62, kLim);
  // Separable weights (synthesis/constraints.hpp); checked against the
  // long-double interpolant by BoxHoldsTheDataOnAndOffTheGridPoints.
  const auto interpolated = [&](const Box& b, double py, double pz) {
    std::vector<double> wy(static_cast<std::size_t>(g.N2)), wz(static_cast<std::size_t>(g.N3)), v;
    interpolationWeights(py, g.N2, wy);
    interpolationWeights(pz, g.N3, wz);
    for (int i = 1; i <= g.N1; ++i) {
      double s = 0.0;
      for (int j = 0; j < g.N2; ++j)
        for (int k = 0; k < g.N3; ++k) s += wy[std::size_t(j)] * wz[std::size_t(k)] * b.u[0](i, j + 1, k + 1);
      v.push_back(s);
    }
    return v;
  };
  const auto largestValue = [](const Box& b) {
    double m = 0.0;
    for (int c = 0; c < 3; ++c)
      for (float v : b.u[c].span()) m = std::max(m, double(std::fabs(v)));
    return m;
  };
  Turb3dConstraints agree, disagree;
  agree.lines = {lineOf(0, 6.3 * d, 7.6 * d, interpolated(one, 6.3, 7.6)),
                 lineOf(0, 6.31 * d, 7.6 * d, interpolated(one, 6.31, 7.6))};
  disagree.lines = {lineOf(0, 6.3 * d, 7.6 * d, interpolated(one, 6.3, 7.6)),
                    lineOf(0, 6.31 * d, 7.6 * d, interpolated(other, 6.31, 7.6))};
  Turb3dConstraintOutcome outcome;
  Turb3dWork work;
  work.constraints = &agree;
  work.outcome = &outcome;
  const Box held = synthesise(g, -63, kLim, work);
  EXPECT_EQ(outcome.largestNugget, 0.0);
  EXPECT_EQ(outcome.nuggetWaveNumbers, 0);
  for (double v : outcome.largestDifference) EXPECT_LT(v, 2e-6);
  EXPECT_LT(largestValue(held), 2.0 * largestValue(one));

  work.constraints = &disagree;
  const Box eased = synthesise(g, -63, kLim, work);
  EXPECT_GT(outcome.largestNugget, 0.0);
  EXPECT_GT(outcome.nuggetWaveNumbers, 0);
  EXPECT_GT(outcome.largestDifference[0], 0.1);
  EXPECT_LT(largestValue(eased), 2.0 * std::max(largestValue(one), largestValue(other)));
}

TEST(Turb3dConstrained, LinesThatDoNotFitTheGridAreRefused) {
  const double dy = spacing(kBox.Lbox.y, kBox.N2), dz = spacing(kBox.Lbox.z, kBox.N3);
  const std::vector<double> fine(std::size_t(kBox.N1), 0.5);
  const auto message = [&](ConstraintLine bad, std::vector<int> comps = {0, 1, 2}) {
    Turb3dConstraints lines;
    lines.lines = {lineOf(0, dy, dz, fine), bad};
    Turb3dWork work;
    work.constraints = &lines;
    return fatalMessage([&] { synthesise(kBox, -3, kLim, work, comps); });
  };
  EXPECT_EQ(message(lineOf(1, dy, dz, std::vector<double>(5, 0.0))),
            "turb3d: constraint line 2 does not hold N1 = 32 values");
  std::vector<double> nan = fine;
  nan[7] = std::nan("");
  EXPECT_EQ(message(lineOf(1, dy, dz, nan)),
            "turb3d: constraint line 2 holds a value that is not a finite number");
  EXPECT_EQ(message(lineOf(1, dy, dz, fine), {0, 2}),
            "turb3d: constraint line 2 is a component the fields do not hold");
  for (const auto& [y, z] : {std::pair{-0.01 * dy, dz}, std::pair{7.01 * dy, dz},
                             std::pair{dy, 15.5 * dz}, std::pair{dy, -dz}})
    EXPECT_EQ(message(lineOf(2, y, z, fine)),
              "turb3d: constraint line 2 lies outside the span of the grid points")
        << y << ", " << z;
  // Within a millionth of a spacing of the span's ends is at the ends.
  EXPECT_EQ(message(lineOf(2, 7.0000001 * dy, -1e-7 * dz, fine)), "");
  // An odd N1 has no plane that is its own mirror at N1/2 + 1: refused before
  // the pairs are formed (it used to read deviates through a null span).
  Turb3dConstraints none;
  Turb3dWork work;
  work.constraints = &none;
  EXPECT_EQ(fatalMessage([&] { synthesise({31, 8, 16, kBox.Lbox}, -3, kLim, work); }),
            "turb3d: number of points has to be a power of 2 of at least 2");
}
