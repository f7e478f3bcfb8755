#include "tools/esdu_similarity.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "sources/site_params.hpp"

using namespace wind;
using namespace wind::similarity;

namespace {

// The 85020 boundary layer recomputed in long double from the friction
// velocity and roughness: returns (z/h, sigma_u, xLu).
struct Reference {
  long double zh, sigmaU, xLu;
};
Reference reference(long double ustar, long double z, long double z0) {
  const long double f = 1e-4L;
  const long double h = ustar / (6 * f);
  const long double zh = z / h;
  const long double eta = 1 - zh;
  const long double p = std::pow(eta, 16.0L);
  const long double sigma = 7.5L * eta * std::pow(0.538L + 0.09L * std::log(z / z0), p) * ustar /
                            (1 + 0.156L * std::log(ustar / (f * z0)));
  const long double R = ustar / (f * z0);
  const long double K0 = 0.39L / std::pow(R, 0.11L);
  const long double B = 24 * std::pow(R, 0.155L);
  const long double N = 1.24L * std::pow(R, 0.008L);
  const long double Kz = 0.19L - (0.19L - K0) * std::exp(-B * std::pow(zh, N));
  const long double A = 0.115L * std::pow(1 + 0.315L * std::pow(1 - zh, 6.0L), 2.0L / 3.0L);
  const long double s = sigma / ustar;
  const long double xLu = std::pow(A, 1.5L) * s * s * s * z /
                          (2.5L * std::pow(Kz, 1.5L) * (1 - zh) * (1 - zh) * (1 + 5.75L * zh));
  return {zh, sigma, xLu};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace

TEST(BoundaryLayer, MatchesTheFormulasInLongDouble) {
  struct Case {
    float U, z, z0;
    bool isSea;
  };
  for (const Case& c : {Case{10, 5, 0.0001f, false}, Case{23.85f, 57, 0.05f, false},
                        Case{15, 300, 0.0003f, false}, Case{40, 40, 0, true},
                        Case{15, 300, 0, true}, Case{72.5f, 12, 0, true}}) {
    const BoundaryLayer bl = boundaryLayer(c.U, c.z, c.z0, c.isSea);
    const float ustar = c.isSea ? frictionVelocitySea(kCoriolisParameter, c.U, c.z)
                                : frictionVelocityLand(kCoriolisParameter, c.U, c.z, c.z0);
    const long double z0 = c.isSea ? 0.01667L * ustar * ustar / 9.81L : c.z0;
    const Reference r = reference(ustar, c.z, z0);
    const auto where = ::testing::Message() << "U = " << c.U << ", z = " << c.z << ", z0 = " << c.z0
                                            << (c.isSea ? " (sea)" : "");
    EXPECT_EQ(bl.ustar, ustar) << where;
    EXPECT_NEAR(bl.z0, static_cast<double>(z0), 1e-6 * static_cast<double>(z0)) << where;
    EXPECT_NEAR(bl.h, ustar / 6e-4, 1e-9 * bl.h) << where;
    EXPECT_NEAR(bl.zh, static_cast<double>(r.zh), 1e-12) << where;
    EXPECT_NEAR(bl.sigmaU, static_cast<double>(r.sigmaU), 1e-6 * static_cast<double>(r.sigmaU))
        << where;
    EXPECT_NEAR(bl.xLu, static_cast<double>(r.xLu), 1e-6 * static_cast<double>(r.xLu)) << where;
  }
}

TEST(Similarity, RecordRoundTrip) {
  const BoundaryLayer bl = boundaryLayer(33, 57, 0.05f, false);
  const EsduRecord rec = {0.385, 4.437, 61.25};
  const Similarity s = toSimilarity(bl, rec);
  EXPECT_EQ(s.G, rec[kEsduGamma]);
  EXPECT_NEAR(s.Lambda, rec[kEsduL] / bl.xLu, 1e-15);
  const EsduRecord back = fromSimilarity(bl, s);
  for (std::size_t c = 0; c < 3; ++c) EXPECT_NEAR(back[c], rec[c], 1e-13 * rec[c]) << c;
}

TEST(Similarity, SeaTableFollowsTheLawNearTheGround) {
  // Low down (z/h below 0.025) the sea records collapse onto constants:
  // G = 4.54, Lambda = 0.1747, E = 0.404, within the scatter of the
  // published table.
  const std::vector<SeaSample> sea = seaSamples();
  ASSERT_EQ(sea.size(), 89u);
  int low = 0;
  for (const SeaSample& s : sea) {
    EXPECT_FALSE(s.speed == 0 && s.height == 8) << "the failed sea record is left out";
    if (s.sample.zh >= 0.025) continue;
    ++low;
    const auto where = ::testing::Message()
                       << "U = " << esduSpeedGrid[static_cast<std::size_t>(s.speed)]
                       << ", z = " << esduHeightGrid[static_cast<std::size_t>(s.height)];
    EXPECT_NEAR(s.sample.s.G, 4.54, 0.035) << where;
    EXPECT_NEAR(s.sample.s.Lambda, 0.1747, 0.0012) << where;
    EXPECT_NEAR(s.sample.s.E, 0.404, 0.0025) << where;
  }
  EXPECT_GE(low, 45);
  // Further up G falls and Lambda, E rise; the highest sound sample is
  // U = 15 m/s at 300 m.
  const auto top = std::max_element(sea.begin(), sea.end(), [](const auto& a, const auto& b) {
    return a.sample.zh < b.sample.zh;
  });
  EXPECT_EQ(top->speed, 1);
  EXPECT_EQ(top->height, 8);
  EXPECT_NEAR(top->sample.zh, 0.514, 0.002);
  EXPECT_NEAR(top->sample.s.G, 1.00, 0.01);
  EXPECT_NEAR(top->sample.s.Lambda, 0.846, 0.005);
  EXPECT_NEAR(top->sample.s.E, 1.129, 0.005);
}

TEST(LocalFit, ReproducesAQuadraticExactly) {
  std::vector<Sample> samples;
  for (int i = 0; i < 40; ++i) {
    const double x = 0.0123 * i + 0.001 * (i % 3);
    samples.push_back({x, {4.5 - 3.1 * x * x, 0.17 + 0.4 * x + 1.9 * x * x, 0.404 - 0.2 * x}});
  }
  for (double zh : {0.0, 0.0371, 0.2385, 0.49, 0.5}) {
    const Similarity s = localFit(samples, zh);
    EXPECT_NEAR(s.G, 4.5 - 3.1 * zh * zh, 1e-12) << zh;
    EXPECT_NEAR(s.Lambda, 0.17 + 0.4 * zh + 1.9 * zh * zh, 1e-12) << zh;
    EXPECT_NEAR(s.E, 0.404 - 0.2 * zh, 1e-12) << zh;
  }
  // Leaving a sample out changes nothing for exact data; leaving out an
  // outlier removes its pull.
  samples[7].s.G += 1.0;
  const double zh = samples[7].zh;
  EXPECT_GT(localFit(samples, zh).G, 4.5 - 3.1 * zh * zh + 0.1);
  EXPECT_NEAR(localFit(samples, zh, 7).G, 4.5 - 3.1 * zh * zh, 1e-12);
}

TEST(LocalFit, LocalWindowIgnoresFarSamples) {
  // Only the kNeighbours nearest samples count: a far-away step does not
  // reach a point well inside a flat stretch.
  std::vector<Sample> samples;
  for (int i = 0; i < 60; ++i) {
    const double x = 0.01 * i;
    samples.push_back({x, {x < 0.4 ? 4.54 : 1.0, 0.1747, 0.404}});
  }
  EXPECT_DOUBLE_EQ(localFit(samples, 0.1).G, 4.54);
  EXPECT_LT(localFit(samples, 0.4).G, 4.0);
}

TEST(LeaveOneOut, SeaTablePredictedFromTheOthers) {
  // Each sound sea record predicted from the other 88 by the similarity law:
  // the median deviation is well under 1 % for every parameter, and below
  // z/h = 0.2 no parameter misses by more than a few per cent.
  const std::vector<SeaSample> sea = seaSamples();
  const std::vector<EsduRecord> predicted = leaveOneOutSea();
  ASSERT_EQ(predicted.size(), sea.size());
  const char* names[3] = {"alphaeps", "Gamma", "L"};
  for (std::size_t c = 0; c < 3; ++c) {
    std::vector<double> dev, low;
    for (std::size_t i = 0; i < sea.size(); ++i) {
      const EsduRecord& rec = esduSeaTable[static_cast<std::size_t>(sea[i].speed)]
                                          [static_cast<std::size_t>(sea[i].height)];
      const double d = std::fabs(predicted[i][c] / rec[c] - 1);
      dev.push_back(d);
      if (sea[i].sample.zh < 0.2) low.push_back(d);
    }
    EXPECT_LT(median(dev), 0.004) << names[c];
    EXPECT_LT(*std::max_element(low.begin(), low.end()), 0.03) << names[c];
  }
}

TEST(LandDerivation, TellingRecordsFollowFromTheSeaTable) {
  const LandDerivation d = deriveLandTable();
  for (std::size_t k = 0; k < tellingRecords.size(); ++k) {
    const TellingRecord& t = tellingRecords[k];
    const auto su = static_cast<std::size_t>(t.node.speed);
    const auto sh = static_cast<std::size_t>(t.node.height);
    const auto sr = static_cast<std::size_t>(t.node.roughness);
    const auto where = ::testing::Message() << "U = " << esduSpeedGrid[su] << ", z = "
                                            << esduHeightGrid[sh] << ", z0 = " << esduRoughnessGrid[sr];
    // The records are in place exactly, and equal the library table.
    EXPECT_EQ(d.table[su][sh][sr], t.record) << where;
    EXPECT_EQ(esduLandTable[su][sh][sr], t.record) << where;
    // Near the ground the derived values land within 0.5 % of the records.
    if (esduHeightGrid[sh] <= 40) {
      for (std::size_t c = 0; c < 3; ++c)
        EXPECT_NEAR(d.derivedTelling[k][c], t.record[c], 0.005 * t.record[c]) << where << " " << c;
    }
  }
}

TEST(LandDerivation, ClampsOnlyAboveTheSeaSamples) {
  const LandDerivation d = deriveLandTable();
  // z/h above the highest sea sample happens only at 300 m in light wind:
  // U = 10 m/s over smooth to moderate roughness, and U = 15 m/s over the
  // smoothest ground.
  ASSERT_EQ(d.clamped.size(), 7u);
  for (const LandNode& n : d.clamped) {
    EXPECT_EQ(n.height, 8);
    EXPECT_TRUE((n.speed == 0 && n.roughness <= 5) || (n.speed == 1 && n.roughness == 0))
        << n.speed << " " << n.roughness;
    const BoundaryLayer bl =
        boundaryLayer(esduSpeedGrid[static_cast<std::size_t>(n.speed)], 300,
                      esduRoughnessGrid[static_cast<std::size_t>(n.roughness)], false);
    EXPECT_GT(bl.zh, d.zhMax);
    EXPECT_LT(bl.zh, 1.0);
  }
  // A clamped node that is not a telling record keeps the top sample's Gamma.
  EXPECT_NEAR(d.table[1][8][0][kEsduGamma], 0.999991, 1e-6);
}

TEST(LandDerivation, RoundedToSixDigitsAndDeterministic) {
  const LandDerivation a = deriveLandTable();
  const LandDerivation b = deriveLandTable();
  EXPECT_EQ(a.table, b.table);
  EXPECT_EQ(roundSixDigits(0.000482509123), 0.000482509);
  EXPECT_EQ(roundSixDigits(237.58249), 237.582);
  EXPECT_EQ(roundSixDigits(4.5577549), 4.55775);
  for (const auto& speed : a.table)
    for (const auto& height : speed)
      for (const auto& rec : height)
        for (double v : rec) ASSERT_EQ(roundSixDigits(v), v);
}
