#include "sources/wind_axes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support.hpp"

using namespace wind;
namespace fs = std::filesystem;

namespace {

using LD = long double;

// The elementary rotations about z and x, in long double.
struct M3 {
  LD a[3][3];
};
M3 product(const M3& p, const M3& q) {
  M3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int l = 0; l < 3; ++l) r.a[i][j] += p.a[i][l] * q.a[l][j];
  return r;
}
M3 transposed(const M3& m) {
  M3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.a[i][j] = m.a[j][i];
  return r;
}
M3 rotZ(LD a) { return {{{cosl(a), sinl(a), 0}, {-sinl(a), cosl(a), 0}, {0, 0, 1}}}; }
M3 rotX(LD b) { return {{{1, 0, 0}, {0, cosl(b), sinl(b)}, {0, -sinl(b), cosl(b)}}}; }

const LD kPi = std::acos(-1.0L);

// The rotation angle that takes wind axes back into the file's axes, exact.
LD fileAngle(LD direction) { return (direction + 90.0L) * kPi / 180.0L; }

void expectRows(const Mat3& R, const M3& want, double tol, const std::string& what) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      EXPECT_NEAR(at(R, i, j), double(want.a[i][j]), tol) << what << " element " << i << j;
}

const std::string kHillFile = std::string(WIND_SOURCE_DIR) + "/examples/terrain_hill.dat";

KestavLine readQuietly(const std::string& path, int h) {
  std::ostringstream sink;
  return ReadKestavLine(path, h, sink);
}

fs::path freshDir(const std::string& name) { return wind::testing::freshDir("wind_axes_" + name); }

}  // namespace

// ---------------------------------------------------------------------------
// Rotation into wind axes

TEST(WindAxes, EulerRotationIsTheProductOfElementaryRotations) {
  const float angles[][3] = {{0.3f, 1.1f, -2.385f}, {2.385f, -0.7f, 0.9f}, {-1.2f, 2.9f, 4.4f}};
  for (const auto& a : angles) {
    const M3 want = product(product(rotZ(a[2]), rotX(a[1])), rotZ(a[0]));
    expectRows(eulerRotation(a[0], a[1], a[2]), want, 2e-7,
               "angles " + std::to_string(a[0]) + " " + std::to_string(a[1]) + " " +
                   std::to_string(a[2]));
  }
}

TEST(WindAxes, QuarterTurnAndDirections) {
  // psi = -pi/2: the file's x axis becomes -y, its y axis x.
  const M3 quarter{{{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}};
  expectRows(eulerRotation(0.0f, 0.0f, -1.57079637f), quarter, 1e-7, "psi -pi/2");
  expectRows(windAxesRotation(0.0f), quarter, 1e-7, "direction 0");

  // Direction 270: the identity up to the rounding of the single-precision pi.
  const Mat3 R270 = windAxesRotation(270.0f);
  const M3 identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  expectRows(R270, identity, 3e-7, "direction 270");
  EXPECT_NE(at(R270, 0, 1), 0.0f) << "the single-precision pi leaves a trace";

  // Direction 180 maps the file's y axis onto the wind's x axis.
  const Mat3 R180 = windAxesRotation(180.0f);
  EXPECT_NEAR(dot(R180[0], Vector3(0.0f, 1.0f, 0.0f)), 1.0f, 1e-7);
  EXPECT_NEAR(dot(R180[1], Vector3(0.0f, 1.0f, 0.0f)), 0.0f, 1e-7);

  // -(direction + 90) pi / 180, up to the single-precision pi and rounding.
  EXPECT_NEAR(windAxesAngle(135.0f), double(-1.25L * kPi), 5e-7);
  EXPECT_NEAR(windAxesAngle(270.0f), double(-2.0L * kPi), 5e-7);
  EXPECT_NEAR(windAxesAngle(0.0f), double(-0.5L * kPi), 2e-7);
}

TEST(WindAxes, TheWindAndTheCrossWindBecomeTheFirstAxes) {
  // Wind from `direction` degrees blows towards t = (-sin d, -cos d, 0) in
  // the file's axes (270: along +x), and l = (cos d, -sin d, 0) lies across it
  // to the left. In wind axes they are the first two axes, and the matrix
  // t l^T, which turns as (R t)(R l)^T, has the single element (0, 1) = 1;
  // the other order of the factors, R^T M R, gives that only when R is
  // nearly the identity or a half turn. The single-precision pi and -1/180 and
  // the rounding of the angle to float turn the axes by up to 7e-7 rad.
  const double tol = 1e-6;
  const M3 firstRow{{{0, 1, 0}, {0, 0, 0}, {0, 0, 0}}};
  for (float direction : {0.0f, 33.3f, 135.0f, 200.0f, 270.0f}) {
    const LD d = direction * kPi / 180.0L;
    const Vector3 t(float(-sinl(d)), float(-cosl(d)), 0.0f);
    const Vector3 l(float(cosl(d)), float(-sinl(d)), 0.0f);
    const Mat3 R = windAxesRotation(direction);
    const std::string where = "direction " + std::to_string(direction);
    const Vector3 z(0.0f, 0.0f, 1.0f);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(dot(R[i], t), i == 0 ? 1.0 : 0.0, tol) << where << ", row " << i;
      EXPECT_NEAR(dot(R[i], l), i == 1 ? 1.0 : 0.0, tol) << where << ", row " << i;
      EXPECT_NEAR(dot(R[i], z), i == 2 ? 1.0 : 0.0, tol) << where << ", row " << i;
    }
    const Mat3 M(t.x * l.x, t.x * l.y, 0.0f, t.y * l.x, t.y * l.y, 0.0f, 0.0f, 0.0f, 0.0f);
    expectRows(toWindAxes(R, M), firstRow, 2 * tol, where);
  }
}

// ---------------------------------------------------------------------------
// The terrain line in wind axes

TEST(WindAxesLine, DirectionTwoSeventyKeepsTheFileValues) {
  const KestavLine k = readQuietly(kHillFile, 1);
  ASSERT_EQ(k.site.direction, 270.0f);
  const UpstreamLine w = windAxesLine(k, windAxesRotation(k.site.direction), 1);
  const Vector& Sp = w.Sp;
  for (int j = 0; j < k.nP; ++j) {
    EXPECT_FLOAT_EQ(w.dist[j], 100.0f * j) << "point " << j;
    EXPECT_NEAR(Sp[j], at(k.secondMatrices[1][j], 0, 2), 1e-7) << "point " << j;
  }
  for (int i = 0; i < k.nH; ++i) {
    EXPECT_NEAR(w.S[i], at(k.secondMatrices[i][0], 0, 2), 1e-7) << "height " << i;
    for (int j = 0; j < k.nP; ++j) {
      EXPECT_NEAR(w.U[i][j], k.wind[i][j].x, 1e-5) << i << " " << j;
      EXPECT_NEAR(w.Su[i][j], at(k.firstMatrices[i][j], 0, 0), 1e-8) << i << " " << j;
      EXPECT_NEAR(w.Sv[i][j], at(k.firstMatrices[i][j], 1, 1), 1e-8) << i << " " << j;
    }
  }
}

namespace {

struct LineItem {
  float x, y, a, height;
  M3 wind;  // row 0 only
  M3 first, second;
};

std::string g9(LD v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.9g", double(float(v)));
  return buf;
}

std::string matText(const M3& m) {
  std::string s = "(";
  for (int i = 0; i < 3; ++i)
    s += std::string(i ? "," : "") + "(" + g9(m.a[i][0]) + "," + g9(m.a[i][1]) + "," +
         g9(m.a[i][2]) + ")";
  return s + ")";
}

// Writes a terrain line of nH rows and nP points, the file's axes turned by Q
// (new = Q old) relative to the axes of the values given.
void writeTurnedLine(const fs::path& path, float direction, const std::vector<LineItem>& items,
                     int nP, const M3& Q) {
  std::ofstream out(path);
  out << "turned line\n0 0 " << g9(direction) << " 10 0.45 0.02\n x y a h wind first second\n";
  const M3 Qt = transposed(Q);
  for (std::size_t n = 0; n < items.size(); ++n) {
    const LineItem& it = items[n];
    const LD px = Q.a[0][0] * it.x + Q.a[0][1] * it.y, py = Q.a[1][0] * it.x + Q.a[1][1] * it.y;
    LD w[3];
    for (int r = 0; r < 3; ++r)
      w[r] = Q.a[r][0] * it.wind.a[0][0] + Q.a[r][1] * it.wind.a[0][1] +
             Q.a[r][2] * it.wind.a[0][2];
    out << "(" << g9(px) << "," << g9(py) << ") " << g9(it.a) << " " << g9(it.height) << " ("
        << g9(w[0]) << "," << g9(w[1]) << "," << g9(w[2]) << ") "
        << matText(product(product(Q, it.first), Qt)) << " "
        << matText(product(product(Q, it.second), Qt));
    out << ((n + 1) % std::size_t(nP) == 0 && n + 1 < items.size() ? " end\n" : "\n");
  }
}

}  // namespace

TEST(WindAxesLine, SameFlowInTurnedFileAxesGivesTheSameArrays) {
  // A line of 4 points at 2 heights with non-symmetric matrices, written once
  // in wind axes (direction 270) and once in file axes turned for other
  // directions; the arrays in wind axes must agree.
  const int nH = 2, nP = 4;
  std::vector<LineItem> items;
  for (int i = 0; i < nH; ++i)
    for (int j = 0; j < nP; ++j) {
      LineItem it{};
      it.x = 70.0f * j + 5.0f * j * j;
      it.y = 0.0f;
      it.a = 0.1f * j;
      it.height = 15.0f + 30.0f * i;
      it.wind.a[0][0] = 8.5L + 0.3L * i + 0.2L * j;
      it.wind.a[0][1] = 0.4L - 0.1L * j;
      it.wind.a[0][2] = 0.05L * j;
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
          it.first.a[r][c] = 0.01L * sinl(1.3L * r + 0.7L * c + 0.5L * i + 0.9L * j + 0.1L);
          it.second.a[r][c] = 0.02L * cosl(0.4L * r - 1.1L * c + 0.3L * i + 0.6L * j);
        }
      items.push_back(it);
    }
  const fs::path dir = freshDir("turned");
  const M3 identity{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  writeTurnedLine(dir / "wind_axes.dat", 270.0f, items, nP, identity);
  const KestavLine ref = readQuietly((dir / "wind_axes.dat").string(), 1);
  const UpstreamLine a = windAxesLine(ref, windAxesRotation(270.0f), 1);
  const Vector& SpA = a.Sp;

  for (float direction : {0.0f, 180.0f, 200.0f, 33.3f}) {
    const std::string name = "turned_" + std::to_string(int(direction)) + ".dat";
    // The file's axes are the wind axes turned back: Q = R(direction)^T.
    writeTurnedLine(dir / name, direction, items, nP, rotZ(fileAngle(direction)));
    const KestavLine k = readQuietly((dir / name).string(), 1);
    const Mat3 R = windAxesRotation(direction);
    const UpstreamLine b = windAxesLine(k, R, 1);
    const Vector& SpB = b.Sp;
    const std::string where = "direction " + std::to_string(direction);
    for (int j = 0; j < nP; ++j) {
      EXPECT_NEAR(b.dist[j], a.dist[j], 1e-4) << where << " point " << j;
      EXPECT_NEAR(SpB[j], SpA[j], 1e-7) << where << " point " << j;
    }
    for (int i = 0; i < nH; ++i) {
      EXPECT_NEAR(b.S[i], a.S[i], 1e-7) << where << " height " << i;
      for (int j = 0; j < nP; ++j) {
        EXPECT_NEAR(b.U[i][j], a.U[i][j], 1e-5) << where << " " << i << " " << j;
        EXPECT_NEAR(b.Su[i][j], a.Su[i][j], 1e-8) << where << " " << i << " " << j;
        EXPECT_NEAR(b.Sv[i][j], a.Sv[i][j], 1e-8) << where << " " << i << " " << j;
      }
    }
  }
}
