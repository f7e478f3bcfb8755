#include "fit/levenberg_marquardt.hpp"

#include <complex>

#include "numerics/cholesky.hpp"

namespace wind::lm_detail {

void gradient(const std::vector<double>& J, const std::vector<double>& r, int p, Theta& g,
              Theta& diag) {
  g = {};
  diag = {};
  for (std::size_t i = 0; i < r.size(); ++i)
    for (int k = 0; k < p; ++k) {
      const double jk = J[i * std::size_t(p) + std::size_t(k)];
      g[k] += jk * r[i];
      diag[k] += jk * jk;
    }
}

bool marquardtStep(const std::vector<double>& J, const std::vector<double>& r, int p,
                   const std::array<bool, kMaxLmParameters>& held, double lambda, Theta& delta) {
  int index[kMaxLmParameters];
  int q = 0;
  for (int k = 0; k < p; ++k)
    if (!held[k]) index[q++] = k;
  delta = {};
  if (q == 0) return false;
  std::complex<double> a[kMaxLmParameters * kMaxLmParameters] = {};
  std::complex<double> b[kMaxLmParameters] = {};
  for (std::size_t i = 0; i < r.size(); ++i) {
    const double* row = &J[i * std::size_t(p)];
    for (int u = 0; u < q; ++u) {
      b[u] -= row[index[u]] * r[i];
      for (int v = 0; v <= u; ++v) a[u * q + v] += row[index[u]] * row[index[v]];
    }
  }
  // Marquardt's scaling, with a floor so that a parameter the residuals do
  // not depend on (a zero column) still gives a solvable system.
  double largest = 0.0;
  for (int u = 0; u < q; ++u) largest = std::max(largest, a[u * q + u].real());
  for (int u = 0; u < q; ++u)
    a[u * q + u] += lambda * std::max(a[u * q + u].real(), 1.0e-12 * largest + 1.0e-300);
  if (!choleskyFactor(std::span(a, std::size_t(q * q)), q).ok) return false;
  choleskySolve(std::span<const std::complex<double>>(a, std::size_t(q * q)), q,
                std::span(b, std::size_t(q)));
  for (int u = 0; u < q; ++u) delta[index[u]] = b[u].real();
  return true;
}

}  // namespace wind::lm_detail
