#include "tensor/amplitude_lanes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "numerics/constants.hpp"
#include "tensor/spectral_tensor.hpp"
#include "tensor/upstream_lookup.hpp"

namespace wind {
namespace {

// Tables whose strains and energy change along the kL grid (linearly between
// the knots: zero second derivatives), so that the stretch and the level
// differ from one wave vector to the next.
UpstreamTables varyingTables() {
  UpstreamTables t;
  for (int i = 0; i < kKLGridSize; ++i) {
    const double s = double(i) / (kKLGridSize - 1);
    t.kL[i] = kLGrid(i);
    t.strain[0][i] = static_cast<float>(0.31 * s - 0.05);
    t.strain[1][i] = static_cast<float>(-0.22 * s + 0.02);
    t.energy[i] = static_cast<float>(0.08 + 0.5 * s * (1 - s));
  }
  t.hasStretch = t.hasRoughness = true;
  return t;
}

struct Case {
  std::string name;
  TensorModel model;
};

std::vector<Case> cases(const UpstreamTables& tables) {
  return {{"plain", {{0.1f, 33.6f, 3.9f}}},
          {"isotropic", {{0.85f, 12.5f, 0.0f}}},
          {"terrain", {{0.1f, 33.6f, 2.4f}, true, &tables}},
          {"roughness", {{0.0f, 33.6f, 3.9f}, false, &tables}},
          {"terrain and roughness", {{0.0f, 120.0f, 1.1f}, true, &tables}}};
}

// Rows (k1, k2) of the load box of the benchmark and of a cube, the row
// through the origin and the k1 = 0 rows among them; k3 over 0 .. the
// highest of the grid.
struct Row {
  float k1, k2;
  std::vector<float> k3;
};

std::vector<Row> rows() {
  std::vector<Row> out;
  const float dk3[] = {0.06756f, 0.02513f};
  const float k1s[] = {0.0f, 3.835e-4f, -0.0115f, 0.2f, -1.5707f};
  const float k2s[] = {0.0f, 0.06756f, -0.3378f, 1.08f};
  for (float dk : dk3)
    for (float k1 : k1s)
      for (float k2 : k2s) {
        Row r{k1, k2, {}};
        for (int l = 0; l <= 16; ++l) r.k3.push_back(toFloat(double(l) * dk));
        out.push_back(r);
      }
  return out;
}

// The largest |element| of m.
float largest(const Mat3& m) {
  float v = 0.0f;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) v = std::max(v, std::fabs(at(m, i, j)));
  return v;
}

TEST(LaneAmplitudes, FollowTheClassicArithmeticWithinAMillionth) {
  const UpstreamTables tables = varyingTables();
  for (const Case& c : cases(tables)) {
    int same = 0, total = 0;
    for (const Row& r : rows()) {
      std::vector<Mat3> lanes(r.k3.size());
      tensorAmplitudes(c.model, r.k1, r.k2, r.k3, lanes, TensorArithmetic::lanes);
      for (std::size_t n = 0; n < r.k3.size(); ++n) {
        const Mat3 classic = tensorAmplitude(c.model, Vector3(r.k1, r.k2, r.k3[n]));
        const float scale = largest(classic);
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j)
            EXPECT_LE(std::fabs(at(lanes[n], i, j) - at(classic, i, j)), 1e-6f * scale)
                << c.name << ": k = " << r.k1 << ' ' << r.k2 << ' ' << r.k3[n] << ", element "
                << i << j;
        same += lanes[n] == classic;
        ++total;
      }
    }
    // The roundings to float hide the few units in the last place of a
    // double by which the functions differ, nearly always.
    EXPECT_GE(same, total * 9 / 10) << c.name;
  }
}

TEST(LaneAmplitudes, AnyGroupingAndEveryBuildGivesTheSameBits) {
  const UpstreamTables tables = varyingTables();
  for (const Case& c : cases(tables))
    for (const Row& r : rows()) {
      std::vector<Mat3> whole(r.k3.size());
      tensorAmplitudes(c.model, r.k1, r.k2, r.k3, whole, TensorArithmetic::lanes);
      // Each wave vector alone, and the row from its third wave vector on.
      for (std::size_t n = 0; n < r.k3.size(); ++n) {
        Mat3 one;
        tensorAmplitudes(c.model, r.k1, r.k2, std::span<const float>(&r.k3[n], 1),
                         std::span<Mat3>(&one, 1), TensorArithmetic::lanes);
        EXPECT_EQ(one, whole[n]) << c.name << ": k = " << r.k1 << ' ' << r.k2 << ' ' << r.k3[n];
      }
      // Every build this processor runs.
      for (lanes::InstructionSet isa : {lanes::InstructionSet::baseline,
                                        lanes::InstructionSet::avx2,
                                        lanes::InstructionSet::avx512}) {
        if (!lanes::supported(isa)) continue;
        std::vector<Mat3> other(r.k3.size());
        detail::laneAmplitudesOn(isa, c.model, r.k1, r.k2, r.k3, other);
        EXPECT_EQ(other, whole) << c.name << ": k1, k2 = " << r.k1 << ' ' << r.k2 << ", isa "
                                << int(isa);
      }
      std::vector<Mat3> tail(r.k3.size() - 2);
      tensorAmplitudes(c.model, r.k1, r.k2, std::span<const float>(r.k3).subspan(2), tail,
                       TensorArithmetic::lanes);
      EXPECT_TRUE(std::equal(tail.begin(), tail.end(), whole.begin() + 2)) << c.name;
    }
}

TEST(TensorAmplitudes, ClassicRowHasTheBitsOfEachWaveVector) {
  const UpstreamTables tables = varyingTables();
  for (const Case& c : cases(tables))
    for (const Row& r : rows()) {
      std::vector<Mat3> row(r.k3.size());
      tensorAmplitudes(c.model, r.k1, r.k2, r.k3, row);
      for (std::size_t n = 0; n < r.k3.size(); ++n)
        EXPECT_EQ(row[n], tensorAmplitude(c.model, Vector3(r.k1, r.k2, r.k3[n])))
            << c.name << ": k = " << r.k1 << ' ' << r.k2 << ' ' << r.k3[n];
    }
}

}  // namespace
}  // namespace wind
