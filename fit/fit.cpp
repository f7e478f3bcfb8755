#include "fit/fit.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>

#include "fit/model_spectra.hpp"
#include "fit/similarity_table.hpp"
#include "numerics/cholesky.hpp"
#include "support/fatal_error.hpp"
#include "support/print_format.hpp"

namespace wind {

namespace {

constexpr int kAuto = 3;  // u, v, w
constexpr int kUw = static_cast<int>(SpectrumComponent::uw);
constexpr int kP = 3;  // ln alphaeps, ln L, Gamma
// A run of more members than this is averaged by Gauss-Legendre over its span
// (each member standing for kStep of it) instead of member by member.
constexpr int kExactMembers = 128;
// Gauss-Legendre nodes and weights on [-1, 1], four points.
constexpr double kGaussNode[4] = {-0.8611363115940526, -0.3399810435848563, 0.3399810435848563,
                                  0.8611363115940526};
constexpr double kGaussWeight[4] = {0.3478548451374538, 0.6521451548625461, 0.6521451548625461,
                                    0.3478548451374538};
// Passes of the fit with the uw residuals' scale renewed, and the change of
// the parameters (ln alphaeps, ln L, Gamma) below which a pass is the last.
constexpr int kUwPasses = 6;
constexpr double kUwPassTol = 1e-7;
// Start scan over Gamma, and over L per decade.
constexpr double kScanGammas[] = {0.5, 1.5, 2.5, 3.5, 5.0, 7.0, 9.0};
constexpr int kScanPerDecade = 10;

[[noreturn]] void refuse(const std::string& what) { fatalError("fitSpectra: " + what); }

bool positiveFinite(double v) { return std::isfinite(v) && v > 0; }

// The digamma function psi(x), x > 0: the recurrence psi(x) = psi(x + 1) - 1/x
// up to x >= 6, then the asymptotic series (Abramowitz and Stegun 6.3.18),
// accurate to 1e-10 there.
double digamma(double x) {
  double r = 0;
  while (x < 6) {
    r -= 1 / x;
    x += 1;
  }
  const double f = 1 / (x * x);
  return r + std::log(x) - 0.5 / x - f * (1.0 / 12 - f * (1.0 / 120 - f * (1.0 / 252)));
}

// E[ln mean] - ln E[mean] of a mean of dof independent exponential values.
double logBias(double dof) { return digamma(dof) - std::log(dof); }

// The points at which a band's model is evaluated, with the number of
// members each stands for.
struct EvalPoint {
  double k, weight;
};

// The fit's problem: bands used per component, their measured values and
// evaluation points.
struct Problem {
  explicit Problem(const BandSpectra& spectra) : s(spectra) {}
  const BandSpectra& s;
  std::array<bool, kSpectrumComponents> used{};
  std::array<double, kSpectrumComponents> sqrtWeight{};
  std::vector<int> bands;               // indices of the bands in range
  std::vector<std::size_t> pointStart;  // per band in range, into points (size bands + 1)
  std::vector<EvalPoint> points;
  std::vector<double> logBias;  // per band in range (0 where dof is unknown)
  std::vector<double> uwScale;  // per band in range: sqrt(F_u F_w) of the model
  std::array<bool, kP> free{};
  std::array<double, kP> fixedTheta{};
  int nFree = 0;

  int residualCount() const {
    int n = 0;
    for (int c = 0; c < kSpectrumComponents; ++c) n += used[c] ? static_cast<int>(bands.size()) : 0;
    return n;
  }
};

// The model's band means (and, with grad, their gradients by theta): for u,
// v, w the logarithm of the mean, for uw the mean itself.
struct BandModel {
  std::array<double, kSpectrumComponents> value{};
  std::array<std::array<double, kP>, kSpectrumComponents> grad{};
};

ModelParameters parametersOf(const std::array<double, kP>& theta) {
  return {static_cast<float>(std::exp(theta[0])), static_cast<float>(std::exp(theta[1])),
          static_cast<float>(theta[2])};
}

BandModel bandModel(const ModelSpectra& model, const EvalPoint* first, const EvalPoint* last,
                    bool withGrad) {
  std::array<double, kSpectrumComponents> sum{};
  std::array<std::array<double, kP>, kSpectrumComponents> dsum{};
  double count = 0;
  for (const EvalPoint* e = first; e != last; ++e) {
    ValueAndGradient g[kSpectrumComponents];
    double F[kSpectrumComponents];
    for (int c = 0; c < kSpectrumComponents; ++c)
      g[c] = model.at(e->k, static_cast<SpectrumComponent>(c));
    for (int c = 0; c < kAuto; ++c) F[c] = std::exp(g[c].value);
    const double root = std::sqrt(F[0] * F[2]);
    F[kUw] = g[kUw].value * root;
    count += e->weight;
    for (int c = 0; c < kSpectrumComponents; ++c) sum[c] += e->weight * F[c];
    if (!withGrad) continue;
    for (int k = 0; k < kP; ++k) {
      for (int c = 0; c < kAuto; ++c) dsum[c][k] += e->weight * F[c] * g[c].grad[k];
      dsum[kUw][k] +=
          e->weight * (F[kUw] * 0.5 * (g[0].grad[k] + g[2].grad[k]) + root * g[kUw].grad[k]);
    }
  }
  BandModel m;
  for (int c = 0; c < kAuto; ++c) {
    m.value[c] = std::log(sum[c] / count);
    for (int k = 0; k < kP; ++k) m.grad[c][k] = withGrad ? dsum[c][k] / sum[c] : 0.0;
  }
  m.value[kUw] = sum[kUw] / count;
  for (int k = 0; k < kP; ++k) m.grad[kUw][k] = withGrad ? dsum[kUw][k] / count : 0.0;
  return m;
}

// Residuals (and the Jacobian over the free parameters) at the full theta.
void residuals(const Problem& pb, const std::array<double, kP>& theta, std::vector<double>& r,
               std::vector<double>* J) {
  const ModelSpectra model(parametersOf(theta));
  const std::size_t nb = pb.bands.size();
  r.assign(static_cast<std::size_t>(pb.residualCount()), 0.0);
  if (J) J->assign(r.size() * std::size_t(pb.nFree), 0.0);
  for (std::size_t i = 0; i < nb; ++i) {
    const int b = pb.bands[i];
    const BandModel m = bandModel(model, &pb.points[pb.pointStart[i]],
                                  &pb.points[0] + pb.pointStart[i + 1], J != nullptr);
    std::size_t row = i;
    for (int c = 0; c < kSpectrumComponents; ++c) {
      if (!pb.used[c]) continue;
      const double w = pb.sqrtWeight[c];
      double scale = -w;  // d r / d model value
      if (c < kAuto) {
        r[row] = w * (std::log(pb.s.F[c][b]) - m.value[c] - pb.logBias[i]);
      } else {
        const double D = pb.uwScale[i];
        r[row] = w * (pb.s.F[kUw][b] - m.value[kUw]) / D;
        scale = -w / D;
      }
      if (J) {
        int col = 0;
        for (int k = 0; k < kP; ++k)
          if (pb.free[k])
            (*J)[row * std::size_t(pb.nFree) + std::size_t(col++)] = scale * m.grad[c][k];
      }
      row += nb;
    }
  }
}

// The scale of the uw residuals, the model's sqrt(F_u F_w) band by band, at theta.
void setUwScale(Problem& pb, const std::array<double, kP>& theta) {
  const ModelSpectra model(parametersOf(theta));
  pb.uwScale.resize(pb.bands.size());
  for (std::size_t i = 0; i < pb.bands.size(); ++i) {
    const BandModel m =
        bandModel(model, &pb.points[pb.pointStart[i]], &pb.points[0] + pb.pointStart[i + 1], false);
    pb.uwScale[i] = std::exp(0.5 * (m.value[0] + m.value[2]));
  }
}

double sumOfSquares(const std::vector<double>& r) {
  double s = 0;
  for (double v : r) s += v * v;
  return s;
}

void validate(const BandSpectra& s, const FitOptions& o) {
  const std::size_t nb = s.bands.size();
  if (nb == 0) refuse("no bands");
  for (std::size_t b = 0; b < nb; ++b) {
    const SpectrumBand& band = s.bands[b];
    const std::string where = "band " + std::to_string(b + 1);
    if (!positiveFinite(band.k1))
      refuse(where + ": k1 = " + formatG6(band.k1) + " is not a positive number");
    if (b > 0 && !(band.k1 > s.bands[b - 1].k1)) refuse(where + ": k1 does not rise");
    if (band.runs.empty()) refuse(where + " has no members");
    for (const MemberRun& run : band.runs)
      if (!positiveFinite(run.kFirst) || !(run.kStep >= 0 && std::isfinite(run.kStep)) ||
          run.count < 1)
        refuse(where + ": a member run is not a positive wave number, step and count");
  }
  for (int c = 0; c < kSpectrumComponents; ++c) {
    const auto& F = s.F[c];
    const char* name = componentName(static_cast<SpectrumComponent>(c));
    if (F.empty()) continue;
    if (F.size() != nb)
      refuse(std::string("the ") + name + " spectrum has " + std::to_string(F.size()) +
             " values for " + std::to_string(nb) + " bands");
    for (std::size_t b = 0; b < nb; ++b)
      if (c < kAuto ? !positiveFinite(F[b]) : !std::isfinite(F[b]))
        refuse(std::string("the ") + name + " spectrum at band " + std::to_string(b + 1) + " is " +
               formatG6(F[b]) + (c < kAuto ? ", not a positive number" : ", not a number"));
    const double w = o.weights[c];
    if (!(w >= 0) || !std::isfinite(w))
      refuse(std::string("the weight of ") + name + " is " + formatG6(w) +
             ", not zero or a positive number");
  }
  if (!s.dof.empty()) {
    if (s.dof.size() != nb)
      refuse("dof has " + std::to_string(s.dof.size()) + " values for " + std::to_string(nb) +
             " bands");
    for (std::size_t b = 0; b < nb; ++b)
      if (!(s.dof[b] >= 1) || !std::isfinite(s.dof[b]))
        refuse("dof at band " + std::to_string(b + 1) + " is " + formatG6(s.dof[b]) +
               ", not a number of at least 1");
  }
  if (!(o.LMin >= kMinLengthScale) || !(o.LMax > o.LMin) || !std::isfinite(o.LMax))
    refuse("the bounds of L, " + formatG6(o.LMin) + " m to " + formatG6(o.LMax) +
           " m, are not a range from at least 0.001 m");
  if (!(o.kMin < o.kMax)) refuse("the wave-number range is empty");
  if (const auto& a = o.fixed[0]; a && !positiveFinite(*a))
    refuse("alphaeps = " + formatG6(*a) + " is not a positive number");
  if (const auto& L = o.fixed[1]; L && !(*L >= o.LMin && *L <= o.LMax))
    refuse("L = " + formatG6(*L) + " m is outside " + formatG6(o.LMin) + " to " + formatG6(o.LMax) +
           " m");
  if (const auto& G = o.fixed[2]; G && !(*G >= 0 && *G <= kMaxAbsGamma))
    refuse("Gamma = " + formatG6(*G) + " is outside 0 to 10");
  if (o.start) {
    const ModelParameters& p = *o.start;
    if (!positiveFinite(p.alphaeps) || !(p.L >= o.LMin && p.L <= o.LMax) ||
        !(p.Gamma >= 0 && p.Gamma <= kMaxAbsGamma))
      refuse("the start values alphaeps " + formatG6(p.alphaeps) + ", L " + formatG6(p.L) +
             " m, Gamma " + formatG6(p.Gamma) +
             " are outside the model's range (alphaeps > 0, L within its bounds, Gamma 0 to 10)");
  }
}

Problem buildProblem(const BandSpectra& s, const FitOptions& o) {
  Problem pb(s);
  for (int c = 0; c < kSpectrumComponents; ++c) {
    pb.used[c] = s.measured(static_cast<SpectrumComponent>(c)) && o.weights[c] > 0;
    pb.sqrtWeight[c] = std::sqrt(o.weights[c]);
  }
  pb.pointStart.push_back(0);
  for (std::size_t b = 0; b < s.bands.size(); ++b) {
    const double k1 = s.bands[b].k1;
    if (k1 < o.kMin || k1 > o.kMax) continue;
    pb.bands.push_back(static_cast<int>(b));
    pb.logBias.push_back(s.dof.empty() ? 0.0 : logBias(s.dof[b]));
    for (const MemberRun& run : s.bands[b].runs) {
      if (run.count <= kExactMembers) {
        for (int i = 0; i < run.count; ++i) pb.points.push_back({run.kFirst + i * run.kStep, 1.0});
      } else {
        // The run's span, each member standing for kStep of it.
        const double lo = run.kFirst - 0.5 * run.kStep,
                     hi = run.kFirst + (run.count - 0.5) * run.kStep;
        for (int g = 0; g < 4; ++g)
          pb.points.push_back({0.5 * (lo + hi) + 0.5 * (hi - lo) * kGaussNode[g],
                               0.5 * run.count * kGaussWeight[g]});
      }
    }
    pb.pointStart.push_back(pb.points.size());
  }
  for (int k = 0; k < kP; ++k) {
    pb.free[k] = !o.fixed[k].has_value();
    pb.nFree += pb.free[k] ? 1 : 0;
  }
  if (o.fixed[0]) pb.fixedTheta[0] = std::log(*o.fixed[0]);
  if (o.fixed[1]) pb.fixedTheta[1] = std::log(*o.fixed[1]);
  if (o.fixed[2]) pb.fixedTheta[2] = *o.fixed[2];
  bool any = false;
  for (bool u : pb.used) any = any || u;
  if (!any) refuse("no spectrum to fit (none measured with a weight above 0)");
  if (pb.used[kUw] && !pb.used[0] && !pb.used[1] && !pb.used[2])
    refuse(
        "the uw co-spectrum alone does not fix the level and the length scale (it is fitted "
        "relative to the model's u and w spectra): fit it with an auto-spectrum");
  if (pb.residualCount() < std::max(pb.nFree, 1))
    refuse(std::to_string(pb.bands.size()) + " bands within the wave-number range " +
           formatG6(o.kMin) + " to " + formatG6(o.kMax) + " rad/m are too few for " +
           std::to_string(pb.nFree) + " free parameters");
  return pb;
}

// The start values: the scan over L and Gamma described in fit.hpp, on the
// band centres, with ln alphaeps set to the weighted mean log misfit of the
// auto-spectra (when free).
std::array<double, kP> startTheta(const Problem& pb, const FitOptions& o) {
  std::array<double, kP> best = pb.fixedTheta;
  if (o.start) {
    best = {std::log(double(o.start->alphaeps)), std::log(double(o.start->L)),
            double(o.start->Gamma)};
    for (int k = 0; k < kP; ++k)
      if (!pb.free[k]) best[k] = pb.fixedTheta[k];
    return best;
  }
  // Band centres only: one point per band.
  Problem centres = pb;
  centres.points.clear();
  centres.pointStart = {0};
  for (int b : pb.bands) {
    centres.points.push_back({pb.s.bands[static_cast<std::size_t>(b)].k1, 1.0});
    centres.pointStart.push_back(centres.points.size());
  }
  centres.free = {false, false, false};
  centres.nFree = 0;
  const double kLo = pb.s.bands[static_cast<std::size_t>(pb.bands.front())].k1;
  const double kHi = pb.s.bands[static_cast<std::size_t>(pb.bands.back())].k1;
  std::vector<double> Ls, Gammas;
  if (pb.free[1]) {
    const double lo = std::max(std::log10(o.LMin), std::log10(0.1 / kHi));
    const double hi = std::min(std::log10(o.LMax), std::log10(100.0 / kLo));
    for (double e = lo; e <= hi + 1e-9; e += 1.0 / kScanPerDecade)
      Ls.push_back(std::log(std::pow(10.0, e)));
    if (Ls.empty()) Ls.push_back(std::log(std::sqrt(o.LMin * o.LMax)));
  } else {
    Ls.push_back(pb.fixedTheta[1]);
  }
  if (pb.free[2])
    Gammas.assign(std::begin(kScanGammas), std::end(kScanGammas));
  else
    Gammas.push_back(pb.fixedTheta[2]);
  double bestCost = std::numeric_limits<double>::infinity();
  std::vector<double> r;
  for (double lnL : Ls)
    for (double G : Gammas) {
      std::array<double, kP> theta{pb.free[0] ? 0.0 : pb.fixedTheta[0], lnL, G};
      if (pb.free[0]) {
        // ln alphaeps: the weighted mean of the auto-spectra's log misfit at alphaeps = 1.
        setUwScale(centres, theta);
        residuals(centres, theta, r, nullptr);
        double num = 0, den = 0;
        const std::size_t nb = pb.bands.size();
        std::size_t row = 0;
        for (int c = 0; c < kSpectrumComponents; ++c) {
          if (!pb.used[c]) continue;
          if (c < kAuto)
            for (std::size_t i = 0; i < nb; ++i) {
              num += pb.sqrtWeight[c] * r[row + i];
              den += o.weights[c];
            }
          row += nb;
        }
        theta[0] = den > 0 ? num / den : 0.0;
      }
      setUwScale(centres, theta);
      residuals(centres, theta, r, nullptr);
      const double cost = sumOfSquares(r);
      if (cost < bestCost) {
        bestCost = cost;
        best = theta;
      }
    }
  return best;
}

// Standard errors of the free parameters in theta: the square roots of the
// diagonal of the sandwich (J^T J)^-1 (sum_b g_b g_b^T) (J^T J)^-1 n / (n - p),
// g_b = J_b^T r_b the gradient of band b's residuals (u, v, w and uw of one
// band together, since they come from the same stretch of turbulence and
// their misfits are correlated; the usual s^2 (J^T J)^-1 takes every residual
// as independent with one variance, and then understates the spread of L and
// Gamma about twofold for series). NaN for a parameter whose column is (next
// to) zero.
std::array<double, kP> thetaErrors(const Problem& pb, const std::vector<double>& r,
                                   const std::vector<double>& J) {
  std::array<double, kP> se{kNotANumber, kNotANumber, kNotANumber};
  const int p = pb.nFree;
  const int n = static_cast<int>(r.size());
  const int nb = static_cast<int>(pb.bands.size());
  if (n <= p) return se;
  const auto j = [&](int row, int k) { return J[std::size_t(row * p + k)]; };
  double diag[kP] = {0, 0, 0}, largest = 0;
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < p; ++k) diag[k] += j(i, k) * j(i, k);
  for (int k = 0; k < p; ++k) largest = std::max(largest, diag[k]);
  int keep[kP], q = 0;
  for (int k = 0; k < p; ++k)
    if (diag[k] > 1e-14 * largest && diag[k] > 0) keep[q++] = k;
  if (q == 0) return se;
  std::complex<double> a[kP * kP] = {};
  for (int i = 0; i < n; ++i)
    for (int u = 0; u < q; ++u)
      for (int v = 0; v <= u; ++v) a[u * q + v] += j(i, keep[u]) * j(i, keep[v]);
  if (!choleskyFactor(std::span(a, std::size_t(q * q)), q).ok) return se;
  // (J^T J)^-1, column by column.
  double inv[kP][kP] = {};
  for (int u = 0; u < q; ++u) {
    std::complex<double> e[kP] = {};
    e[u] = 1.0;
    choleskySolve(std::span<const std::complex<double>>(a, std::size_t(q * q)), q,
                  std::span(e, std::size_t(q)));
    for (int v = 0; v < q; ++v) inv[v][u] = e[v].real();
  }
  // The meat: band gradients (rows of band b are b, b + nb, ...).
  double meat[kP][kP] = {};
  for (int b = 0; b < nb; ++b) {
    double g[kP] = {};
    for (int row = b; row < n; row += nb)
      for (int u = 0; u < q; ++u) g[u] += j(row, keep[u]) * r[std::size_t(row)];
    for (int u = 0; u < q; ++u)
      for (int v = 0; v < q; ++v) meat[u][v] += g[u] * g[v];
  }
  int freeIndex[kP], f = 0;
  for (int k = 0; k < kP; ++k)
    if (pb.free[k]) freeIndex[f++] = k;
  const double small = double(n) / double(n - p);
  for (int u = 0; u < q; ++u) {
    double c = 0;
    for (int v = 0; v < q; ++v)
      for (int w = 0; w < q; ++w) c += inv[u][v] * meat[v][w] * inv[w][u];
    se[freeIndex[keep[u]]] = std::sqrt(small * c);
  }
  return se;
}

// The integral over the bands of 2 k1 F in ln k1 (trapezoid rule): the
// variance between the first and the last band, both signs of k1.
double bandVariance(const BandSpectra& s, const std::vector<int>& bands,
                    const std::vector<double>& F) {
  double v = 0;
  for (std::size_t i = 1; i < bands.size(); ++i) {
    const auto a = static_cast<std::size_t>(bands[i - 1]), b = static_cast<std::size_t>(bands[i]);
    v += (s.bands[a].k1 * F[a] + s.bands[b].k1 * F[b]) * std::log(s.bands[b].k1 / s.bands[a].k1);
  }
  return v;
}

}  // namespace

int SpectrumBand::members() const {
  int n = 0;
  for (const MemberRun& r : runs) n += r.count;
  return n;
}

const char* parameterName(FitParameter p) {
  static constexpr const char* kNames[] = {"alphaeps", "L", "Gamma"};
  return kNames[static_cast<int>(p)];
}

FitResult fitSpectra(const BandSpectra& s, const FitOptions& o) {
  validate(s, o);
  Problem pb = buildProblem(s, o);
  const std::array<double, kP> theta0 = startTheta(pb, o);
  setUwScale(pb, theta0);

  // The LM sees the free parameters only.
  std::array<double, kP> lower{}, upper{}, x0{};
  int freeIndex[kP], p = 0;
  const double bLo[kP] = {-700.0, std::log(o.LMin), 0.0};
  const double bHi[kP] = {700.0, std::log(o.LMax), double(kMaxAbsGamma)};
  for (int k = 0; k < kP; ++k)
    if (pb.free[k]) {
      freeIndex[p] = k;
      lower[p] = bLo[k];
      upper[p] = bHi[k];
      x0[p] = theta0[k];
      ++p;
    }
  const auto full = [&](const std::array<double, kP>& x) {
    std::array<double, kP> t = pb.fixedTheta;
    for (int k = 0; k < p; ++k) t[freeIndex[k]] = x[k];
    return t;
  };
  FitResult out;
  std::array<double, kP> theta = theta0;
  std::vector<double> r, J;
  if (p > 0) {
    // The uw residuals' scale is held within a pass and set anew from each
    // pass's solution, until a pass no longer moves the parameters.
    LmResult lm;
    for (int pass = 0; pass < kUwPasses; ++pass) {
      lm = levenbergMarquardt([&](const std::array<double, kP>& x, std::vector<double>& rr,
                                  std::vector<double>* JJ) { residuals(pb, full(x), rr, JJ); },
                              p, x0, lower, upper, o.lm);
      out.iterations += lm.iterations;
      double moved = 0;
      for (int k = 0; k < p; ++k) moved = std::max(moved, std::fabs(lm.theta[k] - x0[k]));
      x0 = lm.theta;
      if (!pb.used[kUw] || lm.status != LmStatus::converged || moved <= kUwPassTol) break;
      setUwScale(pb, full(x0));
    }
    theta = full(lm.theta);
    out.status =
        lm.status == LmStatus::converged ? FitStatus::converged : FitStatus::iterationLimit;
    for (int k = 0; k < p; ++k)
      if (lm.pushing[k] != 0 && out.status == FitStatus::converged) {
        out.status = FitStatus::onBound;
        out.boundParameter = static_cast<FitParameter>(freeIndex[k]);
        out.boundSide = lm.pushing[k];
        break;
      }
    r = lm.r;
    J = lm.J;
  } else {
    residuals(pb, theta, r, nullptr);
  }
  out.params = parametersOf(theta);
  for (int k = 0; k < kP; ++k) out.fixed[k] = !pb.free[k];
  const std::array<double, kP> se =
      p > 0 ? thetaErrors(pb, r, J) : std::array<double, kP>{kNotANumber, kNotANumber, kNotANumber};
  out.standardError = {double(out.params.alphaeps) * se[0], double(out.params.L) * se[1], se[2]};

  // Per component: residuals, model band values, variances.
  const ModelSpectra model(out.params);
  const std::size_t nb = s.bands.size();
  out.bandUsed.assign(nb, false);
  for (int b : pb.bands) out.bandUsed[static_cast<std::size_t>(b)] = true;
  std::vector<BandModel> bandModels;
  for (std::size_t b = 0; b < nb; ++b) {
    std::vector<EvalPoint> pts;
    for (const MemberRun& run : s.bands[b].runs)
      for (int i = 0; i < run.count; ++i) pts.push_back({run.kFirst + i * run.kStep, 1.0});
    bandModels.push_back(bandModel(model, pts.data(), pts.data() + pts.size(), false));
  }
  std::size_t row = 0;
  for (int c = 0; c < kSpectrumComponents; ++c) {
    ComponentFit& cf = out.components[c];
    const auto comp = static_cast<SpectrumComponent>(c);
    cf.used = pb.used[c];
    cf.modelVariance = model.variance(comp);
    cf.model.resize(nb);
    for (std::size_t b = 0; b < nb; ++b)
      cf.model[b] = c < kAuto ? std::exp(bandModels[b].value[c]) : bandModels[b].value[c];
    cf.modelBandVariance = bandVariance(s, pb.bands, cf.model);
    if (s.measured(comp)) cf.measuredBandVariance = bandVariance(s, pb.bands, s.F[c]);
    if (!cf.used) continue;
    cf.bands = static_cast<int>(pb.bands.size());
    double ss = 0;
    for (std::size_t i = 0; i < pb.bands.size(); ++i) ss += r[row + i] * r[row + i];
    cf.rms = std::sqrt(ss / cf.bands) / pb.sqrtWeight[c];
    row += pb.bands.size();
  }
  out.residuals = static_cast<int>(r.size());
  out.rms = std::sqrt(sumOfSquares(r) / double(r.size()));
  for (int b : pb.bands)
    if (std::log10(s.bands[static_cast<std::size_t>(b)].k1 * double(out.params.L)) < kTableLog10X0)
      ++out.bandsBelowTable;
  return out;
}

SegmentSpread segmentSpread(const std::vector<BandSpectra>& segments, const FitOptions& options,
                            const FitResult& pooled) {
  SegmentSpread out;
  if (static_cast<int>(segments.size()) < kMinSegmentsForSpread) return out;
  FitOptions o = options;
  o.start = pooled.params;
  std::vector<ModelParameters> fits;
  for (const BandSpectra& seg : segments) {
    const FitResult r = fitSpectra(seg, o);
    if (r.status == FitStatus::converged) fits.push_back(r.params);
  }
  if (static_cast<int>(fits.size()) < kMinSegmentsForSpread) return out;
  out.segments = static_cast<int>(fits.size());
  const double n = double(fits.size());
  for (int k = 0; k < kP; ++k) {
    if (pooled.fixed[k]) continue;
    double sum = 0, sum2 = 0;
    for (const ModelParameters& p : fits) {
      const double v = k == 0 ? p.alphaeps : k == 1 ? p.L : p.Gamma;
      sum += v;
      sum2 += v * v;
    }
    const double mean = sum / n;
    out.standardError[k] = std::sqrt(std::max(0.0, (sum2 - n * mean * mean) / (n - 1)) / n);
  }
  return out;
}

}  // namespace wind
