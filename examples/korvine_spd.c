/* The sparse direct solver KORVINE on a symmetric positive definite system (matrix type 2):
 * the 5-point Laplacian of a 30 x 30 grid, upper triangle in one-based CSR form.  It runs the
 * phases one by one (11 analysis, 22 factorization, 33 solve) for three right-hand sides at
 * once, then factors a second matrix with the same pattern (phase 22 again, the analysis is
 * kept), solves with it, and releases everything (phase -1).  Each solution is judged by its
 * normwise backward error ||b - Ax|| / (||A|| ||x|| + ||b||), which a stable Cholesky
 * solve keeps below n*eps. */
#include <float.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <ztr.h>

enum { GRID = 30, N = GRID * GRID, NRHS = 3 };

/* Backward error of column x against b for the symmetric matrix given by its upper triangle. */
static double backward_error(const int* ia, const int* ja, const double* a, const double* x,
                             const double* b) {
  static double r[N], rowsum[N];
  double anorm = 0, xnorm = 0, bnorm = 0, rnorm = 0;
  for (int i = 0; i < N; ++i) r[i] = b[i], rowsum[i] = 0;
  for (int i = 0; i < N; ++i)
    for (int k = ia[i] - 1; k < ia[i + 1] - 1; ++k) {
      const int j = ja[k] - 1;
      r[i] -= a[k] * x[j];
      rowsum[i] += fabs(a[k]);
      if (j != i) r[j] -= a[k] * x[i], rowsum[j] += fabs(a[k]);
    }
  for (int i = 0; i < N; ++i) {
    anorm = fmax(anorm, rowsum[i]);
    xnorm = fmax(xnorm, fabs(x[i]));
    bnorm = fmax(bnorm, fabs(b[i]));
    rnorm = fmax(rnorm, fabs(r[i]));
  }
  return rnorm / (anorm * xnorm + bnorm);
}

int main(void) {
  static int ia[N + 1], ja[3 * N];
  static double a[3 * N], b[N * NRHS], x[N * NRHS];
  int nnz = 0;
  for (int i = 0; i < N; ++i) {
    ia[i] = nnz + 1;
    ja[nnz] = i + 1, a[nnz++] = 4.0;                           /* diagonal */
    if ((i + 1) % GRID != 0) ja[nnz] = i + 2, a[nnz++] = -1.0; /* right neighbour */
    if (i + GRID < N) ja[nnz] = i + GRID + 1, a[nnz++] = -1.0; /* next row */
  }
  ia[N] = nnz + 1;
  for (int i = 0; i < N; ++i) {
    b[i] = 1.0;
    b[i + N] = (double)i / N;
    b[i + 2 * N] = (i % 7) - 3.0;
  }

  void* pt[64] = {0};  /* the handle: all zero before the first call */
  int iparm[64] = {0}; /* iparm[0] = 0: the first call fills in the defaults */
  const int maxfct = 1, mnum = 1, mtype = 2, n = N, nrhs = NRHS, msglvl = 0;
  int phase, error = 0, failures = 0;

  phase = 11;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm, &msglvl, NULL,
          NULL, &error);
  printf("KORVINE SPD  analysis: error %d: %s\n", error, error == 0 ? "pass" : "FAIL");
  failures += error != 0;
  phase = 22;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm, &msglvl, NULL,
          NULL, &error);
  printf("KORVINE SPD  factorization: error %d: %s\n", error, error == 0 ? "pass" : "FAIL");
  failures += error != 0;
  phase = 33;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm, &msglvl, b, x,
          &error);
  double worst = 0;
  for (int c = 0; c < NRHS; ++c)
    worst = fmax(worst, backward_error(ia, ja, a, x + c * N, b + c * N));
  printf("KORVINE SPD  solve of %d right-hand sides: error %d, backward error below n eps: %s\n",
         NRHS, error, error == 0 && worst < N * DBL_EPSILON ? "pass" : "FAIL");
  failures += !(error == 0 && worst < N * DBL_EPSILON);

  /* New values, same pattern: only the numerical factorization is repeated. */
  for (int i = 0; i < N; ++i) a[ia[i] - 1] = 4.5 + (i % 3);
  phase = 22;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm, &msglvl, NULL,
          NULL, &error);
  const int refactor_error = error;
  phase = 33;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm, &msglvl, b, x,
          &error);
  worst = 0;
  for (int c = 0; c < NRHS; ++c)
    worst = fmax(worst, backward_error(ia, ja, a, x + c * N, b + c * N));
  const int ok = refactor_error == 0 && error == 0 && worst < N * DBL_EPSILON;
  printf("KORVINE SPD  re-factorization and solve: backward error below n eps: %s\n",
         ok ? "pass" : "FAIL");
  failures += !ok;

  phase = -1; /* release everything the handle holds */
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, NULL, NULL, NULL, NULL, &nrhs, iparm, &msglvl,
          NULL, NULL, &error);
  return failures == 0 ? 0 : 1;
}
