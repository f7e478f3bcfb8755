#include "numerics/eigen.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "tests/support.hpp"

using namespace wind;

namespace {

// Deterministic symmetric test matrix with entries in (-1, 1) and a diagonal
// shifted by `shift` (simple LCG, fixed seed).
Matrix symmetricMatrix(int n, std::uint32_t seed, float shift) {
  Matrix a = matrix(1, n, 1, n);
  std::uint32_t s = seed;
  auto next = [&s] {
    s = s * 1664525u + 1013904223u;
    return static_cast<float>(double(s >> 8) / 8388608.0 - 1.0);
  };
  for (int i = 1; i <= n; ++i)
    for (int j = i; j <= n; ++j) a[i][j] = a[j][i] = next() + (i == j ? shift : 0.0f);
  return a;
}

// Largest |(A v_j - d_j v_j)_i| and largest |V^T V - I| entry, in double, with A
// the symmetric matrix of diagonal and upper triangle of `a`.
void residuals(const Matrix& a, int n, const Vector& d, const Matrix& v, double& eig,
               double& orth) {
  eig = orth = 0.0;
  auto sym = [&](int i, int j) { return i <= j ? double(a[i][j]) : double(a[j][i]); };
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= n; ++i) {
      double s = -double(d[j]) * v[i][j];
      for (int l = 1; l <= n; ++l) s += sym(i, l) * v[l][j];
      eig = std::max(eig, std::fabs(s));
      double o = i == j ? -1.0 : 0.0;
      for (int l = 1; l <= n; ++l) o += double(v[l][i]) * v[l][j];
      orth = std::max(orth, std::fabs(o));
    }
}

}  // namespace

TEST(Jacobi, DiagonalMatrixEndsAtFirstSweep) {
  Matrix a = matrix(1, 3, 1, 3);
  a[1][1] = 2.385f;
  a[2][2] = -7.0f;
  a[3][3] = 0.5f;
  Vector d = vector(1, 3);
  Matrix v = matrix(1, 3, 1, 3);
  int nrot = -1;
  jacobi(a, 3, d, v, nrot);
  EXPECT_EQ(nrot, 0);
  EXPECT_EQ(d[1], 2.385f);
  EXPECT_EQ(d[2], -7.0f);
  EXPECT_EQ(d[3], 0.5f);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(v[i][j], i == j ? 1.0f : 0.0f) << i << "," << j;
}

TEST(Jacobi, OnePairRotation) {
  // [[1, .5, 0], [.5, 1, 0], [0, 0, 2]]: one rotation by pi/4.
  Matrix a = matrix(1, 3, 1, 3);
  const float m[3][3] = {{1, 0.5f, 0}, {0.5f, 1, 0}, {0, 0, 2}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) a[i][j] = m[i - 1][j - 1];
  Vector d = vector(1, 3);
  Matrix v = matrix(1, 3, 1, 3);
  int nrot = 0;
  jacobi(a, 3, d, v, nrot);
  EXPECT_EQ(nrot, 1);
  // Unsorted: position 1 holds the smaller, position 3 stays 2.
  EXPECT_FLOAT_EQ(d[1], 0.5f);
  EXPECT_FLOAT_EQ(d[2], 1.5f);
  EXPECT_EQ(d[3], 2.0f);
  const float r = static_cast<float>(1.0 / std::sqrt(2.0));
  const float sign1 = v[1][1] > 0 ? 1.0f : -1.0f;
  const float sign2 = v[1][2] > 0 ? 1.0f : -1.0f;
  EXPECT_FLOAT_EQ(sign1 * v[1][1], r);
  EXPECT_FLOAT_EQ(sign1 * v[2][1], -r);
  EXPECT_EQ(v[3][1], 0.0f);
  EXPECT_FLOAT_EQ(sign2 * v[1][2], r);
  EXPECT_FLOAT_EQ(sign2 * v[2][2], r);
  EXPECT_EQ(v[3][2], 0.0f);
  EXPECT_EQ(v[3][3], 1.0f);
  // The upper triangle is annihilated; the rest of a is untouched.
  EXPECT_EQ(a[1][2], 0.0f);
  EXPECT_EQ(a[2][1], 0.5f);
  EXPECT_EQ(a[1][1], 1.0f);
  EXPECT_EQ(a[2][2], 1.0f);
}

TEST(Jacobi, EigenpairsOverSizes) {
  for (int n = 1; n <= 12; ++n) {
    for (std::uint32_t seed : {7u, 2385u}) {
      const Matrix a0 = symmetricMatrix(n, seed + std::uint32_t(n), 0.0f);
      Matrix a = symmetricMatrix(n, seed + std::uint32_t(n), 0.0f);
      Vector d = vector(1, n);
      Matrix v = matrix(1, n, 1, n);
      int nrot = 0;
      jacobi(a, n, d, v, nrot);
      double eig, orth;
      residuals(a0, n, d, v, eig, orth);
      EXPECT_LT(eig, 1e-5 * n) << "n = " << n << ", seed " << seed;
      EXPECT_LT(orth, 1e-6 * n) << "n = " << n << ", seed " << seed;
      // Trace is preserved.
      double tr = 0.0, sum = 0.0;
      for (int i = 1; i <= n; ++i) {
        tr += a0[i][i];
        sum += d[i];
      }
      EXPECT_NEAR(sum, tr, 1e-5 * n) << "n = " << n;
      // Strict upper triangle zero; lower triangle and diagonal as given.
      for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
          if (i < j)
            EXPECT_EQ(a[i][j], 0.0f) << "n = " << n << " (" << i << "," << j << ")";
          else
            EXPECT_EQ(a[i][j], a0[i][j]) << "n = " << n << " (" << i << "," << j << ")";
        }
    }
  }
}

TEST(Jacobi, LowerTriangleIsNeverRead) {
  // Garbage below the diagonal does not change the result.
  const int n = 5;
  Matrix a1 = symmetricMatrix(n, 99u, 0.0f);
  Matrix a2 = symmetricMatrix(n, 99u, 0.0f);
  for (int i = 2; i <= n; ++i)
    for (int j = 1; j < i; ++j) a2[i][j] = std::numeric_limits<float>::quiet_NaN();
  Vector d1 = vector(1, n), d2 = vector(1, n);
  Matrix v1 = matrix(1, n, 1, n), v2 = matrix(1, n, 1, n);
  int r1 = 0, r2 = 0;
  jacobi(a1, n, d1, v1, r1);
  jacobi(a2, n, d2, v2, r2);
  EXPECT_EQ(r1, r2);
  for (int i = 1; i <= n; ++i) {
    EXPECT_EQ(d1[i], d2[i]);
    for (int j = 1; j <= n; ++j) EXPECT_EQ(v1[i][j], v2[i][j]);
  }
}

TEST(Jacobi, FixedSizeFormGivesSameBits) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    Matrix a = symmetricMatrix(3, seed, seed % 3 == 0 ? 2.385f : 0.0f);
    float af[4][4] = {}, df[4] = {}, vf[4][4] = {};
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j) af[i][j] = a[i][j];
    Vector d = vector(1, 3);
    Matrix v = matrix(1, 3, 1, 3);
    int nrot = 0, nrotf = 0;
    jacobi(a, 3, d, v, nrot);
    jacobi3(af, df, vf, nrotf);
    EXPECT_EQ(nrot, nrotf) << "seed " << seed;
    for (int i = 1; i <= 3; ++i) {
      EXPECT_EQ(d[i], df[i]) << "seed " << seed;
      for (int j = 1; j <= 3; ++j) {
        EXPECT_EQ(v[i][j], vf[i][j]) << "seed " << seed;
        EXPECT_EQ(a[i][j], af[i][j]) << "seed " << seed;
      }
    }
  }
}

TEST(JacobiDeathTest, NoConvergenceIsFatal) {
  // A NaN off-diagonal element never passes the threshold test.
  Matrix a = matrix(1, 2, 1, 2);
  a[1][1] = 1.0f;
  a[2][2] = 2.0f;
  a[1][2] = std::numeric_limits<float>::quiet_NaN();
  Vector d = vector(1, 2);
  Matrix v = matrix(1, 2, 1, 2);
  int nrot = 0;
  EXPECT_EXIT(jacobi(a, 2, d, v, nrot), ::testing::ExitedWithCode(1),
              wind::testing::fatalReport("Too many iterations in routine jacobi"));
}
