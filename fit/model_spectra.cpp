#include "fit/model_spectra.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "fit/similarity_table.hpp"

namespace wind {

namespace {

constexpr int kN = kTableXNodes;
constexpr int kM = kTableGammaNodes;
constexpr int kC = kSpectrumComponents;
constexpr double kLn10 = std::numbers::ln10;

// Fall-off of r_c and rho beyond the last node, in powers of x.
constexpr double kTailPowerR = 4.0 / 3.0;
constexpr double kTailPowerRho = 2.0 / 3.0;

// Fourth-order first derivative per unit step at node i of a row of n values
// v(i): centred where it can be, one-sided within two nodes of an end whose
// value is not given by a mirror.
template <class V>
double slopeAt(const V& v, int i, int n) {
  if (i >= 2 && i <= n - 3) return (v(i - 2) - 8 * v(i - 1) + 8 * v(i + 1) - v(i + 2)) / 12;
  if (i == 0) return (-25 * v(0) + 48 * v(1) - 36 * v(2) + 16 * v(3) - 3 * v(4)) / 12;
  if (i == 1) return (-3 * v(0) - 10 * v(1) + 18 * v(2) - 6 * v(3) + v(4)) / 12;
  if (i == n - 2)
    return (-v(n - 5) + 6 * v(n - 4) - 18 * v(n - 3) + 10 * v(n - 2) + 3 * v(n - 1)) / 12;
  return (3 * v(n - 5) - 16 * v(n - 4) + 36 * v(n - 3) - 48 * v(n - 2) + 25 * v(n - 1)) / 12;
}

// The same along Gamma, where the model's symmetry continues the row below
// Gamma = 0: r_c (and the variances of u, v, w) are even, rho (and the uw
// covariance) odd in Gamma, and the node coordinate is odd in Gamma too.
template <class V>
double gammaSlopeAt(const V& v, int m, bool odd) {
  if (m >= 2) return slopeAt(v, m, kM);
  const double sign = odd ? -1.0 : 1.0;
  const auto w = [&](int k) { return k >= 0 ? v(k) : sign * v(-k); };
  return (w(m - 2) - 8 * w(m - 1) + 8 * w(m + 1) - w(m + 2)) / 12;
}

bool oddInGamma(int c) { return c == static_cast<int>(SpectrumComponent::uw); }

// Node slopes of the table: along log10 x (per node), along the Gamma
// coordinate (per node) and across.
struct NodeSlopes {
  double dn[kM][kN][kC];
  double dm[kM][kN][kC];
  double dnm[kM][kN][kC];
  double varDm[kM][kC];

  NodeSlopes() {
    for (int c = 0; c < kC; ++c) {
      for (int m = 0; m < kM; ++m)
        for (int n = 0; n < kN; ++n)
          dn[m][n][c] = slopeAt([&](int k) { return kSimilarityTable[m][k][c]; }, n, kN);
      for (int n = 0; n < kN; ++n)
        for (int m = 0; m < kM; ++m) {
          dm[m][n][c] =
              gammaSlopeAt([&](int k) { return kSimilarityTable[k][n][c]; }, m, oddInGamma(c));
          dnm[m][n][c] = gammaSlopeAt([&](int k) { return dn[k][n][c]; }, m, oddInGamma(c));
        }
      for (int m = 0; m < kM; ++m)
        varDm[m][c] =
            gammaSlopeAt([&](int k) { return kSimilarityVariance[k][c]; }, m, oddInGamma(c));
    }
  }
};

const NodeSlopes& nodeSlopes() {
  static const NodeSlopes slopes;  // built once, then read-only
  return slopes;
}

// Cubic Hermite basis on [0, 1]: value at 0, slope at 0, value at 1, slope at
// 1, and their derivatives.
struct Hermite {
  double h[4], d[4];
  explicit Hermite(double t) {
    const double t2 = t * t, t3 = t2 * t;
    h[0] = 2 * t3 - 3 * t2 + 1;
    h[1] = t3 - 2 * t2 + t;
    h[2] = -2 * t3 + 3 * t2;
    h[3] = t3 - t2;
    d[0] = 6 * t2 - 6 * t;
    d[1] = 3 * t2 - 4 * t + 1;
    d[2] = -6 * t2 + 6 * t;
    d[3] = 3 * t2 - 2 * t;
  }
};

// The cell of a coordinate on nodes 0 .. count-1: its first node and the
// fraction within it (coordinates beyond the ends are held there).
void cellOf(double t, int count, int& i, double& frac) {
  t = std::clamp(t, 0.0, double(count - 1));
  i = std::min(static_cast<int>(t), count - 2);
  frac = t - i;
}

// r_c or rho at node coordinates (tn, tm), with its derivatives per node
// along each.
struct TableValue {
  double v, dn, dm;
};

TableValue interpolate(double tn, double tm, int c) {
  const NodeSlopes& s = nodeSlopes();
  int n = 0, m = 0;
  double a = 0, b = 0;
  cellOf(tn, kN, n, a);
  cellOf(tm, kM, m, b);
  const Hermite ha(a), hb(b);
  TableValue r{0, 0, 0};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      const int nn = n + i, mm = m + j;
      const double corner[4] = {kSimilarityTable[mm][nn][c], s.dn[mm][nn][c], s.dm[mm][nn][c],
                                s.dnm[mm][nn][c]};
      // Value basis is h[2 i], slope basis h[2 i + 1] along each axis.
      const double an = ha.h[2 * i], sn = ha.h[2 * i + 1], dan = ha.d[2 * i], dsn = ha.d[2 * i + 1];
      const double am = hb.h[2 * j], sm = hb.h[2 * j + 1], dam = hb.d[2 * j], dsm = hb.d[2 * j + 1];
      r.v += an * am * corner[0] + sn * am * corner[1] + an * sm * corner[2] + sn * sm * corner[3];
      r.dn +=
          dan * am * corner[0] + dsn * am * corner[1] + dan * sm * corner[2] + dsn * sm * corner[3];
      r.dm +=
          an * dam * corner[0] + sn * dam * corner[1] + an * dsm * corner[2] + sn * dsm * corner[3];
    }
  return r;
}

// d ln f_c,iso / d ln x of the von Karman closed forms.
double isotropicLogSlope(double x, SpectrumComponent c) {
  const double x2 = x * x;
  if (c == SpectrumComponent::u) return -5.0 / 3.0 * x2 / (1 + x2);
  return 16 * x2 / (3 + 8 * x2) - 11.0 / 3.0 * x2 / (1 + x2);
}

}  // namespace

ModelSpectra::ModelSpectra(ModelParameters p)
    : p_(p),
      lnScale_(std::log(double(p.alphaeps)) + 5.0 / 3.0 * std::log(double(p.L))),
      gammaCoord_(tableGammaCoordinate(std::clamp(double(p.Gamma), 0.0, kTableGammaMax))),
      gammaSlope_(tableGammaCoordinateSlope(std::clamp(double(p.Gamma), 0.0, kTableGammaMax))) {
  nodeSlopes();
}

ValueAndGradient ModelSpectra::at(double k1, SpectrumComponent c) const {
  const double x = k1 * double(p_.L);
  const double u = std::log10(x);
  const double last = tableLog10X(kN - 1);
  const int ci = static_cast<int>(c);
  TableValue t = interpolate((u - kTableLog10X0) / kTableLog10XStep, gammaCoord_, ci);
  double perU = t.dn / kTableLog10XStep;  // d/d log10 x
  if (u < kTableLog10X0) perU = 0.0;
  if (u > last) {
    // The inertial-range tail: the last node's value falling off as a power.
    const double power = c == SpectrumComponent::uw ? kTailPowerRho : kTailPowerR;
    const double f = std::pow(10.0, -power * (u - last));
    t.v *= f;
    t.dm *= f;
    perU = -power * kLn10 * t.v;
  }
  ValueAndGradient r;
  const double perGamma = t.dm * gammaSlope_;
  if (c == SpectrumComponent::uw) {
    r.value = t.v;
    r.grad = {0.0, perU / kLn10, perGamma};
    return r;
  }
  r.value = lnScale_ + std::log(isotropicSpectrum(x, c)) + t.v;
  r.grad = {1.0, 5.0 / 3.0 + isotropicLogSlope(x, c) + perU / kLn10, perGamma};
  return r;
}

double ModelSpectra::spectrum(double k1, SpectrumComponent c) const {
  if (c != SpectrumComponent::uw) return std::exp(at(k1, c).value);
  return at(k1, c).value *
         std::sqrt(spectrum(k1, SpectrumComponent::u) * spectrum(k1, SpectrumComponent::w));
}

double ModelSpectra::variance(SpectrumComponent c) const {
  const NodeSlopes& s = nodeSlopes();
  const int ci = static_cast<int>(c);
  int m = 0;
  double b = 0;
  cellOf(gammaCoord_, kM, m, b);
  const Hermite h(b);
  const double v = h.h[0] * kSimilarityVariance[m][ci] + h.h[1] * s.varDm[m][ci] +
                   h.h[2] * kSimilarityVariance[m + 1][ci] + h.h[3] * s.varDm[m + 1][ci];
  return double(p_.alphaeps) * std::pow(double(p_.L), 2.0 / 3.0) * v;
}

}  // namespace wind
