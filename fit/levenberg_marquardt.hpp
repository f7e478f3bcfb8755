#pragma once
// Bounded nonlinear least squares for a few parameters: minimise
// cost(theta) = 1/2 sum_i r_i(theta)^2 over lower <= theta <= upper.
//
// Method: Levenberg-Marquardt with Marquardt's scaling (More, "The
// Levenberg-Marquardt algorithm: implementation and theory", 1978; Press et
// al. 1992, 15.5). At theta with residuals r and Jacobian J, the step solves
//     (J^T J + lambda diag(J^T J)) delta = -J^T r
// over the free parameters, is cut back onto the bounds (projection), and is
// taken when it lowers the cost (lambda / 10) or refused (lambda * 10). A
// parameter on a bound whose gradient points out of the box is held there
// (the active set) while the others move. Systems go through
// choleskyFactor/choleskySolve (numerics/cholesky.hpp).
//
// Stops (status):
//   converged       a taken step changed no parameter by more than
//                   xtol (1 + |theta_k|), or lowered the cost by less than
//                   ftol times it, or no step lowers the cost any more (lambda
//                   beyond 1e16: a minimum to rounding);
//   iterationLimit  maxIterations steps taken without that.
//
// On return, each parameter's bound status: pushing[k] is -1 (or +1) when
// theta_k sits on its lower (upper) bound and the data would take it beyond
// by more than three standard errors: the cost would fall by the gradient's
// share g_k^2 / (2 (J^T J)_kk) without the bound, and that fall, in units of
// the residuals' variance s^2 / 2 = cost / (n - p), exceeds
// kBoundSignificance = 9 (the square of three). The solution is then the
// bound's, not the data's; noise that leans on a bound by less is no
// verdict. A parameter that reaches a bound with no gradient across it (an
// even function of the parameter about the bound, say) is not pushing.
//
// The residual function is any callable
//     void residuals(const std::array<double, 3>& theta, std::vector<double>& r,
//                    std::vector<double>* J)
// filling r with n values and, when J is given, J with n x p values (row
// major: dr_i/dtheta_k at J[i p + k]). p is 1 to 3; the fit uses
// theta = (ln alphaeps, ln L, Gamma) with fixed parameters left out.
//
// Reentrant; allocates r and J once per call.
#include <array>
#include <cmath>
#include <vector>

namespace wind {

inline constexpr int kMaxLmParameters = 3;
inline constexpr double kBoundSignificance = 9.0;

struct LmOptions {
  int maxIterations = 200;
  double xtol = 1.0e-10;
  double ftol = 1.0e-14;
};

enum class LmStatus { converged, iterationLimit };

struct LmResult {
  std::array<double, kMaxLmParameters> theta{};
  double cost = 0.0;
  int iterations = 0;
  int evaluations = 0;
  LmStatus status = LmStatus::converged;
  std::array<int, kMaxLmParameters> pushing{};
  // The residuals and the Jacobian at theta.
  std::vector<double> r, J;
};

namespace lm_detail {

using Theta = std::array<double, kMaxLmParameters>;

// The Marquardt step over the free parameters for damping lambda: delta
// (zero for the held ones). False when the system cannot be solved.
bool marquardtStep(const std::vector<double>& J, const std::vector<double>& r, int p,
                   const std::array<bool, kMaxLmParameters>& held, double lambda, Theta& delta);

// Gradient g = J^T r and the diagonal of J^T J.
void gradient(const std::vector<double>& J, const std::vector<double>& r, int p, Theta& g,
              Theta& diag);

}  // namespace lm_detail

template <class Residuals>
LmResult levenbergMarquardt(Residuals&& residuals, int p, lm_detail::Theta theta,
                            const lm_detail::Theta& lower, const lm_detail::Theta& upper,
                            const LmOptions& options = {}) {
  using lm_detail::Theta;
  const auto clampToBox = [&](Theta& t) {
    for (int k = 0; k < p; ++k)
      t[k] = t[k] < lower[k] ? lower[k] : (t[k] > upper[k] ? upper[k] : t[k]);
  };
  const auto costOf = [](const std::vector<double>& r) {
    double s = 0.0;
    for (double v : r) s += v * v;
    return 0.5 * s;
  };
  LmResult out;
  clampToBox(theta);
  residuals(theta, out.r, &out.J);
  out.evaluations = 1;
  double cost = costOf(out.r);
  double lambda = 1.0e-3;
  std::vector<double> rTry, JTry;
  Theta g{}, diag{};
  bool done = false;
  while (!done) {
    if (out.iterations >= options.maxIterations) {
      out.status = LmStatus::iterationLimit;
      break;
    }
    ++out.iterations;
    lm_detail::gradient(out.J, out.r, p, g, diag);
    std::array<bool, kMaxLmParameters> held{};
    for (int k = 0; k < p; ++k)
      held[k] = (theta[k] <= lower[k] && g[k] > 0) || (theta[k] >= upper[k] && g[k] < 0);
    for (;;) {
      Theta delta{};
      if (lambda > 1.0e16 || !lm_detail::marquardtStep(out.J, out.r, p, held, lambda, delta)) {
        done = true;  // nothing lowers the cost: a minimum to rounding
        break;
      }
      Theta next = theta;
      for (int k = 0; k < p; ++k) next[k] += delta[k];
      clampToBox(next);
      residuals(next, rTry, &JTry);
      ++out.evaluations;
      const double costTry = costOf(rTry);
      if (costTry < cost) {
        bool small = true;
        for (int k = 0; k < p; ++k)
          small = small && std::abs(next[k] - theta[k]) <= options.xtol * (1 + std::abs(theta[k]));
        done = small || cost - costTry <= options.ftol * cost;
        theta = next;
        cost = costTry;
        out.r.swap(rTry);
        out.J.swap(JTry);
        lambda = lambda / 10 < 1.0e-12 ? 1.0e-12 : lambda / 10;
        break;
      }
      lambda *= 10;
    }
  }
  lm_detail::gradient(out.J, out.r, p, g, diag);
  const double dof = static_cast<double>(out.r.size()) - p;
  for (int k = 0; k < p; ++k) {
    const bool atLower = theta[k] <= lower[k], atUpper = theta[k] >= upper[k];
    const bool outward = (atLower && g[k] > 0) || (atUpper && g[k] < 0);
    const double relief = diag[k] > 0 ? g[k] * g[k] / (2 * diag[k]) : (g[k] != 0 ? 1e300 : 0.0);
    if (outward && relief > 0 && relief * (dof > 0 ? dof : 1.0) > kBoundSignificance * cost)
      out.pushing[k] = atLower ? -1 : 1;
  }
  out.theta = theta;
  out.cost = cost;
  return out;
}

}  // namespace wind
