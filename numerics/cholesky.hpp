#pragma once
// Cholesky factorisation and solve of a small complex Hermitian positive
// definite matrix, in double precision (Golub and Van Loan, Matrix
// Computations, 4th ed., 4.2.5, the outer-product form taken row by row).
//
// choleskyFactor(a, n): a holds an n x n matrix, row-major (element (r, c) at
// a[r n + c], 0-based); only its lower triangle c <= r is read, and its
// diagonal is taken as real (imaginary parts there are ignored). On success
// the lower triangle is overwritten by L with A = L L^H, the diagonal of L
// real and positive; the strict upper triangle is left as it was. The status
// gives the smallest and largest diagonal element of L: (largest /
// smallest)^2 is a lower bound on the 2-norm condition number of A, the
// estimate the callers use to decide whether a solve can be trusted.
//
// A pivot that is not positive and finite (A not positive definite to working
// precision, or holding a NaN or an infinity) stops the factorisation:
// ok = false, and the lower triangle holds partial results of no use. This is
// an expected outcome, returned for the caller to act on, not a fatal error.
//
// choleskySolve(l, n, b): with l from a successful choleskyFactor, replaces
// b[0 .. n-1] by the solution x of A x = b (forward then back substitution).
//
// Cost: n^3/6 complex multiply-adds to factor, n^2 to solve. Nothing
// allocates; the routines are reentrant. Sizes are not checked: a holds at
// least n^2 values, b at least n.
#include <complex>
#include <span>

namespace wind {

struct CholeskyStatus {
  bool ok = false;
  double minPivot = 0.0, maxPivot = 0.0;  // smallest and largest diagonal element of L
};

CholeskyStatus choleskyFactor(std::span<std::complex<double>> a, int n);

void choleskySolve(std::span<const std::complex<double>> l, int n,
                   std::span<std::complex<double>> b);

}  // namespace wind
