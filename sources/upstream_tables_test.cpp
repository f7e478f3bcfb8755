#include "sources/upstream_tables.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "tensor/lifetime.hpp"
#include "tests/support.hpp"

using namespace wind;

namespace {

constexpr float kKappa = 0.4000000059604645f;

Vector makeVector(const std::vector<float>& values) {
  Vector v = vector(0, static_cast<int>(values.size()) - 1);
  for (int i = 0; i < static_cast<int>(values.size()); ++i) v[i] = values[std::size_t(i)];
  return v;
}

// Evenly spaced distances 0, step, 2 step, ...
Vector line(int nP, float step) {
  Vector d = vector(0, nP - 1);
  for (int j = 0; j < nP; ++j) d[j] = static_cast<float>(j * double(step));
  return d;
}

Matrix filled(int nH, int nP, float value) {
  Matrix m = matrix(0, nH - 1, 0, nP - 1);
  for (int i = 0; i < nH; ++i)
    for (int j = 0; j < nP; ++j) m[i][j] = value;
  return m;
}

Vector copyOf(const Vector& v) {
  Vector c = vector(v.lo(), v.hi());
  for (int i = v.lo(); i <= v.hi(); ++i) c[i] = v[i];
  return c;
}
Matrix copyOf(const Matrix& m) {
  Matrix c = matrix(m.rowLo(), m.rowHi(), m.colLo(), m.colHi());
  for (int i = m.rowLo(); i <= m.rowHi(); ++i)
    for (int j = m.colLo(); j <= m.colHi(); ++j) c[i][j] = m[i][j];
  return c;
}

// The line of the roughness builder: nP points at dist with the shear Sp.
UpstreamLine roughnessLine(int nP, const Vector& dist, const Vector& Sp) {
  UpstreamLine l;
  l.nP = nP;
  l.dist = copyOf(dist);
  l.Sp = copyOf(Sp);
  return l;
}

}  // namespace

// ---------------------------------------------------------------- profileInterp

TEST(ProfileInterp, InsideAndBelow) {
  const Vector z = makeVector({10, 20, 40});
  const Vector y = makeVector({1.0f, 2.0f, 2.5f});
  EXPECT_EQ(profileInterp(z, y, 2.385f, false), 1.0f);
  EXPECT_EQ(profileInterp(z, y, 10.0f, true), 1.0f);
  EXPECT_EQ(profileInterp(z, y, 20.0f, false), 2.0f);
  EXPECT_EQ(profileInterp(z, y, 40.0f, true), 2.5f);
  EXPECT_EQ(profileInterp(z, y, 15.0f, false), 1.5f);
  EXPECT_EQ(profileInterp(z, y, 30.0f, true), 2.25f);
}

TEST(ProfileInterp, AboveTheTop) {
  const Vector z = makeVector({10, 20, 40});
  const Vector y = makeVector({1.0f, 2.0f, 2.5f});
  EXPECT_EQ(profileInterp(z, y, 100.0f, false), 2.5f);
  // Slope 0.025 per m over the top interval: e-folding height 2.5 / 0.025 = 100 m.
  EXPECT_FLOAT_EQ(profileInterp(z, y, 90.0f, true), static_cast<float>(2.5 * std::exp(-0.5)));
  // A falling top decays the same way (|s / y|).
  const Vector yf = makeVector({3.0f, 2.0f, -1.0f});
  EXPECT_FLOAT_EQ(profileInterp(z, yf, 60.0f, true), static_cast<float>(-std::exp(-3.0)));
  // A zero top value stays zero.
  const Vector y0 = makeVector({3.0f, 2.0f, 0.0f});
  EXPECT_EQ(profileInterp(z, y0, 60.0f, true), 0.0f);
  // One height: no slope to decay with.
  EXPECT_EQ(profileInterp(makeVector({10}), makeVector({4.5f}), 60.0f, true), 4.5f);
}

// --------------------------------------------------------------- splineIntegral

TEST(SplineIntegral, ExactForCubics) {
  // y = x^3 - 2 x on uneven knots, exact second derivatives 6x: the spline is
  // the cubic itself, integral x^4/4 - x^2 from 0.5 to 3.
  const Vector x = makeVector({0.5f, 0.75f, 1.5f, 2.0f, 3.0f});
  Vector y = vector(0, 4), y2 = vector(0, 4);
  for (int j = 0; j < 5; ++j) {
    y[j] = x[j] * x[j] * x[j] - 2 * x[j];
    y2[j] = 6 * x[j];
  }
  const double ref = (81.0 / 4 - 9) - (0.0625 / 4 - 0.25);
  EXPECT_NEAR(splineIntegral(x, y, y2), ref, 1e-5 * ref);
  EXPECT_NEAR(splineIntegral(x, y, y2, 2.5f), ref / 2.5, 1e-5 * ref);
  EXPECT_EQ(splineIntegral(x.span().first(1), y, y2), 0.0f);
}

// ----------------------------------------------------------- buildRoughnessTable

namespace {

// Weighted-mean level for (S0 + Sp(x))^2 = c0 + c1 x on [0, D] plus the tail:
// (kappa z)^(4/3) (c0 + c1 lambda (1 - exp(-D / lambda))).
long double linearLevel(long double kz43, long double c0, long double c1, long double lambda,
                        long double D) {
  return kz43 * (c0 + c1 * lambda * (1 - std::exp(-D / lambda)));
}

}  // namespace

TEST(RoughnessTable, ConstantShearReproducesLocalLevel) {
  const float z = 40, U0 = 10, S0 = 0.036f, Gamma = 3.9f;
  const int nP = 401;
  const Vector dist = line(nP, 25.0f);
  for (float sp : {0.0213f, -3 * S0}) {  // the second makes S0 + Sp negative
    Vector Sp = vector(0, nP - 1);
    for (int j = 0; j < nP; ++j) Sp[j] = sp;
    UpstreamTables t;
    buildRoughnessTable(t, z, U0, S0, Gamma, roughnessLine(nP, dist, Sp));
    ASSERT_TRUE(t.hasRoughness);
    EXPECT_FALSE(t.hasStretch);
    const long double level =
        std::pow((long double)kKappa * z, 4.0L / 3) * std::pow((long double)S0 + sp, 2);
    for (int i = 0; i < kKLGridSize; ++i) {
      EXPECT_EQ(t.kL[i], kLGrid(i));
      EXPECT_NEAR(double(t.energy[i] / level), 1.0, 2e-5) << "i = " << i << ", Sp = " << sp;
    }
    // The lookup reads 1.7 times the table, inside the grid and beyond both ends.
    for (float kL : {1e-4f, 1.0f, 1e3f})
      EXPECT_NEAR(double(roughnessAlphaeps(t, kL) / (1.7L * level)), 1.0, 2e-5)
          << "kL = " << kL << ", Sp = " << sp;
  }
}

TEST(RoughnessTable, WeightsTheUpstreamLine) {
  // (S0 + Sp)^2 rising linearly along the line: long memories see more of it.
  const float z = 40, U0 = 10, S0 = 0.036f, Gamma = 3.9f;
  const int nP = 801;
  const float step = 50.0f;
  const Vector dist = line(nP, step);
  const long double c0 = (long double)S0 * S0 * 4, c1 = c0 / 2000;
  Vector Sp = vector(0, nP - 1);
  for (int j = 0; j < nP; ++j) Sp[j] = static_cast<float>(std::sqrt(c0 + c1 * dist[j]) - S0);
  UpstreamTables t;
  buildRoughnessTable(t, z, U0, S0, Gamma, roughnessLine(nP, dist, Sp));
  const long double kz43 = std::pow((long double)kKappa * z, 4.0L / 3);
  int longMemories = 0;
  for (int i = 0; i < kKLGridSize; ++i) {
    const long double lambda = lifeTime(kLGrid(i)) * U0 * Gamma / S0;
    if (lambda <= 5 * step) {
      EXPECT_NEAR(double(t.energy[i] / (kz43 * c0)), 1.0, 1e-6) << "i = " << i;
    } else {
      ++longMemories;
      const long double ref = linearLevel(kz43, c0, c1, lambda, dist[nP - 1]);
      EXPECT_NEAR(double(t.energy[i] / ref), 1.0, 1e-3) << "i = " << i << ", lambda " << double(lambda);
    }
  }
  EXPECT_GT(longMemories, 20);
  EXPECT_LT(longMemories, 90);
}

TEST(RoughnessTable, ShortMemoryKeepsLocalLevel) {
  // First spacing far beyond every memory length: only Sp[0] counts.
  const float z = 25, U0 = 8, S0 = 0.05f, Gamma = 3.2f;
  const Vector dist = makeVector({0, 1e6f, 3e6f});
  const Vector Sp = makeVector({0.015f, 5.0f, -7.0f});
  UpstreamTables t;
  buildRoughnessTable(t, z, U0, S0, Gamma, roughnessLine(3, dist, Sp));
  const float level = static_cast<float>(std::pow((long double)kKappa * z, 4.0L / 3) *
                                         std::pow((long double)S0 + 0.015f, 2));
  for (int i = 0; i < kKLGridSize; ++i) EXPECT_FLOAT_EQ(t.energy[i], level) << "i = " << i;
}

TEST(RoughnessTable, MemoryOfExactlyFiveSpacingsIsShort) {
  // At lambda = 5 dist[1] the local level alone is kept, with no tail term
  // from the far end of the line.
  const float z = 25, U0 = 8, S0 = 0.05f, Gamma = 3.2f;
  int found = -1;
  float spacing = 0;
  for (int i = 0; i < kKLGridSize && found < 0; ++i) {
    const float lambda = static_cast<float>(lifeTime(kLGrid(i)) * U0 * Gamma / S0);
    const float d1 = lambda / 5;
    if (5.0 * d1 == lambda) {
      found = i;
      spacing = d1;
    }
  }
  ASSERT_GE(found, 0);
  const Vector dist = makeVector({0, spacing, 2 * spacing});
  const Vector Sp = makeVector({0.01f, 0.01f, 2.0f});
  UpstreamTables t;
  buildRoughnessTable(t, z, U0, S0, Gamma, roughnessLine(3, dist, Sp));
  const float level = static_cast<float>(std::pow((long double)kKappa * z, 4.0L / 3) *
                                         std::pow((long double)S0 + 0.01f, 2));
  EXPECT_FLOAT_EQ(t.energy[found], level) << "i = " << found;
}

// ----------------------------------------------------------- buildStretchTables

namespace {

struct StretchCase {
  int nP = 601, nH = 3;
  float step = 40.0f;
  float ustar = 0.5f, z0 = 0.05f;
  Vector heights = makeVector({10, 40, 80});
  int h = 1;
  float u = 9.0f;     // along-wind speed everywhere
  float S = 0.2f;     // extra shear at every height
  Vector dist;
  Matrix U, Su, Sv;

  StretchCase() {
    dist = line(nP, step);
    U = filled(nH, nP, u);
    Su = filled(nH, nP, 0.0f);
    Sv = filled(nH, nP, 0.0f);
  }

  UpstreamTables build(float Gamma) {
    Vector s = vector(0, nH - 1);
    for (int i = 0; i < nH; ++i) s[i] = S;
    const UpstreamLine l{.nP = nP,
                         .nH = nH,
                         .h = h,
                         .dist = copyOf(dist),
                         .heights = copyOf(heights),
                         .U = copyOf(U),
                         .Su = copyOf(Su),
                         .Sv = copyOf(Sv),
                         .S = std::move(s),
                         .Sp = {}};
    UpstreamTables t;
    buildStretchTables(t, z0, ustar, Gamma, l);
    return t;
  }

  // Memory length u T and the log-profile memory length at kL_i.
  long double memory(int i, float Gamma, long double speed) const {
    const long double zk = heights[h];
    const long double shear = S + ustar / ((long double)kKappa * zk);
    return speed * (long double)static_cast<float>(lifeTime(kLGrid(i)) * Gamma) / shear;
  }
  long double logSpeed() const {
    return ustar / (long double)kKappa * std::log((long double)heights[h] / z0);
  }
};

}  // namespace

TEST(StretchTables, NoStrainGivesUnitFactors) {
  StretchCase c;
  const UpstreamTables t = c.build(3.9f);
  ASSERT_TRUE(t.hasStretch);
  EXPECT_FALSE(t.hasRoughness);
  for (int i = 0; i < kKLGridSize; ++i) {
    EXPECT_EQ(t.strain[0][i], 0.0f);
    EXPECT_EQ(t.strain[1][i], 0.0f);
  }
  for (float kl : {0.0f, 0.004f, 0.2385f, 7.0f, 100.0f, 1e5f}) {
    EXPECT_EQ(stretchFactor(t, kl, 0), 1.0f) << "kL = " << kl;
    EXPECT_EQ(stretchFactor(t, kl, 1), 1.0f) << "kL = " << kl;
  }
}

TEST(StretchTables, SingleHeightReadsItsRow) {
  StretchCase c;
  c.nH = 1;
  c.h = 0;
  c.heights = makeVector({40});
  c.U = filled(1, c.nP, c.u);
  c.Su = filled(1, c.nP, 0.0f);
  c.Sv = filled(1, c.nP, 0.0f);
  const UpstreamTables t = c.build(3.9f);
  EXPECT_EQ(stretchFactor(t, 0.01f, 0), 1.0f);
}

TEST(StretchTables, IntegratesStrainOverMemory) {
  // Strain per unit speed linear along the line, Su / U = f0 + f' x (and
  // Sv / U = -(g0 + g' x)). Long memories hold
  // int_0^D (f0 + f' x) exp(-x / (u T)) dx; short ones (log-profile memory
  // length up to a quarter of the first spacing) hold u T (f0 + f'), the
  // memory length times the site value raised by the gradient per metre.
  StretchCase c;
  const double f0 = 1e-5, fp = 1e-8, g0 = 5e-6, gp = 2e-9;
  for (int i = 0; i < c.nH; ++i)
    for (int j = 0; j < c.nP; ++j) {
      c.Su[i][j] = static_cast<float>(c.u * (f0 + fp * c.dist[j]));
      c.Sv[i][j] = static_cast<float>(-c.u * (g0 + gp * c.dist[j]));
    }
  const float Gamma = 3.9f;
  const UpstreamTables t = c.build(Gamma);
  const long double D = c.dist[c.nP - 1];
  auto exact = [D](long double a0, long double ap, long double ell) {
    const long double e = std::exp(-D / ell);
    return a0 * ell * (1 - e) + ap * (ell * ell * (1 - e) - ell * D * e);
  };
  int shortCount = 0, longCount = 0;
  for (int i = 0; i < kKLGridSize; ++i) {
    const long double ell = c.memory(i, Gamma, c.u);
    const long double ellLog = c.memory(i, Gamma, c.logSpeed());
    long double ref0, ref1;
    double tol;
    if (ellLog <= 0.25L * c.step) {
      ++shortCount;
      ref0 = ell * (f0 + fp);
      ref1 = -ell * (g0 + gp);
      tol = 2e-6;
    } else if (ell >= 10 * c.step) {
      ++longCount;
      ref0 = exact(f0, fp, ell);
      ref1 = -exact(g0, gp, ell);
      tol = 5e-4;  // spline quadrature, well resolved
    } else {
      continue;
    }
    EXPECT_NEAR(double(t.strain[0][i] / ref0), 1.0, tol) << "i = " << i << ", uT " << double(ell);
    EXPECT_NEAR(double(t.strain[1][i] / ref1), 1.0, tol) << "i = " << i << ", uT " << double(ell);
    EXPECT_NEAR(double(stretchFactor(t, kLGrid(i), 0) / std::exp(ref0)), 1.0,
                tol * std::fabs(double(ref0)) + 1e-6);
  }
  EXPECT_GT(shortCount, 5);
  EXPECT_GT(longCount, 5);
}

TEST(UpstreamTables, BadLinesAreFatal) {
  using wind::testing::fatalMessage;
  StretchCase c;
  UpstreamTables t;
  const Vector Sp = makeVector({0.01f, 0.01f, 0.01f});
  EXPECT_EQ(fatalMessage([&] {
              buildRoughnessTable(t, 40, 10, 0.03f, 3.9f, roughnessLine(1, makeVector({0}), Sp));
            }),
            "upstream tables need at least two points along the terrain line");
  EXPECT_EQ(fatalMessage([&] {
              buildRoughnessTable(t, 40, 10, 0.03f, 3.9f,
                                  roughnessLine(3, makeVector({0, 20, 20}), Sp));
            }),
            "distances along the terrain line must rise strictly");
  c.h = 3;
  EXPECT_EQ(fatalMessage([&] { c.build(3.9f); }),
            "KESTAVHeightNo is outside the heights of the terrain file");
  c.h = 1;
  c.U[1][17] = 0.0f;
  EXPECT_EQ(fatalMessage([&] { c.build(3.9f); }),
            "along-wind speed must be positive at every point of the terrain line");
}
