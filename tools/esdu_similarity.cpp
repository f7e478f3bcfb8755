#include "tools/esdu_similarity.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "sources/site_params.hpp"
#include "support/print_format.hpp"

namespace wind::similarity {

namespace {

// Coriolis parameter of the boundary-layer formulas (the wind profile solves
// u* with its single-precision value) and the boundary-layer height
// h = u*/(6 f).
constexpr double kCoriolis = 1.0e-4;
constexpr double kHeightFactor = 6.0;

// Along-wind standard deviation.
constexpr double kSigmaScale = 7.5;
constexpr double kSigmaOffset = 0.538;
constexpr double kSigmaLogSlope = 0.09;
constexpr double kSigmaExponentPower = 16.0;
constexpr double kSigmaRossby = 0.156;

// Along-wind length scale.
constexpr double kScaleA = 0.115;
constexpr double kScaleACoef = 0.315;
constexpr double kScaleAPower = 6.0;
constexpr double kScaleDenominator = 2.5;
constexpr double kScaleHeightCoef = 5.75;
constexpr double kKzTop = 0.19;
constexpr double kK0Coef = 0.39;
constexpr double kK0Power = 0.11;
constexpr double kBCoef = 24.0;
constexpr double kBPower = 0.155;
constexpr double kNCoef = 1.24;
constexpr double kNPower = 0.008;

constexpr double kTwoThirds = 2.0 / 3.0;
constexpr double kThreeHalves = 1.5;

// The sea record that is left out of the samples.
constexpr int kFailedSpeed = 0;   // U = 10 m/s
constexpr int kFailedHeight = 8;  // z = 300 m

// Widening of the regression window so that the farthest neighbour keeps a
// small positive weight.
constexpr double kWindowWidening = 1.0001;

// The (z/h, G, Lambda, E) of the sea samples, without their nodes.
std::vector<Sample> samplesOf(const std::vector<SeaSample>& sea) {
  std::vector<Sample> samples;
  samples.reserve(sea.size());
  for (const SeaSample& s : sea) samples.push_back(s.sample);
  return samples;
}

}  // namespace

BoundaryLayer boundaryLayer(float U, float z, float z0, bool isSea) {
  const float f = kCoriolisParameter;
  const float ustarF = isSea ? frictionVelocitySea(f, U, z) : frictionVelocityLand(f, U, z, z0);
  const double fd = kCoriolis;
  BoundaryLayer bl{};
  bl.ustar = ustarF;
  bl.z0 = isSea ? static_cast<double>(seaRoughness(ustarF)) : static_cast<double>(z0);
  const double zd = z;
  bl.h = bl.ustar / (kHeightFactor * fd);
  bl.zh = zd / bl.h;
  const double eta = 1.0 - kHeightFactor * fd * zd / bl.ustar;
  const double p = std::pow(eta, kSigmaExponentPower);
  bl.sigmaU = kSigmaScale * eta * std::pow(kSigmaOffset + kSigmaLogSlope * std::log(zd / bl.z0), p) *
              bl.ustar / (1.0 + kSigmaRossby * std::log(bl.ustar / (fd * bl.z0)));
  const double R = bl.ustar / (fd * bl.z0);
  const double K0 = kK0Coef / std::pow(R, kK0Power);
  const double B = kBCoef * std::pow(R, kBPower);
  const double N = kNCoef * std::pow(R, kNPower);
  const double Kz = kKzTop - (kKzTop - K0) * std::exp(-B * std::pow(bl.zh, N));
  const double A =
      kScaleA * std::pow(1.0 + kScaleACoef * std::pow(1.0 - bl.zh, kScaleAPower), kTwoThirds);
  const double ratio = bl.sigmaU / bl.ustar;
  bl.xLu = std::pow(A, kThreeHalves) * ratio * ratio * ratio * zd /
           (kScaleDenominator * std::pow(Kz, kThreeHalves) * (1.0 - bl.zh) * (1.0 - bl.zh) *
            (1.0 + kScaleHeightCoef * bl.zh));
  return bl;
}

Similarity toSimilarity(const BoundaryLayer& bl, const EsduRecord& record) {
  const double L = record[kEsduL];
  return {record[kEsduGamma], L / bl.xLu,
          record[kEsduAlphaeps] * std::pow(L, kTwoThirds) / (bl.sigmaU * bl.sigmaU)};
}

EsduRecord fromSimilarity(const BoundaryLayer& bl, const Similarity& s) {
  EsduRecord r{};
  const double L = s.Lambda * bl.xLu;
  r[kEsduGamma] = s.G;
  r[kEsduL] = L;
  r[kEsduAlphaeps] = s.E * bl.sigmaU * bl.sigmaU * std::pow(L, -kTwoThirds);
  return r;
}

std::vector<SeaSample> seaSamples() {
  std::vector<SeaSample> out;
  for (int u = 0; u < kEsduSpeeds; ++u)
    for (int h = 0; h < kEsduHeights; ++h) {
      if (u == kFailedSpeed && h == kFailedHeight) continue;
      const float U = esduSpeedGrid[static_cast<std::size_t>(u)];
      const float z = esduHeightGrid[static_cast<std::size_t>(h)];
      const BoundaryLayer bl = boundaryLayer(U, z, 0.0f, true);
      const EsduRecord& rec = esduSeaTable[static_cast<std::size_t>(u)][static_cast<std::size_t>(h)];
      out.push_back({u, h, {bl.zh, toSimilarity(bl, rec)}});
    }
  return out;
}

Similarity localFit(const std::vector<Sample>& samples, double zh, std::size_t skip) {
  // The nearest samples, ties to the one listed first.
  std::vector<std::size_t> order;
  order.reserve(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (i != skip) order.push_back(i);
  const auto distance = [&](std::size_t i) { return std::fabs(samples[i].zh - zh); };
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return distance(a) < distance(b); });
  const std::size_t n = std::min(kNeighbours, order.size());
  const double window = kWindowWidening * distance(order[n - 1]);

  // Weighted normal equations of the quadratic in x = (zh_i - zh) / window,
  // one matrix for the three right-hand sides G, Lambda, E.
  std::array<std::array<double, 3>, 3> M{};
  std::array<std::array<double, 3>, 3> rhs{};  // rhs[component][power]
  for (std::size_t k = 0; k < n; ++k) {
    const Sample& s = samples[order[k]];
    const double x = (s.zh - zh) / window;
    const double t = 1.0 - std::fabs(x) * std::fabs(x) * std::fabs(x);
    const double w = t * t * t;
    const std::array<double, 3> basis = {1.0, x, x * x};
    const std::array<double, 3> y = {s.s.G, s.s.Lambda, s.s.E};
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 3; ++j) M[i][j] += w * basis[i] * basis[j];
      for (std::size_t c = 0; c < 3; ++c) rhs[c][i] += w * basis[i] * y[c];
    }
  }
  // Cholesky factorisation M = C C^T (Golub and Van Loan, 4.2); the matrix is
  // symmetric positive definite when the neighbours hold three distinct zh.
  std::array<std::array<double, 3>, 3> C{};
  for (std::size_t j = 0; j < 3; ++j) {
    double d = M[j][j];
    for (std::size_t k = 0; k < j; ++k) d -= C[j][k] * C[j][k];
    C[j][j] = std::sqrt(d);
    for (std::size_t i = j + 1; i < 3; ++i) {
      double s = M[i][j];
      for (std::size_t k = 0; k < j; ++k) s -= C[i][k] * C[j][k];
      C[i][j] = s / C[j][j];
    }
  }
  std::array<double, 3> value{};
  for (std::size_t c = 0; c < 3; ++c) {
    std::array<double, 3> v = rhs[c];
    for (std::size_t i = 0; i < 3; ++i) {  // forward substitution
      for (std::size_t k = 0; k < i; ++k) v[i] -= C[i][k] * v[k];
      v[i] /= C[i][i];
    }
    for (std::size_t ii = 3; ii-- > 0;) {  // back substitution
      for (std::size_t k = ii + 1; k < 3; ++k) v[ii] -= C[k][ii] * v[k];
      v[ii] /= C[ii][ii];
    }
    value[c] = v[0];  // the quadratic at x = 0
  }
  return {value[0], value[1], value[2]};
}

std::vector<EsduRecord> leaveOneOutSea() {
  const std::vector<SeaSample> sea = seaSamples();
  const std::vector<Sample> samples = samplesOf(sea);
  std::vector<EsduRecord> out;
  out.reserve(sea.size());
  for (std::size_t i = 0; i < sea.size(); ++i) {
    const float U = esduSpeedGrid[static_cast<std::size_t>(sea[i].speed)];
    const float z = esduHeightGrid[static_cast<std::size_t>(sea[i].height)];
    out.push_back(fromSimilarity(boundaryLayer(U, z, 0.0f, true), localFit(samples, samples[i].zh, i)));
  }
  return out;
}

double roundSixDigits(double v) { return std::strtod(formatG6(v).c_str(), nullptr); }

const std::array<TellingRecord, kTellingRecords> tellingRecords = {{
    {{0, 0, 0}, {0.0812222, 4.55775, 13.1324}},     // U = 10 m/s, z = 5 m, z0 = 0.0001 m
    {{0, 0, 8}, {4.6744, 4.53179, 3.07123}},        // U = 10 m/s, z = 5 m, z0 = 1 m
    {{0, 1, 4}, {0.151712, 4.55159, 16.8962}},      // U = 10 m/s, z = 10 m, z0 = 0.01 m
    {{0, 8, 2}, {0.00206674, 0.561167, 33.2091}},   // U = 10 m/s, z = 300 m, z0 = 0.001 m
    {{0, 8, 8}, {0.0278345, 2.09195, 185.494}},     // U = 10 m/s, z = 300 m, z0 = 1 m
    {{5, 4, 0}, {0.376761, 4.54215, 44.0608}},      // U = 40 m/s, z = 40 m, z0 = 0.0001 m
    {{5, 4, 4}, {0.69628, 4.53369, 67.4848}},       // U = 40 m/s, z = 40 m, z0 = 0.01 m
    {{5, 4, 8}, {3.55772, 4.52675, 45.5123}},       // U = 40 m/s, z = 40 m, z0 = 1 m
}};

LandDerivation deriveLandTable() {
  const std::vector<Sample> samples = samplesOf(seaSamples());
  // The sample farthest up, ties to the one listed first.
  std::size_t top = 0;
  for (std::size_t i = 1; i < samples.size(); ++i)
    if (samples[i].zh > samples[top].zh) top = i;

  LandDerivation d{};
  d.zhMax = samples[top].zh;
  for (int u = 0; u < kEsduSpeeds; ++u)
    for (int h = 0; h < kEsduHeights; ++h)
      for (int r = 0; r < kEsduRoughnesses; ++r) {
        const auto su = static_cast<std::size_t>(u), sh = static_cast<std::size_t>(h),
                   sr = static_cast<std::size_t>(r);
        const BoundaryLayer bl =
            boundaryLayer(esduSpeedGrid[su], esduHeightGrid[sh], esduRoughnessGrid[sr], false);
        Similarity s{};
        if (bl.zh > d.zhMax) {
          s = samples[top].s;
          d.clamped.push_back({u, h, r});
        } else {
          s = localFit(samples, bl.zh);
        }
        d.table[su][sh][sr] = fromSimilarity(bl, s);
      }
  for (std::size_t k = 0; k < tellingRecords.size(); ++k) {
    const LandNode& n = tellingRecords[k].node;
    auto& rec = d.table[static_cast<std::size_t>(n.speed)][static_cast<std::size_t>(n.height)]
                       [static_cast<std::size_t>(n.roughness)];
    d.derivedTelling[k] = rec;
    rec = tellingRecords[k].record;
  }
  for (auto& speed : d.table)
    for (auto& height : speed)
      for (auto& record : height)
        for (double& v : record) v = roundSixDigits(v);
  return d;
}

}  // namespace wind::similarity
