#include "sources/site_params.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "numerics/interpolation.hpp"
#include "sources/esdu_tables.hpp"
#include "tests/support.hpp"

using namespace wind;
using ::testing::ExitedWithCode;
using wind::testing::fatalReport;

namespace {

using Params = ModelParameters;

// No model parameters: what a non-zero status comes with.
bool unset(const Params& p) { return p.Gamma == 0.0f && p.L == 0.0f && p.alphaeps == 0.0f; }

// The status of a raw routine, its parameters in p.
int statusOf(const SiteParamsResult& r, Params& p) {
  p = r.params;
  return r.status;
}
int land(float U, float z, float z0, int spec, Params& p) {
  return statusOf(landParams(U, z, z0, spec), p);
}
int sea(float U, float z, int spec, Params& p) { return statusOf(seaParams(U, z, spec), p); }
int esduLand(float U, float z, float z0, const EsduLandTable& table, Params& p) {
  return statusOf(detail::esduParams(U, z, z0, false, table), p);
}

// The wind profile (u*/0.4)(ln(z/z0) + 34.5e-4 z/u*) in long double.
long double profile(long double ustar, long double z, long double z0) {
  return ustar / 0.4L * (std::log(z / z0) + 34.5e-4L * z / ustar);
}
long double charnock(long double ustar) { return 0.01667L * ustar * ustar / 9.81L; }

}  // namespace

TEST(SiteParams, ProfileFactorAndSeaRoughness) {
  const long double expect = (std::log(40.0L / 0.05L) + 34.5L * 1e-4L * 40.0L / 0.5L) / 0.4L;
  EXPECT_NEAR(profileFactor(1e-4f, 40, 0.05f, 0.5f), static_cast<double>(expect), 1e-5);
  EXPECT_EQ(seaRoughness(0.0f), 0.0f);
  EXPECT_NEAR(seaRoughness(0.3115f), 0.000165, 5e-7);
}

TEST(SiteParams, WorkedLandSite) {
  EXPECT_NEAR(frictionVelocityLand(kCoriolisParameter, 10, 40, 0.05f), 0.5777, 5e-5);
  Params k, s;
  ASSERT_EQ(land(10, 40, 0.05f, 0, k), 0);
  EXPECT_EQ(k.Gamma, 3.886f);
  EXPECT_NEAR(k.L, 23.62, 5e-3);
  EXPECT_NEAR(k.alphaeps, 0.09068, 5e-6);
  ASSERT_EQ(land(10, 40, 0.05f, 1, s), 0);
  EXPECT_EQ(s.Gamma, 3.817f);
  EXPECT_NEAR(s.L, 31.47, 5e-3);
  EXPECT_NEAR(s.alphaeps, 0.08050, 5e-6);
}

TEST(SiteParams, WorkedSeaSite) {
  const float ustar = frictionVelocitySea(kCoriolisParameter, 10, 40);
  EXPECT_NEAR(ustar, 0.3115, 5e-5);
  EXPECT_NEAR(seaRoughness(ustar), 0.000165, 5e-7);
  Params p;
  ASSERT_EQ(sea(10, 40, 0, p), 0);
  EXPECT_NEAR(p.alphaeps, 0.02636, 5e-6);
}

TEST(SiteParams, FrictionVelocitySolvesTheProfile) {
  // Residual of the returned u*, recomputed in long double; the secant step
  // tolerance 1e-6 m/s moves U by at most about ln(z/z0)/0.4 * 1e-6.
  for (float U : {4.5f, 10.0f, 23.85f, 60.0f})
    for (float z : {2.0f, 10.0f, 40.0f, 150.0f})
      for (float z0 : {0.0002f, 0.05f, 0.7f}) {
        const long double us = frictionVelocityLand(kCoriolisParameter, U, z, z0);
        const long double slope = std::log(static_cast<long double>(z) / z0) / 0.4L;
        EXPECT_NEAR(static_cast<double>(profile(us, z, z0)), U,
                    static_cast<double>(2e-6L * slope + 1e-5L))
            << "land U = " << U << ", z = " << z << ", z0 = " << z0;
      }
  for (float U : {4.5f, 10.0f, 23.85f, 60.0f})
    for (float z : {2.0f, 10.0f, 40.0f, 150.0f}) {
      const long double us = frictionVelocitySea(kCoriolisParameter, U, z);
      const long double slope = (std::log(z / charnock(us)) - 2) / 0.4L;
      EXPECT_NEAR(static_cast<double>(profile(us, z, charnock(us))), U,
                  static_cast<double>(2e-6L * slope + 1e-5L))
          << "sea U = " << U << ", z = " << z;
    }
}

TEST(SiteParams, SecantStartsFromTheLogLawEstimate) {
  // The iteration starts at 0.6 and 1.6 times 0.4 U / ln(1000 z), with the
  // double 0.4: recomputed here in long double and rounded to float. The sea
  // site is one where the float von Karman constant would start one ulp away
  // and end on a different u*.
  struct Site {
    float U, z, z0;
    bool sea;
  };
  for (const Site& s : {Site{58.5922661f, 30.6386547f, 0.0f, true}, Site{10.0f, 40.0f, 0.0f, true},
                        Site{10.0f, 40.0f, 0.05f, false}, Site{23.85f, 7.5f, 0.3f, false}}) {
    const long double est = 0.4L * s.U / std::log(1000.0L * s.z);
    const float x1 = static_cast<float>(0.6L * est), x2 = static_cast<float>(1.6L * est);
    const float want =
        s.sea ? rtsec([&](float us) { return seaProfileResidual(kCoriolisParameter, s.U, s.z, us); },
                      x1, x2, 1e-6f)
              : rtsec([&](float us) {
                  return landProfileResidual(kCoriolisParameter, s.U, s.z, s.z0, us);
                },
                      x1, x2, 1e-6f);
    const float got = s.sea ? frictionVelocitySea(kCoriolisParameter, s.U, s.z)
                            : frictionVelocityLand(kCoriolisParameter, s.U, s.z, s.z0);
    EXPECT_EQ(got, want) << (s.sea ? "sea" : "land") << " U = " << s.U << ", z = " << s.z;
  }
}

TEST(SiteParams, KaimalAndSimiuClosedForms) {
  for (float z0 : {0.001f, 0.3f})
    for (float z : {8.0f, 65.0f}) {
      const float ustar = frictionVelocityLand(kCoriolisParameter, 17.5f, z, z0);
      const long double level = static_cast<long double>(ustar) * ustar *
                                std::pow(static_cast<long double>(z), -2.0L / 3.0L);
      Params k, s;
      ASSERT_EQ(land(17.5f, z, z0, 0, k), 0);
      ASSERT_EQ(land(17.5f, z, z0, 1, s), 0);
      EXPECT_EQ(k.Gamma, 3.886f);
      EXPECT_EQ(s.Gamma, 3.817f);
      EXPECT_FLOAT_EQ(k.L, static_cast<float>(0.590467L * z));
      EXPECT_FLOAT_EQ(s.L, static_cast<float>(0.78677L * z));
      EXPECT_FLOAT_EQ(k.alphaeps, static_cast<float>(3.1776L * level));
      EXPECT_FLOAT_EQ(s.alphaeps, static_cast<float>(2.8209L * level));
    }
}

TEST(SiteParams, StatusCodesAtTheTableBoundaries) {
  struct Case {
    float U, z;
    int status;
  };
  const Case cases[] = {{10, 200, 1}, {5, 200, 1},    {14.9f, 181, 1}, {15, 300, 0}, {10, 180, 0},
                        {9.9f, 40, 2}, {80.1f, 40, 2}, {80, 40, 0},     {10, 5, 0},   {40, 4, 3},
                        {40, 301, 3},  {40, 5, 0},     {40, 300, 0},    {80, 300, 0}};
  for (const Case& c : cases) {
    Params p;
    EXPECT_EQ(sea(c.U, c.z, 2, p), c.status) << "U = " << c.U << ", z = " << c.z;
    EXPECT_EQ(unset(p), c.status != 0) << "U = " << c.U << ", z = " << c.z;
    // The land path applies the same tests, whatever its roughness.
    for (float z0 : {0.0001f, 0.01f, 1.0f}) {
      Params q;
      EXPECT_EQ(land(c.U, c.z, z0, 2, q), c.status)
          << "U = " << c.U << ", z = " << c.z << ", z0 = " << z0;
      EXPECT_EQ(unset(q), c.status != 0)
          << "U = " << c.U << ", z = " << c.z << ", z0 = " << z0;
    }
  }
  Params p;
  EXPECT_EQ(land(40, 40, 0.00005f, 2, p), 4);
  EXPECT_EQ(land(40, 40, 1.5f, 2, p), 4);
  EXPECT_EQ(land(9, 40, 1.5f, 2, p), 2);  // speed tested before roughness
  EXPECT_EQ(land(40, 40, 0.5f, 3, p), 5);
  EXPECT_EQ(sea(40, 40, -1, p), 5);
  EXPECT_TRUE(unset(p));
}

TEST(EsduTables, TranscribedValuesInStorageOrder) {
  // [speed][height] = (alphaeps, Gamma, L)
  EXPECT_EQ(esduSeaTable[0][0], (EsduRecord{0.0964774, 4.54289, 13.2962}));
  EXPECT_EQ(esduSeaTable[5][4], (EsduRecord{0.616065, 4.54044, 65.7599}));
  EXPECT_EQ(esduSeaTable[9][8], (EsduRecord{0.853246, 4.4489, 165.815}));
  EXPECT_EQ(esduSeaTable[1][8], (EsduRecord{0.0100107, 0.999991, 53.5427}));
  // Reference records of the land table, [speed][height][roughness].
  EXPECT_EQ(esduLandTable[0][0][0], (EsduRecord{0.0812222, 4.55775, 13.1324}));
  EXPECT_EQ(esduLandTable[0][0][8], (EsduRecord{4.6744, 4.53179, 3.07123}));
  EXPECT_EQ(esduLandTable[0][1][4], (EsduRecord{0.151712, 4.55159, 16.8962}));
  EXPECT_EQ(esduLandTable[0][8][2], (EsduRecord{0.00206674, 0.561167, 33.2091}));
  EXPECT_EQ(esduLandTable[0][8][8], (EsduRecord{0.0278345, 2.09195, 185.494}));
  EXPECT_EQ(esduLandTable[5][4][0], (EsduRecord{0.376761, 4.54215, 44.0608}));
  EXPECT_EQ(esduLandTable[5][4][4], (EsduRecord{0.69628, 4.53369, 67.4848}));
  EXPECT_EQ(esduLandTable[5][4][8], (EsduRecord{3.55772, 4.52675, 45.5123}));
}

TEST(EsduSea, NodesReproduceTheTable) {
  Params p;
  ASSERT_EQ(sea(40, 40, 2, p), 0);
  EXPECT_FLOAT_EQ(p.alphaeps, 0.616065f);
  EXPECT_FLOAT_EQ(p.Gamma, 4.54044f);
  EXPECT_FLOAT_EQ(p.L, 65.7599f);
  for (int u = 0; u < kEsduSpeeds; ++u)
    for (int h = 0; h < kEsduHeights; ++h) {
      const float U = esduSpeedGrid[static_cast<std::size_t>(u)];
      const float z = esduHeightGrid[static_cast<std::size_t>(h)];
      if (U < 15 && z > 180) continue;
      const EsduRecord& r = esduSeaTable[static_cast<std::size_t>(u)][static_cast<std::size_t>(h)];
      ASSERT_EQ(sea(U, z, 2, p), 0);
      EXPECT_NEAR(p.alphaeps, r[0], 4e-7 * r[0]) << "U = " << U << ", z = " << z;
      EXPECT_NEAR(p.Gamma, r[1], 4e-7 * r[1]) << "U = " << U << ", z = " << z;
      EXPECT_NEAR(p.L, r[2], 4e-7 * r[2]) << "U = " << U << ", z = " << z;
    }
}

namespace {

// A land table that is bilinear in (z, U) for each roughness and component:
// the clamped differences are then exact and the bicubic patch reproduces it.
struct BilinearLand {
  static double coef(int r, int c, int k) { return 0.25 * (1 + r) + 0.5 * c + 0.125 * k * (r + 1); }
  static double value(int r, int c, double U, double z) {
    return coef(r, c, 0) + coef(r, c, 1) * z * 0.01 + coef(r, c, 2) * U * 0.02 +
           coef(r, c, 3) * z * U * 1e-4;
  }
  EsduLandTable table{};
  BilinearLand() {
    for (int u = 0; u < kEsduSpeeds; ++u)
      for (int h = 0; h < kEsduHeights; ++h)
        for (int r = 0; r < kEsduRoughnesses; ++r)
          for (int c = 0; c < 3; ++c)
            table[static_cast<std::size_t>(u)][static_cast<std::size_t>(h)]
                 [static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] =
                value(r, c, esduSpeedGrid[static_cast<std::size_t>(u)],
                      esduHeightGrid[static_cast<std::size_t>(h)]);
  }
};

const BilinearLand& bilinearLand() {
  static const BilinearLand t;
  return t;
}

}  // namespace

TEST(EsduLand, InterpolatesInHeightSpeedAndRoughness) {
  const auto& T = bilinearLand();
  const auto& R = esduRoughnessGrid;
  struct Case {
    float U, z, z0;
  };
  for (const Case& s : {Case{23.85f, 33.0f, 0.0042f}, Case{10, 5, 0.0001f}, Case{80, 300, 1},
                        Case{61.5f, 7.5f, 0.45f}, Case{15, 250, 0.02f}}) {
    const int r = tableLocate(esduRoughnessGrid, s.z0) - 1;
    const double rLo = R[static_cast<std::size_t>(r)], rHi = R[static_cast<std::size_t>(r + 1)];
    double expect[3];
    for (int c = 0; c < 3; ++c)
      expect[c] = ((rHi - s.z0) * BilinearLand::value(r, c, s.U, s.z) +
                   (s.z0 - rLo) * BilinearLand::value(r + 1, c, s.U, s.z)) /
                  (rHi - rLo);
    Params p;
    ASSERT_EQ(esduLand(s.U, s.z, s.z0, T.table, p), 0);
    const auto where = ::testing::Message()
                       << "U = " << s.U << ", z = " << s.z << ", z0 = " << s.z0;
    EXPECT_NEAR(p.alphaeps, expect[0], 2e-6 * std::fabs(expect[0])) << where;
    EXPECT_NEAR(p.Gamma, expect[1], 2e-6 * std::fabs(expect[1])) << where;
    EXPECT_NEAR(p.L, expect[2], 2e-6 * std::fabs(expect[2])) << where;
  }
}

TEST(EsduLand, MidRoughnessIsTheMeanOfItsNeighbours) {
  // Sea records scaled per roughness: halfway between two roughness lengths
  // each output is the mean of the two roughness slices.
  static EsduLandTable T{};
  for (std::size_t u = 0; u < 10; ++u)
    for (std::size_t h = 0; h < 9; ++h)
      for (std::size_t r = 0; r < 9; ++r)
        for (std::size_t c = 0; c < 3; ++c)
          T[u][h][r][c] = esduSeaTable[u][h][c] * (1.0 + 0.375 * static_cast<double>(r));
  Params sea40;
  ASSERT_EQ(sea(37.5f, 21.0f, 2, sea40), 0);
  const float z0 = 0.5f * (0.01f + 0.03f);
  Params p;
  ASSERT_EQ(esduLand(37.5f, 21.0f, z0, T, p), 0);
  const double mean = 0.5 * ((1 + 0.375 * 4) + (1 + 0.375 * 5));
  EXPECT_NEAR(p.alphaeps, sea40.alphaeps * mean, 1e-5 * sea40.alphaeps * mean);
  EXPECT_NEAR(p.Gamma, sea40.Gamma * mean, 1e-5 * sea40.Gamma * mean);
  EXPECT_NEAR(p.L, sea40.L * mean, 1e-5 * sea40.L * mean);
  // On a grid roughness and a grid node, the record of that node.
  ASSERT_EQ(esduLand(40, 40, 0.03f, T, p), 0);
  EXPECT_FLOAT_EQ(p.alphaeps, static_cast<float>(T[5][4][5][0]));
  EXPECT_FLOAT_EQ(p.Gamma, static_cast<float>(T[5][4][5][1]));
  EXPECT_FLOAT_EQ(p.L, static_cast<float>(T[5][4][5][2]));
}

TEST(EsduLand, ReferenceRecordsAtTheirNodes) {
  EXPECT_TRUE(esduLandTableAvailable());
  struct Case {
    float U, z, z0, alphaeps, Gamma, L;
  };
  for (const Case& c : {Case{10, 5, 0.0001f, 0.0812222f, 4.55775f, 13.1324f},
                        Case{10, 5, 1, 4.6744f, 4.53179f, 3.07123f},
                        Case{10, 10, 0.01f, 0.151712f, 4.55159f, 16.8962f},
                        Case{40, 40, 0.0001f, 0.376761f, 4.54215f, 44.0608f},
                        Case{40, 40, 0.01f, 0.69628f, 4.53369f, 67.4848f},
                        Case{40, 40, 1, 3.55772f, 4.52675f, 45.5123f}}) {
    Params p;
    ASSERT_EQ(land(c.U, c.z, c.z0, 2, p), 0);
    EXPECT_NEAR(p.alphaeps, c.alphaeps, 1e-6 * c.alphaeps) << c.U << " " << c.z << " " << c.z0;
    EXPECT_NEAR(p.Gamma, c.Gamma, 1e-6 * c.Gamma) << c.U << " " << c.z << " " << c.z0;
    EXPECT_NEAR(p.L, c.L, 1e-6 * c.L) << c.U << " " << c.z << " " << c.z0;
  }
  // The two records at U = 10 m/s, z = 300 m lie where the table gives no
  // result; they enter only the derivatives of the neighbouring cells.
  Params p;
  EXPECT_EQ(land(10, 300, 0.001f, 2, p), 1);
  EXPECT_EQ(land(10, 300, 1, 2, p), 1);
  EXPECT_TRUE(unset(p));
}

TEST(EsduLand, EveryNodeGivesItsRecord) {
  // The bicubic patch reproduces its corners; the z0 weights are 1 and 0 on a
  // grid roughness. Every record is a usable model: positive and finite.
  for (int u = 0; u < kEsduSpeeds; ++u)
    for (int h = 0; h < kEsduHeights; ++h)
      for (int r = 0; r < kEsduRoughnesses; ++r) {
        const float U = esduSpeedGrid[static_cast<std::size_t>(u)];
        const float z = esduHeightGrid[static_cast<std::size_t>(h)];
        const float z0 = esduRoughnessGrid[static_cast<std::size_t>(r)];
        const EsduRecord& rec = esduLandTable[static_cast<std::size_t>(u)]
                                             [static_cast<std::size_t>(h)]
                                             [static_cast<std::size_t>(r)];
        const auto where = ::testing::Message() << "U = " << U << ", z = " << z << ", z0 = " << z0;
        for (double v : rec) EXPECT_TRUE(std::isfinite(v) && v > 0) << where;
        Params p;
        const int status = land(U, z, z0, 2, p);
        if (U < 15 && z > 180) {
          EXPECT_EQ(status, 1) << where;
          continue;
        }
        ASSERT_EQ(status, 0) << where;
        EXPECT_NEAR(p.alphaeps, rec[0], 4e-7 * rec[0]) << where;
        EXPECT_NEAR(p.Gamma, rec[1], 4e-7 * rec[1]) << where;
        EXPECT_NEAR(p.L, rec[2], 4e-7 * rec[2]) << where;
      }
}

TEST(EsduLand, HalfwayInRoughnessIsTheMeanOfTheNeighbours) {
  // At a node and off the nodes in (z, U): linear in z0 itself.
  struct Case {
    float U, z;
  };
  for (const Case& c : {Case{40, 40}, Case{10, 5}, Case{23.85f, 33.0f}, Case{77.5f, 260.0f}})
    for (int r = 0; r + 1 < kEsduRoughnesses; ++r) {
      const float lo = esduRoughnessGrid[static_cast<std::size_t>(r)];
      const float hi = esduRoughnessGrid[static_cast<std::size_t>(r + 1)];
      const float mid = 0.5f * (lo + hi);
      Params a, b, m;
      ASSERT_EQ(land(c.U, c.z, lo, 2, a), 0);
      ASSERT_EQ(land(c.U, c.z, hi, 2, b), 0);
      ASSERT_EQ(land(c.U, c.z, mid, 2, m), 0);
      const auto where = ::testing::Message() << "U = " << c.U << ", z = " << c.z << ", z0 = " << mid;
      const double meanA = 0.5 * (static_cast<double>(a.alphaeps) + b.alphaeps);
      const double meanG = 0.5 * (static_cast<double>(a.Gamma) + b.Gamma);
      const double meanL = 0.5 * (static_cast<double>(a.L) + b.L);
      EXPECT_NEAR(m.alphaeps, meanA, 2e-6 * meanA) << where;
      EXPECT_NEAR(m.Gamma, meanG, 2e-6 * meanG) << where;
      EXPECT_NEAR(m.L, meanL, 2e-6 * meanL) << where;
    }
}

TEST(EsduLand, UsableAcrossTheTable) {
  // Between the nodes the bicubic patches must not undershoot into
  // non-physical values, even next to the light-wind region high up.
  for (int u = 0; u + 1 < kEsduSpeeds; ++u)
    for (int h = 0; h + 1 < kEsduHeights; ++h)
      for (int r = 0; r + 1 < kEsduRoughnesses; ++r)
        for (double t : {0.25, 0.5, 0.75}) {
          const auto mid = [t](const auto& grid, int i) {
            return static_cast<float>((1 - t) * grid[static_cast<std::size_t>(i)] +
                                      t * grid[static_cast<std::size_t>(i + 1)]);
          };
          const float U = mid(esduSpeedGrid, u), z = mid(esduHeightGrid, h);
          const float z0 = mid(esduRoughnessGrid, r);
          Params p;
          const int status = land(U, z, z0, 2, p);
          if (U < 15 && z > 180) continue;
          ASSERT_EQ(status, 0) << "U = " << U << ", z = " << z << ", z0 = " << z0;
          EXPECT_TRUE(p.alphaeps > 0 && p.Gamma > 0 && p.L > 0)
              << "U = " << U << ", z = " << z << ", z0 = " << z0 << ": " << p.alphaeps << " "
              << p.Gamma << " " << p.L;
        }
}

TEST(CheckedSiteParams, PassesGoodSitesThrough) {
  Params raw, checked;
  ASSERT_EQ(land(10, 40, 0.05f, 1, raw), 0);
  checked = checkedLandParams(10, 40, 0.05f, 1);
  EXPECT_EQ(checked.alphaeps, raw.alphaeps);
  EXPECT_EQ(checked.L, raw.L);
  ASSERT_EQ(sea(62, 130, 2, raw), 0);
  checked = checkedSeaParams(62, 130, 2);
  EXPECT_EQ(checked.Gamma, raw.Gamma);
  EXPECT_EQ(checked.alphaeps, raw.alphaeps);
  ASSERT_EQ(land(33, 57, 0.05f, 2, raw), 0);
  checked = checkedLandParams(33, 57, 0.05f, 2);
  EXPECT_EQ(checked.Gamma, raw.Gamma);
  EXPECT_EQ(checked.L, raw.L);
  EXPECT_EQ(checked.alphaeps, raw.alphaeps);
}

TEST(CheckedSiteParamsDeathTest, OutOfRangeSitesNameTheValue) {
  Params p;
  auto seaRun = [&](float U, float z, int spec) {
    p = checkedSeaParams(U, z, spec);
  };
  auto landRun = [&](float U, float z, float z0, int spec) {
    p = checkedLandParams(U, z, z0, spec);
  };
  EXPECT_EXIT(seaRun(10, 200, 2), ExitedWithCode(1),
              fatalReport("SpecType 2 (ESDU) has no data for wind speeds below 15 m/s above 180 m: "
                          "U0 = 10, z = 200"));
  EXPECT_EXIT(seaRun(80.5f, 40, 2), ExitedWithCode(1),
              fatalReport("The wind speed U0 = 80.5 is outside the SpecType 2 (ESDU) table, 10 to "
                          "80 m/s"));
  EXPECT_EXIT(seaRun(40, 301, 2), ExitedWithCode(1),
              fatalReport("The height z = 301 is outside the SpecType 2 (ESDU) table, 5 to 300 m"));
  EXPECT_EXIT(landRun(40, 40, 1.5f, 2), ExitedWithCode(1),
              fatalReport("The roughness length z0 = 1.5 is outside the SpecType 2 (ESDU) table, "
                          "0.0001 to 1 m"));
  EXPECT_EXIT(landRun(40, 40, 0.1f, 3), ExitedWithCode(1),
              fatalReport("The Spectrum type should be 0, 1, or 2 corresponding to Kaimal, Simiu "
                          "or ESDU"));
}

TEST(CheckedSiteParamsDeathTest, NonPhysicalSites) {
  Params p;
  auto seaRun = [&](float U, float z) { p = checkedSeaParams(U, z, 0); };
  auto landRun = [&](float U, float z, float z0) {
    p = checkedLandParams(U, z, z0, 0);
  };
  EXPECT_EXIT(seaRun(0, 40), ExitedWithCode(1),
              fatalReport("The mean wind speed U0 must be a positive number: 0"));
  EXPECT_EXIT(seaRun(10, std::numeric_limits<float>::quiet_NaN()), ExitedWithCode(1),
              fatalReport("The height z must be a positive number: nan"));
  EXPECT_EXIT(landRun(10, -40, 0.05f), ExitedWithCode(1),
              fatalReport("The height z must be a positive number: -40"));
  EXPECT_EXIT(landRun(10, 40, 0), ExitedWithCode(1),
              fatalReport("The roughness length z0 must be a positive number: 0"));
  EXPECT_EXIT(landRun(10, 0.5f, 0.5f), ExitedWithCode(1),
              fatalReport("The height z = 0.5 must lie above the roughness length z0 = 0.5"));
  // 34.5e-4 * 300 / 0.4 = 2.5875 m/s comes from the Coriolis term alone.
  EXPECT_EXIT(landRun(2.5f, 300, 0.05f), ExitedWithCode(1),
              fatalReport("The wind speed U0 = 2.5 m/s is too low for the height z = 300 m: the "
                          "wind profile needs more than 2.5875 m/s there"));
  EXPECT_EXIT(seaRun(2.5f, 300), ExitedWithCode(1),
              fatalReport("The wind speed U0 = 2.5 m/s is too low for the height z = 300 m: the "
                          "wind profile needs more than 2.5875 m/s there"));
}

TEST(CheckedSiteParams, ModelsOutsideTheTensorRangeNameTheirInput) {
  using wind::testing::fatalMessage;
  const auto check = [](ModelParameters p, ModelInputs from = {}) {
    return fatalMessage([&] { checkModelParameters(p, from); });
  };
  EXPECT_EQ(check({0.1f, 0.001f, -10.0f}), "");  // both ends belong to the range
  EXPECT_EQ(check({0.1f, 0.0005f, 3.9f}),
            "The length scale L = 0.0005 m is below 0.001 m, the smallest the model takes");
  EXPECT_EQ(check({0.1f, 33.6f, 10.5f}),
            "The shear parameter Gamma = 10.5 is outside -10 to 10, the range the model's "
            "integrals converge in");
  EXPECT_EQ(check({1e-39f, 33.6f, 3.9f}, {"Iref = 1e-30", "", ""}),
            "The spectral level alphaeps = 1e-39 that Iref = 1e-30 gives has to be a positive "
            "finite number");
  // A Kaimal land site at 1.5 mm: L = 0.590467 z = 0.886 mm, blamed on z.
  const std::string low = fatalMessage([] { checkedLandParams(10, 0.0015f, 0.0001f, 0); });
  EXPECT_EQ(low.substr(0, 28), "The length scale L = 0.00088") << low;
  EXPECT_NE(low.find(" m that z = 0.0015 gives is below 0.001 m"), std::string::npos) << low;
}

// A z0 next to z asks for a friction velocity of hundreds of m/s, a wind of
// 1e30 m/s for one far beyond any: the checked routines name the site.
TEST(CheckedSiteParams, AProfileTheSecantCannotSolveNamesTheSite) {
  using wind::testing::fatalMessage;
  EXPECT_EQ(fatalMessage([] { checkedLandParams(11.4f, 90.0f, 89.0f, 0); }),
            "The wind profile's friction velocity for U0 = 11.4 m/s at z = 90 m over z0 = 89 m "
            "cannot be found (its secant iteration, rtsec, does not converge in 30 steps): such "
            "a site is beyond the surface layer the profile describes; give a roughness length "
            "well below the height (z/z0 = 1.01124 here) and a wind speed of a few to a few tens "
            "of m/s");
  EXPECT_NE(fatalMessage([] { checkedLandParams(1e30f, 90.0f, 0.03f, 0); })
                .find("for U0 = 1e+30 m/s at z = 90 m over z0 = 0.03 m cannot be found"),
            std::string::npos);
  // The same iteration converges where it did: the raw routine's bits.
  EXPECT_EQ(checkedLandParams(11.4f, 90.0f, 0.03f, 0).alphaeps,
            landParams(11.4f, 90.0f, 0.03f, 0).params.alphaeps);
}

TEST(SiteParamsDeathTest, UnsolvableProfileEndsInTheRootFinder) {
  // The raw routine does not validate: at z = 0 the profile is undefined.
  Params p;
  EXPECT_EXIT(land(10, 0, 0.05f, 0, p), ExitedWithCode(1),
              fatalReport("Maximum number of iterations exceeded in rtsec"));
}
