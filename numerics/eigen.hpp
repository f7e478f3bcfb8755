#pragma once
// Eigenvalues and eigenvectors of a real symmetric matrix by the cyclic Jacobi
// method (Press et al., Numerical Recipes, 11.1; Golub and Van Loan, 8.5).
//
// jacobi(a, n, d, v, nrot):
//   a     matrix [1..n][1..n]. Read: the diagonal (once, at entry) and the
//         strictly upper triangle a[p][q], p < q, which the sweeps annihilate
//         (all zero after a normal return). The lower triangle and the
//         diagonal are neither read after entry nor changed.
//   d     vector [1..n]: the eigenvalues, unsorted, in the order of the
//         diagonal positions they developed from.
//   v     matrix [1..n][1..n]: the normalised eigenvectors as columns;
//         column j (v[1..n][j]) belongs to d[j].
//   nrot  the number of rotations performed.
// All data are single precision; each step is evaluated in double and rounded
// to float where stored. In the first three sweeps only elements above a
// threshold are rotated; from the fifth sweep on an element too small to
// change either diagonal entry at single precision is set to zero outright,
// which is what brings the off-diagonal sum to exactly zero.
//
// Failure: no convergence within 50 sweeps ends the run through fatalError
// with "Too many iterations in routine jacobi" (d and v then hold the last
// iterate). The work vectors b and z are taken from the heap with vector(1, n)
// at entry and released on return.
//
// jacobi3: the same arithmetic for n = 3 on fixed 1-based storage (index 0 of
// every dimension unused): no heap use, for the per-wave-vector square roots
// of the synthesis engines.
#include "numerics/arrays.hpp"

namespace wind {

void jacobi(Matrix& a, int n, Vector& d, Matrix& v, int& nrot);

void jacobi3(float (&a)[4][4], float (&d)[4], float (&v)[4][4], int& nrot);

}  // namespace wind
