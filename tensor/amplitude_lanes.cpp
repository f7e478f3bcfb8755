#include "tensor/amplitude_lanes.hpp"

#include <algorithm>

#include "numerics/constants.hpp"
#include "numerics/vector_math.hpp"
#include "tensor/lifetime.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind::detail {

namespace {

constexpr int kLanes = 4;
using Lanes = lanes::Doubles<kLanes>;
using Mask = lanes::Int64s<kLanes>;

// Every value below holds a float where tensorAmplitude stores one (rounded
// by rf) and a double where it computes in double, so that each operation is
// the one tensorAmplitude performs on the same operands.
[[gnu::always_inline]] inline Lanes rf(Lanes x) { return lanes::toFloat<kLanes>(x); }
[[gnu::always_inline]] inline Lanes splat(double v) { return lanes::splat<kLanes>(v); }
[[gnu::always_inline]] inline Lanes select(Mask m, Lanes a, Lanes b) {
  return lanes::select<kLanes>(m, a, b);
}

struct LaneMat {
  Lanes m[3][3];
};

// The product of Mat3's operator*: element (i, j) summed from 0.0 over l in
// order, rounded once.
[[gnu::always_inline]] inline LaneMat product(const LaneMat& p, const LaneMat& q) {
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
[[gnu::always_inline]] inline LaneMat scaledCross(Lanes s, Lanes c1, Lanes c2, Lanes c3) {
  const Lanes zero = splat(0.0);
  const Lanes e[3][3] = {{zero, -c3, c2}, {c3, zero, -c1}, {-c2, c1, zero}};
  LaneMat r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m[i][j] = rf(s * e[i][j]);
  return r;
}

// lifeTimeRational (tensor/lifetime.cpp).
[[gnu::always_inline]] inline Lanes lifeTime(Lanes x) {
  using namespace lifetime_law;
  x = select(x < double(kMinArgF), splat(double(kMinArgF)), x);
  const Lanes c = rf(x * x);
  const Lanes p = lanes::pow<kLanes>(1.0 + c, splat(double(kOneSixthF)));
  return ((p / x) * ((kN0 + kN1 * x) + kN2 * c)) / ((1.0 + kD1 * x) + kD2 * c);
}

// isoAmplitude: sqrt(isoSpectralDensity) times -[k]x.
[[gnu::always_inline]] inline LaneMat iso(Lanes alphaeps, float L, Lanes k1, Lanes k2, Lanes k3) {
  const Lanes kSq = rf((k1 * k1 + k2 * k2) + k3 * k3);
  const double lSquared = double(L) * L;
  const Lanes density =
      rf((lanes::pow<kLanes>((1.0 / lSquared) + kSq, splat(double(kMinusSeventeenSixthsF))) *
          double(kOneOverFourPi)) *
         alphaeps);
  const Lanes s = rf(lanes::sqrt<kLanes>(density));
  return scaledCross(s, -k1, -k2, -k3);
}

// shearAmplitude, with the limits at k1 = 0 and the zero at k = 0 selected
// lane by lane.
[[gnu::always_inline]] inline LaneMat shear(Lanes alphaeps, float L, float Gamma, Lanes k1,
                                            Lanes k2, Lanes k3) {
  if (Gamma == 0.0f) return iso(alphaeps, L, k1, k2, k3);
  const Lanes k1Sq = rf(k1 * k1), k2Sq = rf(k2 * k2), k3Sq = rf(k3 * k3);
  const Lanes kSq = rf((k1Sq + k2Sq) + k3Sq);
  const Lanes beta = rf(double(Gamma) * lifeTime(rf(lanes::sqrt<kLanes>(kSq) * double(L))));
  const Lanes betaK1 = rf(beta * k1);
  const Lanes k30 = rf(k3 + betaK1);
  const Lanes k0Sq = rf((k1Sq + k2Sq) + k30 * k30);
  const LaneMat b = iso(alphaeps, L, k1, k2, k30);

  const Lanes kHor = k1Sq + k2Sq;
  const Mask limit = (k1 == 0.0) | (rf(kHor) == 0.0);
  const Lanes c1 = rf(((beta * k1Sq) * ((k0Sq - (2.0 * k30) * k30) + betaK1 * k30)) / (kHor * kSq));
  const Lanes c2 =
      rf(((k2 * k0Sq) * lanes::pow<kLanes>(kHor, splat(-1.5))) *
         lanes::atan2<kLanes>(betaK1 * lanes::sqrt<kLanes>(kHor), k0Sq - betaK1 * k30));
  const Lanes zeta1 = select(limit, -beta, rf(c1 - (k2 * c2) / k1));
  const Lanes zeta2 = select(limit, splat(0.0), rf((k2 * c1) / k1 + c2));
  const Lanes zero = splat(0.0), one = splat(1.0);
  const LaneMat d = {{{one, zero, zeta1}, {zero, one, zeta2}, {zero, zero, rf(k0Sq / kSq)}}};
  LaneMat r = product(d, b);
  for (auto& row : r.m)
    for (Lanes& e : row) e = select(kSq == 0.0, zero, e);
  return r;
}

// |k| L rounded to float (scaledNorm of tensor/spectral_tensor.cpp).
float scaledNorm(float k1, float k2, float k3, float L) {
  return toFloat(__builtin_sqrt(double(k1) * k1 + double(k2) * k2 + double(k3) * k3) * L);
}

// tensorAmplitude at (k1, k2, k3[i]) for the lanes i < n (n <= kLanes) into
// out[i]; the tables are read lane by lane.
[[gnu::always_inline]] inline void group(const TensorModel& model, float k1, float k2,
                                         const float* k3, int n, Mat3* out) {
  const float L = model.params.L;
  Lanes K3, a = splat(1.0), b = splat(1.0), s1 = splat(k1), s2 = splat(k2), s3,
            alphaeps = splat(double(model.params.alphaeps));
  for (int i = 0; i < kLanes; ++i) K3[i] = k3[std::min(i, n - 1)];
  s3 = K3;
  const Lanes K1 = splat(k1), K2 = splat(k2);
  Mask origin{};  // lanes at k = 0 (with Terrain)
  if (model.needsTables()) {
    const UpstreamTables& tab = model.lookupTables();
    for (int i = 0; i < kLanes; ++i) {
      if (model.Terrain) {
        if (toFloat(double(k1) * k1 + double(k2) * k2 + double(K3[i]) * K3[i]) == 0.0f) {
          origin[i] = -1;
          continue;
        }
        const float x = scaledNorm(k1, k2, float(K3[i]), L);
        const float ai = stretchFactor(tab, x, 0), bi = stretchFactor(tab, x, 1);
        const double inv = 1.0 / (double(ai) * bi);
        a[i] = ai;
        b[i] = bi;
        s1[i] = toFloat(double(ai) * k1);
        s2[i] = toFloat(double(bi) * k2);
        s3[i] = toFloat(K3[i] * inv);
      }
      if (model.params.alphaeps == 0.0f)
        alphaeps[i] = roughnessAlphaeps(tab, scaledNorm(float(s1[i]), float(s2[i]), float(s3[i]), L));
    }
  }
  LaneMat amp = shear(alphaeps, L, model.params.Gamma, s1, s2, s3);
  if (model.Terrain) {
    // stretchMatrix: (-1/k^2 [k]x diag(a, b, 1/(ab))) [k']x, then times amp.
    const Lanes kSq = rf((K1 * K1 + K2 * K2) + K3 * K3);
    const Lanes zero = splat(0.0);
    const LaneMat s = {{{a, zero, zero}, {zero, b, zero}, {zero, zero, rf(1.0 / (a * b))}}};
    const LaneMat t = scaledCross(rf(-1.0 / kSq), K1, K2, K3);
    amp = product(product(product(t, s), scaledCross(splat(1.0), s1, s2, s3)), amp);
    for (auto& row : amp.m)
      for (Lanes& e : row) e = select(origin, zero, e);
  }
  for (int i = 0; i < n; ++i)
    for (int r = 0; r < 3; ++r)
      out[i][r] = Vector3(float(amp.m[r][0][i]), float(amp.m[r][1][i]), float(amp.m[r][2][i]));
}

}  // namespace

// Compiled for AVX2 as well where the processor has it: the same operations
// on each lane (nothing is contracted into fused multiply-adds), so the same
// bits.
__attribute__((target_clones("avx2", "default"))) void laneAmplitudes(
    const TensorModel& model, float k1, float k2, std::span<const float> k3, std::span<Mat3> out) {
  const int n = static_cast<int>(k3.size());
  for (int at = 0; at < n; at += kLanes)
    group(model, k1, k2, k3.data() + at, std::min(kLanes, n - at), out.data() + at);
}

}  // namespace wind::detail
