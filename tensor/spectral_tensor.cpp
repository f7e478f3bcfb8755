#include "tensor/spectral_tensor.hpp"

#include <algorithm>
#include <cmath>

#include "numerics/constants.hpp"
#include "numerics/eigen.hpp"
#include "support/fatal_error.hpp"
#include "tensor/amplitude_lanes.hpp"
#include "tensor/lifetime.hpp"

namespace wind {

namespace {

constexpr double kMinusThreeHalves = -1.5;

// |k| L, evaluated in double and rounded once.
inline float scaledNorm(Vector3 k, float L) {
  return toFloat(std::sqrt(double(k.x) * k.x + double(k.y) * k.y + double(k.z) * k.z) * L);
}

}  // namespace

Mat3 crossMatrix(Vector3 c) {
  return {0.0f, -c.z, c.y,  //
          c.z, 0.0f, -c.x,  //
          -c.y, c.x, 0.0f};
}

Mat3 isoAmplitude(const TensorModel& model, Vector3 k) {
  const float kSq = dot(k, k);
  const float s =
      toFloat(std::sqrt(double(isoSpectralDensity(model.params.alphaeps, model.params.L, kSq))));
  // M(k) = -[k]x.
  const Mat3 m(0.0f, k.z, -k.y,  //
               -k.z, 0.0f, k.x,  //
               k.y, -k.x, 0.0f);
  return s * m;
}

namespace {

// pow(k1^2 + k2^2, -3/2) of the shear's distortion, remembered by its
// argument: the same along a row of k3 without the terrain stretch.
struct HorizontalPower {
  double kHor = -1.0;  // no argument of the shear is negative
  double value = 0.0;

  double operator()(double k) {
    if (k != kHor) {
      kHor = k;
      value = std::pow(k, kMinusThreeHalves);
    }
    return value;
  }
};

Mat3 shear(const TensorModel& model, Vector3 k, HorizontalPower& horizontalPower) {
  const float L = model.params.L, Gamma = model.params.Gamma;
  if (Gamma == 0.0f) return isoAmplitude(model, k);

  const float k1 = k.x, k2 = k.y, k3 = k.z;
  const float k1Sq = toFloat(double(k1) * k1);
  const float k2Sq = toFloat(double(k2) * k2);
  const float k3Sq = toFloat(double(k3) * k3);
  const float kSq = toFloat(double(k1Sq) + k2Sq + k3Sq);
  if (kSq == 0.0f) return Mat3();

  // Eddy lifetime and the wave vector at the start of the distortion.
  const float beta = toFloat(Gamma * lifeTime(toFloat(std::sqrt(double(kSq)) * L)));
  const float betaK1 = toFloat(double(beta) * k1);
  const float k30 = toFloat(double(k3) + betaK1);
  const float k0Sq = toFloat(double(k1Sq) + k2Sq + double(k30) * k30);

  const Mat3 b = isoAmplitude(model, Vector3(k1, k2, k30));

  float zeta1, zeta2;
  const float kHorSq = toFloat(double(k1Sq) + k2Sq);
  if (k1 == 0.0f || kHorSq == 0.0f) {
    // Limits of the general expressions as k1 -> 0. The second condition only
    // catches a k1 so small that its square underflows.
    zeta1 = -beta;
    zeta2 = 0.0f;
  } else {
    const double bk1 = betaK1;
    const double kHor = double(k1Sq) + k2Sq;
    const float c1 =
        toFloat(double(beta) * k1Sq * (k0Sq - 2.0 * k30 * double(k30) + bk1 * k30) / (kHor * kSq));
    const float c2 = toFloat(double(k2) * k0Sq * horizontalPower(kHor) *
                             std::atan2(bk1 * std::sqrt(kHor), k0Sq - bk1 * k30));
    zeta1 = toFloat(c1 - double(k2) * c2 / k1);
    zeta2 = toFloat(double(k2) * c1 / k1 + c2);
  }
  const Mat3 d(1.0f, 0.0f, zeta1,  //
               0.0f, 1.0f, zeta2,  //
               0.0f, 0.0f, toFloat(double(k0Sq) / kSq));
  return d * b;
}

Mat3 amplitude(const TensorModel& model, Vector3 k, HorizontalPower& horizontalPower) {
  // Without tables the lookups below end the run with a message naming the
  // missing option.
  const UpstreamTables& tab = model.lookupTables();
  const float L = model.params.L;
  Vector3 kStretched = k;
  Mat3 r;
  if (model.Terrain) {
    // The stretch is singular at the origin, where the amplitude is zero.
    if (dot(k, k) == 0.0f) return Mat3();
    const float x = scaledNorm(k, L);
    const float a = stretchFactor(tab, x, 0);
    const float b = stretchFactor(tab, x, 1);
    r = stretchMatrix(k, a, b, kStretched);
  }
  // The model at this wave number: with the roughness option, its level.
  TensorModel local = model;
  if (local.params.alphaeps == 0.0f)
    local.params.alphaeps = roughnessAlphaeps(tab, scaledNorm(kStretched, L));
  const Mat3 amp = shear(local, kStretched, horizontalPower);
  return model.Terrain ? r * amp : amp;
}

}  // namespace

Mat3 shearAmplitude(const TensorModel& model, Vector3 k) {
  HorizontalPower horizontalPower;
  return shear(model, k, horizontalPower);
}

Mat3 stretchMatrix(Vector3 k, float a, float b, Vector3& kStretched) {
  const double inv = 1.0 / (double(a) * b);
  kStretched = Vector3(toFloat(double(a) * k.x), toFloat(double(b) * k.y), toFloat(k.z * inv));
  const Mat3 s(a, 0.0f, 0.0f,  //
               0.0f, b, 0.0f,  //
               0.0f, 0.0f, toFloat(inv));
  const float kSq = dot(k, k);
  const Mat3 t = toFloat(-1.0 / kSq) * crossMatrix(k);
  return (t * s) * crossMatrix(kStretched);
}

Mat3 tensorAmplitude(const TensorModel& model, Vector3 k) {
  HorizontalPower horizontalPower;
  return amplitude(model, k, horizontalPower);
}

void tensorAmplitudes(const TensorModel& model, float k1, float k2, std::span<const float> k3,
                      std::span<Mat3> out, TensorArithmetic arithmetic) {
  if (arithmetic == TensorArithmetic::lanes) {
    detail::laneAmplitudes(model, k1, k2, k3, out);
    return;
  }
  HorizontalPower horizontalPower;
  for (std::size_t n = 0; n < k3.size(); ++n)
    out[n] = amplitude(model, Vector3(k1, k2, k3[n]), horizontalPower);
}

Mat3 spectralTensor(const TensorModel& model, Vector3 k) {
  const Mat3 a = tensorAmplitude(model, k);
  return a * transpose(a);
}

Mat2 sqrtSym2(Mat2 m) {
  const float m11 = m[0].first, m12 = m[0].second;
  const float m21 = m[1].first, m22 = m[1].second;
  const double d = std::max(double(m11) * m22 - double(m12) * m12, 0.0);
  const double s = std::sqrt(d);
  const double radicand = double(m11) + m22 + 2.0 * s;
  // The zero matrix (and anything without a positive part) has root zero.
  if (!(radicand > 0.0)) return Mat2();
  const double t = std::sqrt(radicand);
  const float r = toFloat(1.0 / t);
  const Pair2 rr(r);
  return {rr * Pair2(toFloat(m11 + s), m12), rr * Pair2(m21, toFloat(m22 + s))};
}

Mat3 sqrtSym3(Mat3 m) {
  float a[4][4] = {};
  float v[4][4];
  float d[4];
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) a[i][j] = at(m, i - 1, j - 1);
  int nrot = 0;
  jacobi3(a, d, v, nrot);
  Mat3 w;
  Mat3 sigma;
  for (int i = 1; i <= 3; ++i) {
    at(sigma, i - 1, i - 1) = toFloat(std::sqrt(std::max(double(d[i]), 0.0)));
    w[i - 1] = Vector3(v[i][1], v[i][2], v[i][3]);
  }
  return (w * sigma) * transpose(w);
}

}  // namespace wind
