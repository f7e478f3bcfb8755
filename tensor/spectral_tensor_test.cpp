#include "tensor/spectral_tensor.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tensor/lifetime.hpp"
#include "tests/support.hpp"

using namespace wind;

namespace {

constexpr long double kPiL = 3.14159265358979323846L;

// Worked parameters: alphaeps = 1, L = 30, Gamma = 3.9, k = (0.3, -0.2, 0.5).
constexpr float kAlpha = 1.0f, kL = 30.0f, kGamma = 3.9f;
const Vector3 kK(0.3f, -0.2f, 0.5f);

// Largest |(k^T A)_j| relative to |k| times the largest |A_ij|.
double leftNullResidual(const Mat3& a, Vector3 k) {
  double amax = 0.0, rmax = 0.0;
  for (int j = 0; j < 3; ++j) {
    double s = 0.0;
    for (int i = 0; i < 3; ++i) {
      s += double(at(a, i, j)) * (i == 0 ? k.x : i == 1 ? k.y : k.z);
      amax = std::max(amax, std::fabs(double(at(a, i, j))));
    }
    rmax = std::max(rmax, std::fabs(s));
  }
  const double kn = std::sqrt(double(k.x) * k.x + double(k.y) * k.y + double(k.z) * k.z);
  return amax == 0.0 ? rmax : rmax / (kn * amax);
}

// Products and comparisons in double, for checks against closed forms.
void productD(const Mat3& p, const Mat3& q, double r[3][3]) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      r[i][j] = 0.0;
      for (int l = 0; l < 3; ++l) r[i][j] += double(at(p, i, l)) * at(q, l, j);
    }
}

bool isZero(const Mat3& m) { return m == Mat3(); }

// Distortion matrix D recovered from A_sh = D A_iso(k0): with k1 = 0, k0 = k and
// the expected D has rows (1, 0, -beta), (0, 1, 0), (0, 0, 1).
float betaAt(float Gamma, Vector3 k, float L) {
  const double kn = std::sqrt(double(k.x) * k.x + double(k.y) * k.y + double(k.z) * k.z);
  return static_cast<float>(Gamma * lifeTime(static_cast<float>(kn * L)));
}

}  // namespace

TEST(IsoAmplitude, GivesVonKarmanTensor) {
  // A A^T = E(k) / (4 pi k^4) (k^2 delta_ij - k_i k_j), recomputed in long double.
  const Vector3 k(0.0297619f, -0.125f, 0.2385f);
  const Mat3 a = isoAmplitude({kAlpha, kL}, k);
  double phi[3][3];
  Mat3 at_;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) at(at_, i, j) = at(a, j, i);
  productD(a, at_, phi);
  const long double kv[3] = {k.x, k.y, k.z};
  const long double k2 = kv[0] * kv[0] + kv[1] * kv[1] + kv[2] * kv[2];
  const long double dens =
      kAlpha / (4 * kPiL) * std::pow(1.0L / (kL * kL) + k2, -17.0L / 6);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const long double ref = dens * ((i == j ? k2 : 0.0L) - kv[i] * kv[j]);
      EXPECT_NEAR(phi[i][j], double(ref), 1e-5 * double(dens * k2)) << i << "," << j;
    }
}

TEST(IsoAmplitude, ZeroAtOrigin) { EXPECT_TRUE(isZero(isoAmplitude({kAlpha, kL}, Vector3()))); }

TEST(ShearAmplitude, GammaZeroIsIsotropicBitForBit) {
  for (Vector3 k : {kK, Vector3(0, 0.4f, -1.1f), Vector3(2.385f, 0, 0), Vector3()})
    EXPECT_EQ(shearAmplitude({kAlpha, kL, 0.0f}, k), isoAmplitude({kAlpha, kL}, k));
}

TEST(ShearAmplitude, ZeroAtOriginForAnyGamma) {
  for (float g : {0.0f, 1.0f, kGamma, -2.0f})
    EXPECT_TRUE(isZero(shearAmplitude({kAlpha, kL, g}, Vector3()))) << "Gamma = " << g;
}

TEST(ShearAmplitude, AlongWindZeroUsesLimitDistortion) {
  // k1 = 0: k0 = k and D has rows (1, 0, -beta), (0, 1, 0), (0, 0, 1).
  const Vector3 k(0.0f, -0.2f, 0.5f);
  const float beta = betaAt(kGamma, k, kL);
  const Mat3 d(1, 0, -beta, 0, 1, 0, 0, 0, 1);
  EXPECT_EQ(shearAmplitude({kAlpha, kL, kGamma}, k), d * isoAmplitude({kAlpha, kL}, k));
}

TEST(ShearAmplitude, GeneralFormulasApproachTheLimit) {
  // At k1 = 1e-7 the general expressions agree with the k1 = 0 limit to about
  // seven digits.
  for (Vector3 k : {Vector3(0.0f, -0.2f, 0.5f), Vector3(0.0f, 0.7f, -0.05f)}) {
    const Mat3 lim = shearAmplitude({kAlpha, kL, kGamma}, k);
    const Mat3 near = shearAmplitude({kAlpha, kL, kGamma}, Vector3(1e-7f, k.y, k.z));
    double scale = 0.0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) scale = std::max(scale, std::fabs(double(at(lim, i, j))));
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(at(near, i, j), at(lim, i, j), 2e-6 * scale)
            << "k2 = " << k.y << " (" << i << "," << j << ")";
  }
}

TEST(ShearAmplitude, TinyAlongWindComponentStaysFinite) {
  // k1 non-zero but k1^2 + k2^2 underflowing: the limit is used, no NaN.
  const Mat3 a = shearAmplitude({kAlpha, kL, kGamma}, Vector3(1e-30f, 0.0f, 0.5f));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_TRUE(std::isfinite(at(a, i, j))) << i << "," << j;
}

TEST(TensorAmplitude, IsIncompressibleForEveryVariant) {
  // k^T A(k) = 0 for the isotropic, sheared and stretched models, up to float
  // rounding (a wrong distortion or stretch leaves residuals of order one).
  const float tol = 1e-5f;
  EXPECT_LT(leftNullResidual(isoAmplitude({kAlpha, kL}, kK), kK), tol);
  EXPECT_LT(leftNullResidual(shearAmplitude({kAlpha, kL, kGamma}, kK), kK), tol);
  EXPECT_LT(leftNullResidual(tensorAmplitude({kAlpha, kL, kGamma}, kK), kK), tol);
  for (Vector3 k : {Vector3(-1.3f, 0.02f, 0.11f), Vector3(0.0f, 0.3f, 0.9f),
                    Vector3(0.004f, -0.003f, 0.002f)})
    EXPECT_LT(leftNullResidual(shearAmplitude({kAlpha, kL, kGamma}, k), k), tol)
        << k.x << " " << k.y << " " << k.z;
  // Stretched: R A_sh(k') with a, b away from 1.
  Vector3 ks;
  const Mat3 r = stretchMatrix(kK, 1.37f, 0.81f, ks);
  EXPECT_LT(leftNullResidual(r * shearAmplitude({kAlpha, kL, kGamma}, ks), kK), tol);
  // Phi k = 0 follows.
  const Mat3 phi = spectralTensor({kAlpha, kL, kGamma}, kK);
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(double(at(phi, i, 0)) * kK.x + double(at(phi, i, 1)) * kK.y +
                    double(at(phi, i, 2)) * kK.z,
                0.0, 1e-6 * std::fabs(double(at(phi, 0, 0))));
}

TEST(TensorAmplitude, WithoutTerrainIsShearAmplitude) {
  for (Vector3 k : {kK, Vector3(0, 0.3f, 0.2f), Vector3()})
    EXPECT_EQ(tensorAmplitude({kAlpha, kL, kGamma}, k), shearAmplitude({kAlpha, kL, kGamma}, k));
}

TEST(SpectralTensor, IsotropicTraceIdentity) {
  // trace Phi = 2 E(k) / (4 pi k^2) = 2 k^2 isoSpectralDensity.
  for (Vector3 k : {kK, Vector3(0.01f, 0.0f, -0.002f), Vector3(3.0f, 4.0f, 12.0f)}) {
    const Mat3 phi = spectralTensor({kAlpha, kL, 0.0f}, k);
    const long double k2 = (long double)k.x * k.x + (long double)k.y * k.y + (long double)k.z * k.z;
    const long double ref =
        2 * k2 * kAlpha / (4 * kPiL) * std::pow(1.0L / (kL * kL) + k2, -17.0L / 6);
    const double tr = double(at(phi, 0, 0)) + at(phi, 1, 1) + at(phi, 2, 2);
    EXPECT_NEAR(tr / double(ref), 1.0, 3e-6) << k.x << " " << k.y << " " << k.z;
  }
}

TEST(SpectralTensor, IsSymmetricPositiveSemiDefinite) {
  const Mat3 phi = spectralTensor({kAlpha, kL, kGamma}, kK);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(at(phi, i, j), at(phi, j, i));
  for (int i = 0; i < 3; ++i) EXPECT_GE(at(phi, i, i), 0.0f);
  // Shear creates the negative uw covariance of a boundary layer at k2 = 0.
  const Mat3 phi2 = spectralTensor({kAlpha, kL, kGamma}, Vector3(0.05f, 0.0f, 0.02f));
  EXPECT_LT(at(phi2, 0, 2), 0.0f);
}

TEST(StretchMatrix, UnitStretchIsProjection) {
  Vector3 ks;
  const Mat3 r = stretchMatrix(kK, 1.0f, 1.0f, ks);
  EXPECT_EQ(ks, kK);
  const double k[3] = {kK.x, kK.y, kK.z};
  const double k2 = k[0] * k[0] + k[1] * k[1] + k[2] * k[2];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_NEAR(at(r, i, j), (i == j ? 1.0 : 0.0) - k[i] * k[j] / k2, 2e-7) << i << "," << j;
}

TEST(StretchMatrix, StretchedWaveVectorPreservesVolume) {
  Vector3 ks;
  stretchMatrix(Vector3(0.4f, -0.6f, 1.2f), 1.25f, 0.5f, ks);
  EXPECT_EQ(ks.x, 0.5f);
  EXPECT_EQ(ks.y, -0.3f);
  EXPECT_FLOAT_EQ(ks.z, 1.92f);
}

TEST(SqrtSym2, Examples) {
  const Mat2 s = sqrtSym2(Mat2(Pair2(4, 0), Pair2(0, 9)));
  EXPECT_EQ(s[0], Pair2(2, 0));
  EXPECT_EQ(s[1], Pair2(0, 3));
  // [[2, 1], [1, 2]]: eigenvalues 1 and 3, root (1 + sqrt 3) / 2, (sqrt 3 - 1) / 2.
  const Mat2 t = sqrtSym2(Mat2(Pair2(2, 1), Pair2(1, 2)));
  const float dg = static_cast<float>((1 + std::sqrt(3.0L)) / 2);
  const float od = static_cast<float>((std::sqrt(3.0L) - 1) / 2);
  EXPECT_FLOAT_EQ(t[0].first, dg);
  EXPECT_FLOAT_EQ(t[0].second, od);
  EXPECT_FLOAT_EQ(t[1].first, od);
  EXPECT_FLOAT_EQ(t[1].second, dg);
}

TEST(SqrtSym2, SquaresBack) {
  const Mat2 m(Pair2(2.385f, -0.7f), Pair2(-0.7f, 0.4f));
  const Mat2 s = sqrtSym2(m);
  const double p00 = double(s[0].first) * s[0].first + double(s[0].second) * s[1].first;
  const double p01 = double(s[0].first) * s[0].second + double(s[0].second) * s[1].second;
  const double p11 = double(s[1].first) * s[0].second + double(s[1].second) * s[1].second;
  EXPECT_NEAR(p00, 2.385, 1e-6);
  EXPECT_NEAR(p01, -0.7, 1e-6);
  EXPECT_NEAR(p11, 0.4, 1e-6);
}

TEST(SqrtSym2, ZeroMatrixGivesZero) {
  const Mat2 s = sqrtSym2(Mat2());
  EXPECT_EQ(s[0], Pair2());
  EXPECT_EQ(s[1], Pair2());
  // Rank one: the root of a a^T / |a| is exact in closed form.
  const Mat2 r = sqrtSym2(Mat2(Pair2(0, 0), Pair2(0, 6.25f)));
  EXPECT_EQ(r[0], Pair2(0, 0));
  EXPECT_EQ(r[1], Pair2(0, 2.5f));
}

TEST(SqrtSym3, Examples) {
  EXPECT_EQ(sqrtSym3(Mat3(4, 0, 0, 0, 9, 0, 0, 0, -1)), Mat3(2, 0, 0, 0, 3, 0, 0, 0, 0));
  EXPECT_EQ(sqrtSym3(Mat3()), Mat3());
}

TEST(SqrtSym3, SquaresBackSpectralTensor) {
  // The root of Phi(k) squares back to Phi (Phi has rank two).
  for (Vector3 k : {kK, Vector3(0.02f, 0.0f, 0.01f), Vector3(0.0f, 1.5f, -0.4f)}) {
    const Mat3 phi = spectralTensor({kAlpha, kL, kGamma}, k);
    const Mat3 s = sqrtSym3(phi);
    double p[3][3];
    productD(s, s, p);
    const double scale = double(at(phi, 0, 0)) + at(phi, 1, 1) + at(phi, 2, 2);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        EXPECT_NEAR(at(s, i, j), at(s, j, i), 1e-6 * std::sqrt(scale));
        EXPECT_NEAR(p[i][j], at(phi, i, j), 2e-6 * scale) << i << "," << j;
      }
  }
}

TEST(SqrtSym3, ReadsOnlyUpperTriangle) {
  const Mat3 m(2.385f, 0.3f, -0.1f, 0.0f, 1.2f, 0.45f, 0.0f, 0.0f, 0.9f);
  const Mat3 full(2.385f, 0.3f, -0.1f, 0.3f, 1.2f, 0.45f, -0.1f, 0.45f, 0.9f);
  EXPECT_EQ(sqrtSym3(m), sqrtSym3(full));
}

TEST(SqrtSym3DeathTest, NaNIsFatal) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EXIT(sqrtSym3(Mat3(1, nan, 0, nan, 1, 0, 0, 0, 1)), ::testing::ExitedWithCode(1),
              wind::testing::fatalReport("Too many iterations in routine jacobi"));
}

namespace {

// Tables with constant strain ln(a), ln(b) and constant energy e on the grid
// (zero second derivatives: the spline is the constant).
UpstreamTables constantTables(float a, float b, float e) {
  UpstreamTables t;
  for (int i = 0; i < kKLGridSize; ++i) {
    t.kL[i] = kLGrid(i);
    t.strain[0][i] = static_cast<float>(std::log(double(a)));
    t.strain[1][i] = static_cast<float>(std::log(double(b)));
    t.energy[i] = e;
  }
  t.hasStretch = t.hasRoughness = true;
  return t;
}

}  // namespace

TEST(TensorAmplitudeTerrain, UnitStretchLeavesModelUnchanged) {
  // a = b = 1: R is the projection onto the plane normal to k, which A_sh
  // already lies in.
  const UpstreamTables t = constantTables(1.0f, 1.0f, 0.0f);
  const Mat3 plain = tensorAmplitude({kAlpha, kL, kGamma}, kK);
  const Mat3 terr = tensorAmplitude({kAlpha, kL, kGamma, true, &t}, kK);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_NEAR(at(terr, i, j), at(plain, i, j), 1e-6 * std::fabs(at(plain, 0, 2)))
          << i << "," << j;
}

TEST(TensorAmplitudeTerrain, StretchesByTableFactors) {
  const UpstreamTables t = constantTables(1.37f, 0.81f, 0.0f);
  const float a = stretchFactor(t, 1.0f, 0), b = stretchFactor(t, 1.0f, 1);
  EXPECT_NEAR(a, 1.37f, 1e-6);
  EXPECT_NEAR(b, 0.81f, 1e-6);
  Vector3 ks;
  const Mat3 r = stretchMatrix(kK, a, b, ks);
  EXPECT_EQ(tensorAmplitude({kAlpha, kL, kGamma, true, &t}, kK),
            r * shearAmplitude({kAlpha, kL, kGamma}, ks));
  EXPECT_LT(leftNullResidual(tensorAmplitude({kAlpha, kL, kGamma, true, &t}, kK), kK), 1e-5);
}

TEST(TensorAmplitudeTerrain, ZeroAtOrigin) {
  const UpstreamTables t = constantTables(1.37f, 0.81f, 0.5f);
  EXPECT_TRUE(isZero(tensorAmplitude({kAlpha, kL, kGamma, true, &t}, Vector3())));
  EXPECT_TRUE(isZero(spectralTensor({0.0f, kL, kGamma, true, &t}, Vector3())));
}

TEST(TensorAmplitudeRoughness, ZeroLevelReadsTable) {
  const float e = 0.0625f;
  const UpstreamTables t = constantTables(1.0f, 1.0f, e);
  const float level = roughnessAlphaeps(t, 2.0f);
  EXPECT_NEAR(level, 1.7f * e, 1e-7);
  EXPECT_EQ(tensorAmplitude({0.0f, kL, kGamma, false, &t}, kK),
            shearAmplitude({level, kL, kGamma}, kK));
}

TEST(TensorAmplitudeDeathTest, MissingTablesAreFatal) {
  EXPECT_EXIT(tensorAmplitude({kAlpha, kL, kGamma, true}, kK), ::testing::ExitedWithCode(1),
              wind::testing::fatalReport(
                  "stretch tables not built: the Terrain stretch needs the Terrain option"));
  EXPECT_EXIT(tensorAmplitude({0.0f, kL, kGamma}, kK), ::testing::ExitedWithCode(1),
              wind::testing::fatalReport(
                  "roughness table not built: alphaeps = 0 needs the Roughness option"));
  UpstreamTables onlyStretch = constantTables(1, 1, 1);
  onlyStretch.hasRoughness = false;
  EXPECT_EXIT(spectralTensor({0.0f, kL, kGamma, true, &onlyStretch}, kK),
              ::testing::ExitedWithCode(1),
              wind::testing::fatalReport(
                  "roughness table not built: alphaeps = 0 needs the Roughness option"));
}

TEST(TensorModel, NeedsTablesForTerrainOrZeroLevel) {
  using wind::testing::fatalMessage;
  const UpstreamTables filled = constantTables(1, 1, 1);
  UpstreamTables onlyStretch = filled;
  onlyStretch.hasRoughness = false;
  const TensorModel plain{kAlpha, kL, kGamma};
  const TensorModel terrain{kAlpha, kL, kGamma, true};
  const TensorModel roughness{0.0f, kL, kGamma, true, &onlyStretch};
  const TensorModel both{0.0f, kL, kGamma, true, &filled};
  EXPECT_FALSE(plain.needsTables());
  EXPECT_TRUE(terrain.needsTables());
  EXPECT_TRUE((TensorModel{0.0f, kL, kGamma}).needsTables());
  // Checked once at the boundary, with the messages of the lookups.
  EXPECT_EQ(fatalMessage([&] { plain.checkTables(); }), "");
  EXPECT_EQ(fatalMessage([&] { terrain.checkTables(); }), kStretchTablesMissing);
  EXPECT_EQ(fatalMessage([&] { roughness.checkTables(); }), kRoughnessTableMissing);
  EXPECT_EQ(fatalMessage([&] { both.checkTables(); }), "");
}
