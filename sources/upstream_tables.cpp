#include "sources/upstream_tables.hpp"

#include <cmath>
#include <cstddef>

#include "numerics/constants.hpp"
#include "numerics/interpolation.hpp"
#include "support/fatal_error.hpp"
#include "tensor/lifetime.hpp"

namespace wind {

namespace {

constexpr double kFourThirds = 4.0 / 3.0;
constexpr double kTwoThirds = 2.0 / 3.0;

// A memory no longer than this many first spacings keeps the local level.
constexpr double kShortMemorySpacings = 5.0;
// A memory length (with the log-profile speed) up to this fraction of the
// first spacing uses the first-order strain integral.
constexpr double kShortStrainFraction = 0.25;

inline std::span<const float> prefix(std::span<const float> s, int n) {
  return s.first(static_cast<std::size_t>(n));
}

void checkLine(int nP, std::span<const float> dist) {
  if (nP < 2) fatalError("upstream tables need at least two points along the terrain line");
  if (dist.size() < static_cast<std::size_t>(nP))
    fatalError("upstream tables: fewer distances than points");
  for (int j = 1; j < nP; ++j)
    if (!(dist[j] > dist[j - 1]))
      fatalError("distances along the terrain line must rise strictly");
}

// The spline tables over kL: natural start, zero slope at kL = 100.
void finishTable(const UpstreamTables::Table& kL, const UpstreamTables::Table& y,
                 UpstreamTables::Table& y2) {
  splineSetup(kL, y, kNaturalSpline, 0.0f, y2);
}

}  // namespace

float profileInterp(std::span<const float> xa, std::span<const float> ya, float x, bool decay) {
  const int n = static_cast<int>(xa.size());
  if (n <= 0) return ya.empty() ? 0.0f : ya[0];
  int i = 0;
  while (i < n && !(x <= xa[i])) ++i;
  if (i == 0) return ya[0];
  if (i < n)
    return toFloat(((double(xa[i]) - x) * ya[i - 1] + (double(x) - xa[i - 1]) * ya[i]) /
                   (double(xa[i]) - xa[i - 1]));
  const float top = ya[n - 1];
  if (!decay || n < 2) return top;
  if (top == 0.0f) return 0.0f;
  const double s = (double(top) - ya[n - 2]) / (double(xa[n - 1]) - xa[n - 2]);
  return toFloat(top * std::exp(-(double(x) - xa[n - 1]) * std::fabs(s / top)));
}

float splineIntegral(std::span<const float> x, std::span<const float> y,
                     std::span<const float> y2, float per) {
  const int n = static_cast<int>(x.size());
  float sum = 0.0f;
  for (int j = n - 2; j >= 0; --j) {
    const float d = toFloat(double(x[j + 1]) - x[j]);
    const double term = d * (12.0 * (double(y[j]) + y[j + 1]) -
                             double(d) * d * (double(y2[j]) + y2[j + 1]));
    sum = toFloat(sum + term);
  }
  return toFloat(sum / (24.0 * per));
}

void buildRoughnessTable(UpstreamTables& tables, float z, float U0, float S0, float Gamma,
                         const UpstreamLine& l) {
  const int nP = l.nP;
  const std::span<const float> dist = l.dist.span(), Sp = l.Sp.span();
  checkLine(nP, dist);
  if (Sp.size() < static_cast<std::size_t>(nP))
    fatalError("upstream tables: fewer shear values than points");
  Vector wv = vector(0, nP - 1);
  Vector w2v = vector(0, nP - 1);
  const std::span<float> w = wv.span(), w2 = w2v.span();
  const std::span<const float> line = prefix(dist, nP);
  const double kappaZ43 = std::pow(double(kVonKarman) * z, kFourThirds);
  const double shortMemory = kShortMemorySpacings * dist[1];
  auto shearSq = [&](int j) {
    const double s = double(S0) + Sp[j];
    return s * s;
  };
  // Beyond the last point the memory sees that point's level
  // (S^3 (kappa z)^2)^(2/3). The power is taken of the magnitude, so a
  // negative total shear gives the real value S^2 (kappa z)^(4/3) rather than
  // a NaN.
  const double sEnd = double(S0) + Sp[nP - 1];
  const double kz = double(kVonKarman) * z;
  const double endLevel = std::pow(std::fabs(sEnd * sEnd * sEnd * (kz * kz)), kTwoThirds);

  for (int i = 0; i < kKLGridSize; ++i) {
    const float kL = kLGrid(i);
    tables.kL[i] = kL;
    const float lambda = toFloat(lifeTime(kL) * U0 * Gamma / S0);
    float e;
    if (lambda <= shortMemory) {
      // The local level alone: a memory of exactly 5 dist[1] gets no tail, so
      // that it is not counted twice.
      e = toFloat(kappaZ43 * toFloat(shearSq(0)));
    } else {
      for (int j = 0; j < nP; ++j) w[j] = toFloat(shearSq(j) * std::exp(-dist[j] / double(lambda)));
      splineSetup(line, w, toFloat(-shearSq(0) / lambda), kNaturalSpline, w2);
      e = toFloat(kappaZ43 * splineIntegral(line, w, w2, lambda));
      e = toFloat(e + endLevel * std::exp(-dist[nP - 1] / double(lambda)));
    }
    tables.energy[i] = e;
  }
  finishTable(tables.kL, tables.energy, tables.energyD2);
  tables.hasRoughness = true;
}

void buildStretchTables(UpstreamTables& tables, float z0, float ustar, float Gamma,
                        const UpstreamLine& l) {
  const int nP = l.nP, nH = l.nH, h = l.h;
  const std::span<const float> dist = l.dist.span(), heights = l.heights.span(), S = l.S.span();
  const Matrix &U = l.U, &Su = l.Su, &Sv = l.Sv;
  checkLine(nP, dist);
  if (nH < 1 || heights.size() < static_cast<std::size_t>(nH) ||
      S.size() < static_cast<std::size_t>(nH))
    fatalError("upstream tables: fewer heights than stated");
  if (h < 0 || h >= nH) fatalError("KESTAVHeightNo is outside the heights of the terrain file");
  const float zk = heights[h];
  const std::span<const float> levels = prefix(heights, nH), line = prefix(dist, nP);

  // Work arrays: values and second derivatives of the two strain integrands
  // along the line, and one height profile.
  Matrix lv = matrix(0, 1, 0, nP - 1);
  Matrix l2 = matrix(0, 1, 0, nP - 1);
  Vector column = vector(0, nH - 1);
  auto profileAt = [&](const Matrix& m, int j, bool decay) {
    for (int i = 0; i < nH; ++i) column[i] = m[i][j];
    return profileInterp(levels, column.span(), zk, decay);
  };

  // Along-wind speed, along-wind and cross-wind strain rate at the chosen
  // height, point by point; they do not depend on kL.
  Vector uv = vector(0, nP - 1), av = vector(0, nP - 1), bv = vector(0, nP - 1);
  for (int j = 0; j < nP; ++j) {
    uv[j] = profileAt(U, j, false);
    av[j] = profileAt(Su, j, true);
    bv[j] = profileAt(Sv, j, true);
    if (!(uv[j] > 0.0f) || !(U[h][j] > 0.0f))
      fatalError("along-wind speed must be positive at every point of the terrain line");
  }

  const double totalShearLog = ustar / (double(kVonKarman) * zk);
  const double totalShear = double(profileInterp(levels, S, zk, true)) + totalShearLog;
  const double logSpeedScale = ustar / double(kVonKarman);
  const double logHeight = std::log(double(zk) / z0);
  const double shortStrain = kShortStrainFraction * dist[1];
  const double u0 = U[h][0];
  const double f0 = double(Su[h][0]) / U[h][0], f1 = double(Su[h][1]) / U[h][1];
  const double g0 = double(Sv[h][0]) / U[h][0], g1 = double(Sv[h][1]) / U[h][1];

  for (int i = 0; i < kKLGridSize; ++i) {
    const float kL = kLGrid(i);
    tables.kL[i] = kL;
    const float T = toFloat(toFloat(lifeTime(kL) * Gamma) / totalShear);
    if (T * logSpeedScale * logHeight <= shortStrain) {
      // Short memory: the memory length u T times the strain rate per unit
      // speed at the site, raised by its gradient along the first spacing.
      const double ell = T * u0;
      tables.strain[0][i] = toFloat(ell * (f0 + (f1 - f0) / dist[1]));
      tables.strain[1][i] = toFloat(ell * (g0 + (g1 - g0) / dist[1]));
    } else {
      const std::span<float> l0 = lv.rowSpan(0), l1 = lv.rowSpan(1);
      for (int j = 0; j < nP; ++j) {
        const double u = uv[j];
        const double w = std::exp(-dist[j] / (u * T));
        l0[j] = toFloat(w * av[j] / u);
        l1[j] = toFloat(w * bv[j] / u);
      }
      const double slopeScale = double(T) * (u0 * u0);
      splineSetup(line, l0, toFloat(-Su[h][0] / slopeScale), kNaturalSpline, l2.rowSpan(0));
      splineSetup(line, l1, toFloat(-Sv[h][0] / slopeScale), kNaturalSpline, l2.rowSpan(1));
      tables.strain[0][i] = splineIntegral(line, l0, l2.rowSpan(0));
      tables.strain[1][i] = splineIntegral(line, l1, l2.rowSpan(1));
    }
  }
  for (int c = 0; c < 2; ++c) finishTable(tables.kL, tables.strain[c], tables.strainD2[c]);
  tables.hasStretch = true;
}

}  // namespace wind
