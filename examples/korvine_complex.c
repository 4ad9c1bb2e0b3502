/* The sparse direct solver KORVINE on complex matrices, values stored as C99 double complex
 * (real and imaginary parts interleaved).
 *
 * 1. Hermitian indefinite (matrix type -4): the tridiagonal matrix with diagonal D and
 *    off-diagonal c = -1 + 0.5i above it (conj(c) below), upper triangle stored.  It is
 *    unitarily similar to the real tridiagonal matrix with off-diagonal |c|, so its
 *    eigenvalues are D + 2|c| cos(k pi / (N + 1)), k = 1..N: the inertia is known.
 * 2. Complex unsymmetric (matrix type 13): the same pattern, full, with different values
 *    above and below the diagonal; solved with A, then with A^H (iparm[11] = 2, set before
 *    the analysis).
 * Each solve is judged by its normwise backward error. */
#include <complex.h>
#include <float.h>
#include <math.h>
#include <stdio.h>

#include <ztr.h>

#define PI 3.14159265358979323846
enum { N = 100 };
static const double D = 0.5;

/* ||b - op(A) x|| / (||A|| ||x|| + ||b||), infinity norms, for a one-based CSR matrix; with
 * `hermitian` the upper triangle stands for the whole matrix, `conjugate_transpose` applies
 * A^H instead of A. */
static double backward_error(const int* ia, const int* ja, const double complex* a, int hermitian,
                             int conjugate_transpose, const double complex* x,
                             const double complex* b) {
  double complex r[N];
  double rowsum[N] = {0}, colsum[N] = {0};
  double anorm = 0, xnorm = 0, bnorm = 0, rnorm = 0;
  for (int i = 0; i < N; ++i) r[i] = b[i];
  for (int i = 0; i < N; ++i)
    for (int k = ia[i] - 1; k < ia[i + 1] - 1; ++k) {
      const int j = ja[k] - 1;
      if (conjugate_transpose)
        r[j] -= conj(a[k]) * x[i];
      else
        r[i] -= a[k] * x[j];
      rowsum[i] += cabs(a[k]);
      colsum[j] += cabs(a[k]);
      if (hermitian && j != i) r[j] -= conj(a[k]) * x[i], rowsum[j] += cabs(a[k]);
    }
  for (int i = 0; i < N; ++i) {
    anorm = fmax(anorm, conjugate_transpose ? colsum[i] : rowsum[i]);
    xnorm = fmax(xnorm, cabs(x[i]));
    bnorm = fmax(bnorm, cabs(b[i]));
    rnorm = fmax(rnorm, cabs(r[i]));
  }
  return rnorm / (anorm * xnorm + bnorm);
}

static void korvine(void** pt, int mtype, int phase, int* ia, int* ja, double complex* a,
                    int* iparm, double complex* b, double complex* x, int* error) {
  const int maxfct = 1, mnum = 1, n = N, nrhs = 1, msglvl = 0;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm, &msglvl, b, x,
          error);
}

int main(void) {
  static int ia[N + 1], ja[3 * N];
  static double complex a[3 * N], b[N], x[N];
  const double complex c = -1.0 + 0.5 * I;
  int failures = 0;

  /* 1. Hermitian indefinite: row i holds (i, i) and (i, i + 1), one-based. */
  int nnz = 0;
  for (int i = 0; i < N; ++i) {
    ia[i] = nnz + 1;
    ja[nnz] = i + 1, a[nnz++] = D;
    if (i + 1 < N) ja[nnz] = i + 2, a[nnz++] = c;
    b[i] = (double)(i % 7) - 3.0 + (double)(i % 3) * I;
  }
  ia[N] = nnz + 1;
  int negative = 0;
  for (int k = 1; k <= N; ++k) negative += D + 2 * cabs(c) * cos(k * PI / (N + 1)) < 0;

  void* pt[64] = {0};
  int iparm[64] = {0}, error = 0;
  korvine(pt, -4, 13, ia, ja, a, iparm, b, x, &error); /* analysis, factorization, solve */
  double be = backward_error(ia, ja, a, 1, 0, x, b);
  int ok = iparm[21] == N - negative && iparm[22] == negative;
  printf("KORVINE complex  Hermitian inertia %d positive, %d negative (expected %d, %d): %s\n",
         iparm[21], iparm[22], N - negative, negative, ok ? "pass" : "FAIL");
  failures += !ok;
  ok = error == 0 && be < N * DBL_EPSILON;
  printf("KORVINE complex  Hermitian indefinite solve: error %d, backward error below n eps: %s\n",
         error, ok ? "pass" : "FAIL");
  failures += !ok;
  korvine(pt, -4, -1, NULL, NULL, NULL, iparm, NULL, NULL, &error);

  /* 2. Complex unsymmetric, full pattern: 4 on the diagonal, c above, 0.3 - i below. */
  nnz = 0;
  for (int i = 0; i < N; ++i) {
    ia[i] = nnz + 1;
    if (i > 0) ja[nnz] = i, a[nnz++] = 0.3 - 1.0 * I;
    ja[nnz] = i + 1, a[nnz++] = 4.0 + 1.0 * I;
    if (i + 1 < N) ja[nnz] = i + 2, a[nnz++] = c;
  }
  ia[N] = nnz + 1;
  for (int transposed = 0; transposed <= 1; ++transposed) {
    void* pu[64] = {0};
    int ip[64] = {0};
    ip[0] = 1; /* given parameters: the defaults of type 13 ... */
    ip[1] = 2;
    ip[9] = 13;
    ip[10] = 1;
    ip[12] = 1;
    ip[11] = transposed ? 2 : 0; /* ... and the conjugate-transposed solve */
    korvine(pu, 13, 13, ia, ja, a, ip, b, x, &error);
    be = backward_error(ia, ja, a, 0, transposed, x, b);
    ok = error == 0 && be < N * DBL_EPSILON;
    printf("KORVINE complex  unsymmetric solve with %s: error %d, backward error below n eps: %s\n",
           transposed ? "A^H" : "A  ", error, ok ? "pass" : "FAIL");
    failures += !ok;
    korvine(pu, 13, -1, NULL, NULL, NULL, ip, NULL, NULL, &error);
  }
  return failures == 0 ? 0 : 1;
}
