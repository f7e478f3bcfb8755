#include "numerics/cholesky.hpp"

#include <gtest/gtest.h>

#include <complex>
#include <vector>

using namespace wind;
using C = std::complex<double>;

namespace {

// A = B B^H + 0.25 I for a fixed complex B, its lower triangle only (the
// upper triangle holds a sentinel the factorisation must leave alone).
std::vector<C> hermitian(int n, std::vector<C>& full) {
  std::vector<C> b(std::size_t(n * n));
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) b[std::size_t(r * n + c)] = C(0.3 * r - 0.7 * c + 1.1, 0.2 * r * c - 0.4);
  full.assign(std::size_t(n * n), C());
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) {
      C s = r == c ? C(0.25, 0.0) : C();
      for (int q = 0; q < n; ++q) s += b[std::size_t(r * n + q)] * std::conj(b[std::size_t(c * n + q)]);
      full[std::size_t(r * n + c)] = s;
    }
  std::vector<C> a = full;
  for (int r = 0; r < n; ++r)
    for (int c = r + 1; c < n; ++c) a[std::size_t(r * n + c)] = C(9.5, -9.5);
  return a;
}

}  // namespace

// L L^H reproduces A, the upper triangle survives, and the solve returns the x
// that made b = A x.
TEST(Cholesky, FactorReproducesTheMatrixAndSolveInvertsIt) {
  for (int n : {1, 2, 5, 12}) {
    std::vector<C> full;
    std::vector<C> a = hermitian(n, full);
    const CholeskyStatus st = choleskyFactor(a, n);
    ASSERT_TRUE(st.ok) << "n = " << n;
    for (int r = 0; r < n; ++r)
      for (int c = 0; c <= r; ++c) {
        C s;
        for (int q = 0; q <= c; ++q) s += a[std::size_t(r * n + q)] * std::conj(a[std::size_t(c * n + q)]);
        EXPECT_NEAR(std::abs(s - full[std::size_t(r * n + c)]), 0.0, 1e-12 * std::abs(full[0]))
            << "n = " << n << ", element " << r << ", " << c;
      }
    for (int r = 0; r < n; ++r)
      for (int c = r + 1; c < n; ++c) EXPECT_EQ(a[std::size_t(r * n + c)], C(9.5, -9.5));
    std::vector<C> x(static_cast<std::size_t>(n)), b(static_cast<std::size_t>(n));
    for (int r = 0; r < n; ++r) x[std::size_t(r)] = C(1.5 - r, 0.25 * r);
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < n; ++c) b[std::size_t(r)] += full[std::size_t(r * n + c)] * x[std::size_t(c)];
    choleskySolve(a, n, b);
    for (int r = 0; r < n; ++r)
      EXPECT_NEAR(std::abs(b[std::size_t(r)] - x[std::size_t(r)]), 0.0, 1e-9) << "n = " << n;
  }
}

// diag(4, 1e-6): pivots 2 and 1e-3, so (largest / smallest)^2 is the exact
// condition number 4e6; a singular or indefinite matrix is reported, not
// factored.
TEST(Cholesky, PivotsEstimateTheConditionAndFailuresAreReported) {
  std::vector<C> d{C(4.0, 0.0), C(), C(), C(1e-6, 0.0)};
  const CholeskyStatus st = choleskyFactor(d, 2);
  ASSERT_TRUE(st.ok);
  EXPECT_DOUBLE_EQ(st.maxPivot, 2.0);
  EXPECT_NEAR(st.minPivot, 1e-3, 1e-15);
  std::vector<C> singular{C(1.0, 0.0), C(), C(1.0, 0.0), C(1.0, 0.0)};
  EXPECT_FALSE(choleskyFactor(singular, 2).ok);
  std::vector<C> indefinite{C(1.0, 0.0), C(), C(2.0, 1.0), C(1.0, 0.0)};
  EXPECT_FALSE(choleskyFactor(indefinite, 2).ok);
  std::vector<C> nan{C(std::nan(""), 0.0)};
  EXPECT_FALSE(choleskyFactor(nan, 1).ok);
}
