#include "tensor/amplitude_lanes.hpp"

#include <algorithm>

#include "numerics/constants.hpp"
#include "numerics/vector_math.hpp"
#include "tensor/lifetime.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind::detail {

namespace {

// |k| L rounded to float (scaledNorm of tensor/spectral_tensor.cpp).
float scaledNorm(float k1, float k2, float k3, float L) {
  return toFloat(__builtin_sqrt(double(k1) * k1 + double(k2) * k2 + double(k3) * k3) * L);
}

// tensorAmplitude on kLanes wave vectors at a time: the code of one build
// (4 lanes for the baseline and AVX2, 8 for AVX-512).
template <int kLanes>
struct Kernel {
  using Lanes = lanes::Doubles<kLanes>;
  using Mask = lanes::Int64s<kLanes>;

  // Every value below holds a float where tensorAmplitude stores one (rounded
  // by rf) and a double where it computes in double, so that each operation is
  // the one tensorAmplitude performs on the same operands.
  [[gnu::always_inline]] static Lanes rf(Lanes x) { return lanes::toFloat<kLanes>(x); }
  [[gnu::always_inline]] static Lanes splat(double v) { return lanes::splat<kLanes>(v); }
  [[gnu::always_inline]] static Lanes select(Mask m, Lanes a, Lanes b) {
    return lanes::select<kLanes>(m, a, b);
  }

  struct LaneMat {
    Lanes m[3][3];
  };

  // The product of Mat3's operator*: element (i, j) summed from 0.0 over l in
  // order, rounded once.
  [[gnu::always_inline]] static LaneMat product(const LaneMat& p, const LaneMat& q) {
    LaneMat r;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        Lanes s = splat(0.0);
        for (int l = 0; l < 3; ++l) s = s + p.m[i][l] * q.m[l][j];
        r.m[i][j] = rf(s);
      }
    return r;
  }

  // s times [c]x (crossMatrix), each element rounded; s = 1 leaves the
  // matrix as it is.
  [[gnu::always_inline]] static LaneMat scaledCross(Lanes s, Lanes c1, Lanes c2, Lanes c3) {
    const Lanes zero = splat(0.0);
    const Lanes e[3][3] = {{zero, -c3, c2}, {c3, zero, -c1}, {-c2, c1, zero}};
    LaneMat r;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) r.m[i][j] = rf(s * e[i][j]);
    return r;
  }

  // lifeTimeRational (tensor/lifetime.cpp).
  [[gnu::always_inline]] static Lanes lifeTime(Lanes x) {
    using namespace lifetime_law;
    x = select(x < double(kMinArgF), splat(double(kMinArgF)), x);
    const Lanes c = rf(x * x);
    const Lanes p = lanes::pow<kLanes>(1.0 + c, splat(double(kOneSixthF)));
    return ((p / x) * ((kN0 + kN1 * x) + kN2 * c)) / ((1.0 + kD1 * x) + kD2 * c);
  }

  // What the shear takes from k1 and k2 alone: the same along a row of k3
  // without the terrain stretch, which computes it once per row.
  struct Horizontal {
    Lanes k1Sq, k2Sq, kHor, power, root;  // kHor = k1Sq + k2Sq unrounded, kHor^(-3/2), sqrt(kHor)
    Mask limit;                            // k1 = 0 or k1^2 + k2^2 rounds to 0
  };

  [[gnu::always_inline]] static Horizontal horizontal(Lanes k1, Lanes k2) {
    Horizontal h;
    h.k1Sq = rf(k1 * k1);
    h.k2Sq = rf(k2 * k2);
    h.kHor = h.k1Sq + h.k2Sq;
    h.limit = (k1 == 0.0) | (rf(h.kHor) == 0.0);
    h.power = lanes::pow<kLanes>(h.kHor, splat(-1.5));
    h.root = lanes::sqrt<kLanes>(h.kHor);
    return h;
  }


  // Groups per pass: up to kGroups kLanes = 64 wave vectors go through each stage
  // of tensorAmplitude before the next stage starts, so that the long chains of
  // dependent operations in one group (a power feeds the next) overlap with
  // those of the other groups.
  static constexpr int kGroups = 64 / kLanes;

  // The values one stage leaves for the next, group by group.
  struct Pass {
    int groups = 0;
    // The wave vector k (its k3; k1 and k2 are the row's), the stretch factors
    // a and b and the stretched wave vector s (k without Terrain), the level,
    // and the lanes at k = 0 with Terrain.
    Lanes k3[kGroups], a[kGroups], b[kGroups], s1[kGroups], s2[kGroups], s3[kGroups];
    Lanes alphaeps[kGroups];
    Mask origin[kGroups];
    Horizontal h[kGroups];
    // The shear: |s|^2, beta, beta s1 and s3 + beta s1 (k30), |s0|^2; the
    // isotropic amplitude's scale at s0 = (s1, s2, k30); the distortion.
    Lanes kSq[kGroups], beta[kGroups], betaK1[kGroups], k30[kGroups], k0Sq[kGroups];
    Lanes scale[kGroups];
    Lanes zeta1[kGroups], zeta2[kGroups], d33[kGroups];
  };

  // Stage 0: the wave vectors of the pass and what the tables give them, lane
  // by lane (the lanes past n repeat the last wave vector).
  [[gnu::always_inline]] static void tableStage(const TensorModel& model, float k1, float k2,
                                                const float* k3, int n, Pass& p) {
    const float L = model.params.L;
    p.groups = (n + kLanes - 1) / kLanes;
    for (int g = 0; g < p.groups; ++g) {
      for (int i = 0; i < kLanes; ++i) p.k3[g][i] = k3[std::min(g * kLanes + i, n - 1)];
      p.a[g] = p.b[g] = splat(1.0);
      p.s1[g] = splat(k1);
      p.s2[g] = splat(k2);
      p.s3[g] = p.k3[g];
      p.alphaeps[g] = splat(double(model.params.alphaeps));
      p.origin[g] = Mask{};
      if (!model.needsTables()) continue;
      const UpstreamTables& tab = model.lookupTables();
      for (int i = 0; i < kLanes; ++i) {
        const float k3i = float(p.k3[g][i]);
        if (model.Terrain) {
          // The stretch is singular at the origin, where the amplitude is zero.
          if (toFloat(double(k1) * k1 + double(k2) * k2 + double(k3i) * k3i) == 0.0f) {
            p.origin[g][i] = -1;
            continue;
          }
          const float x = scaledNorm(k1, k2, k3i, L);
          const float ai = stretchFactor(tab, x, 0), bi = stretchFactor(tab, x, 1);
          const double inv = 1.0 / (double(ai) * bi);
          p.a[g][i] = ai;
          p.b[g][i] = bi;
          p.s1[g][i] = toFloat(double(ai) * k1);
          p.s2[g][i] = toFloat(double(bi) * k2);
          p.s3[g][i] = toFloat(k3i * inv);
        }
        if (model.params.alphaeps == 0.0f)
          p.alphaeps[g][i] =
              roughnessAlphaeps(tab, scaledNorm(float(p.s1[g][i]), float(p.s2[g][i]),
                                                float(p.s3[g][i]), L));
      }
    }
  }

  // Stage 1 (shear only): the eddy lifetime and the wave vector at the start
  // of the distortion.
  [[gnu::always_inline]] static void lifetimeStage(const TensorModel& model, float k1, float k2,
                                                   Pass& p) {
    const double L = model.params.L, Gamma = model.params.Gamma;
    const Horizontal row = horizontal(splat(k1), splat(k2));
    for (int g = 0; g < p.groups; ++g) {
      p.h[g] = model.Terrain ? horizontal(p.s1[g], p.s2[g]) : row;
      const Lanes kSq = rf(p.h[g].kHor + rf(p.s3[g] * p.s3[g]));
      const Lanes beta = rf(Gamma * lifeTime(rf(lanes::sqrt<kLanes>(kSq) * L)));
      const Lanes betaK1 = rf(beta * p.s1[g]);
      const Lanes k30 = rf(p.s3[g] + betaK1);
      p.kSq[g] = kSq;
      p.beta[g] = beta;
      p.betaK1[g] = betaK1;
      p.k30[g] = k30;
      p.k0Sq[g] = rf(p.h[g].kHor + k30 * k30);
    }
  }

  // Stage 2: the scale of isoAmplitude at (s1, s2, k30), sqrt of
  // isoSpectralDensity.
  [[gnu::always_inline]] static void densityStage(const TensorModel& model, Pass& p) {
    const double lSquared = double(model.params.L) * model.params.L;
    for (int g = 0; g < p.groups; ++g) {
      const Lanes s1 = p.s1[g], s2 = p.s2[g], s3 = p.k30[g];
      const Lanes kSq = rf((s1 * s1 + s2 * s2) + s3 * s3);
      const Lanes density =
          rf((lanes::pow<kLanes>((1.0 / lSquared) + kSq, splat(double(kMinusSeventeenSixthsF))) *
              double(kOneOverFourPi)) *
             p.alphaeps[g]);
      p.scale[g] = rf(lanes::sqrt<kLanes>(density));
    }
  }

  // Stage 3 (shear only): the distortion matrix's zeta1, zeta2 and k0^2/k^2,
  // with the limits at k1 = 0.
  [[gnu::always_inline]] static void distortionStage(Pass& p) {
    for (int g = 0; g < p.groups; ++g) {
      const Horizontal& h = p.h[g];
      const Lanes s2 = p.s2[g], beta = p.beta[g], betaK1 = p.betaK1[g], k30 = p.k30[g];
      const Lanes k0Sq = p.k0Sq[g], kSq = p.kSq[g];
      const Lanes c1 =
          rf(((beta * h.k1Sq) * ((k0Sq - (2.0 * k30) * k30) + betaK1 * k30)) / (h.kHor * kSq));
      const Lanes c2 = rf(((s2 * k0Sq) * h.power) *
                          lanes::atan2<kLanes>(betaK1 * h.root, k0Sq - betaK1 * k30));
      p.zeta1[g] = select(h.limit, -beta, rf(c1 - (s2 * c2) / p.s1[g]));
      p.zeta2[g] = select(h.limit, splat(0.0), rf((s2 * c1) / p.s1[g] + c2));
      p.d33[g] = rf(k0Sq / kSq);
    }
  }

  // Stage 4: the matrices, D times the isotropic amplitude (zero at k = 0),
  // with Terrain the stretch R before them; lanes i < n into out.
  [[gnu::always_inline]] static void matrixStage(const TensorModel& model, float k1, float k2,
                                                 int n, const Pass& p, Mat3* out) {
    const bool sheared = model.params.Gamma != 0.0f;
    const Lanes zero = splat(0.0), one = splat(1.0);
    for (int g = 0; g < p.groups; ++g) {
      const Lanes s3 = sheared ? p.k30[g] : p.s3[g];
      LaneMat amp = scaledCross(p.scale[g], -p.s1[g], -p.s2[g], -s3);
      if (sheared) {
        const LaneMat d = {
            {{one, zero, p.zeta1[g]}, {zero, one, p.zeta2[g]}, {zero, zero, p.d33[g]}}};
        amp = product(d, amp);
        for (auto& row : amp.m)
          for (Lanes& e : row) e = select(p.kSq[g] == 0.0, zero, e);
      }
      if (model.Terrain) {
        // stretchMatrix: (-1/k^2 [k]x diag(a, b, 1/(ab))) [s]x, then times amp.
        const Lanes K1 = splat(k1), K2 = splat(k2), K3 = p.k3[g];
        const Lanes kSq = rf((K1 * K1 + K2 * K2) + K3 * K3);
        const Lanes a = p.a[g], b = p.b[g];
        const LaneMat s = {{{a, zero, zero}, {zero, b, zero}, {zero, zero, rf(1.0 / (a * b))}}};
        const LaneMat t = scaledCross(rf(-1.0 / kSq), K1, K2, K3);
        amp = product(product(product(t, s), scaledCross(one, p.s1[g], p.s2[g], p.s3[g])), amp);
        for (auto& row : amp.m)
          for (Lanes& e : row) e = select(p.origin[g], zero, e);
      }
      for (int i = 0; i < kLanes && g * kLanes + i < n; ++i)
        for (int r = 0; r < 3; ++r)
          out[g * kLanes + i][r] =
              Vector3(float(amp.m[r][0][i]), float(amp.m[r][1][i]), float(amp.m[r][2][i]));
    }
  }

  // The passes of a row, compiled twice: for the baseline instruction set and
  // for AVX2, where the processor has it; the same operations on each lane in
  // both (nothing is contracted into fused multiply-adds), so the same bits.
  [[gnu::always_inline]] static void passes(const TensorModel& model, float k1, float k2,
                                            std::span<const float> k3, std::span<Mat3> out) {
    Pass p;
    const bool sheared = model.params.Gamma != 0.0f;
    for (std::size_t at = 0; at < k3.size(); at += kGroups * kLanes) {
      const int n = static_cast<int>(std::min<std::size_t>(kGroups * kLanes, k3.size() - at));
      tableStage(model, k1, k2, k3.data() + at, n, p);
      if (sheared) lifetimeStage(model, k1, k2, p);
      if (!sheared)
        for (int g = 0; g < p.groups; ++g) p.k30[g] = p.s3[g];
      densityStage(model, p);
      if (sheared) distortionStage(p);
      matrixStage(model, k1, k2, n, p, out.data() + at);
    }
  }
};

__attribute__((target("avx512f"))) void passesAvx512(const TensorModel& model, float k1,
                                                     float k2, std::span<const float> k3,
                                                     std::span<Mat3> out) {
  Kernel<8>::passes(model, k1, k2, k3, out);
}

__attribute__((target("avx2"))) void passesAvx2(const TensorModel& model, float k1, float k2,
                                                std::span<const float> k3, std::span<Mat3> out) {
  Kernel<4>::passes(model, k1, k2, k3, out);
}

}  // namespace

void laneAmplitudes(const TensorModel& model, float k1, float k2, std::span<const float> k3,
                    std::span<Mat3> out) {
  laneAmplitudesOn(lanes::widestInstructionSet(), model, k1, k2, k3, out);
}

void laneAmplitudesOn(lanes::InstructionSet isa, const TensorModel& model, float k1, float k2,
                      std::span<const float> k3, std::span<Mat3> out) {
  switch (isa) {
    case lanes::InstructionSet::avx512: passesAvx512(model, k1, k2, k3, out); break;
    case lanes::InstructionSet::avx2: passesAvx2(model, k1, k2, k3, out); break;
    default: Kernel<4>::passes(model, k1, k2, k3, out); break;
  }
}

}  // namespace wind::detail
