#include "numerics/cholesky.hpp"

#include <algorithm>
#include <cmath>

namespace wind {

CholeskyStatus choleskyFactor(std::span<std::complex<double>> a, int n) {
  using C = std::complex<double>;
  CholeskyStatus status;
  const auto at = [&](int r, int c) -> C& { return a[std::size_t(r) * std::size_t(n) + c]; };
  for (int r = 0; r < n; ++r) {
    // Row r of L left of the diagonal: L(r, c) = (A(r, c) - sum_q L(r, q) conj L(c, q)) / L(c, c).
    for (int c = 0; c < r; ++c) {
      C s = at(r, c);
      for (int q = 0; q < c; ++q) s -= at(r, q) * std::conj(at(c, q));
      at(r, c) = s / at(c, c).real();
    }
    double d = at(r, r).real();
    for (int q = 0; q < r; ++q) d -= std::norm(at(r, q));
    if (!(d > 0.0) || !std::isfinite(d)) {
      status.ok = false;
      return status;
    }
    const double pivot = std::sqrt(d);
    at(r, r) = C(pivot, 0.0);
    status.minPivot = r == 0 ? pivot : std::min(status.minPivot, pivot);
    status.maxPivot = std::max(status.maxPivot, pivot);
  }
  status.ok = true;
  return status;
}

void choleskySolve(std::span<const std::complex<double>> l, int n,
                   std::span<std::complex<double>> b) {
  using C = std::complex<double>;
  const auto at = [&](int r, int c) { return l[std::size_t(r) * std::size_t(n) + c]; };
  // L y = b.
  for (int r = 0; r < n; ++r) {
    C s = b[std::size_t(r)];
    for (int q = 0; q < r; ++q) s -= at(r, q) * b[std::size_t(q)];
    b[std::size_t(r)] = s / at(r, r).real();
  }
  // L^H x = y.
  for (int r = n - 1; r >= 0; --r) {
    C s = b[std::size_t(r)];
    for (int q = r + 1; q < n; ++q) s -= std::conj(at(q, r)) * b[std::size_t(q)];
    b[std::size_t(r)] = s / at(r, r).real();
  }
}

}  // namespace wind
