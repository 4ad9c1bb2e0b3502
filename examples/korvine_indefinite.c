/* The sparse direct solver KORVINE on a symmetric indefinite system (matrix type -2): a
 * saddle-point matrix [H B'; B 0] with H the 5-point Laplacian of a 12 x 12 grid (positive
 * definite) and B a 40 x 144 constraint block of full rank, whose inertia is therefore 144
 * positive and 40 negative eigenvalues.  The zero block stores no diagonal (it counts as
 * zero).  Phase 11 analyses, phase 23 factorizes and solves for two right-hand sides; the
 * refinement setting is changed between them: the first call fills in the defaults
 * (iparm[0] = 0) and later calls keep what the caller sets. */
#include <float.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <ztr.h>

enum { GRID = 12, NH = GRID * GRID, M = 40, N = NH + M, NRHS = 2 };

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
  static int ia[N + 1], ja[3 * NH + 2 * M];
  static double a[3 * NH + 2 * M], b[N * NRHS], x[N * NRHS];
  int nnz = 0;
  /* Upper triangle, one-based: row i of H, then the column of B' that belongs to it.  B has
   * entry 1 at (c, 3c) and 0.5 at (c, 3c + 1), so row i of B' holds column NH + c. */
  for (int i = 0; i < NH; ++i) {
    ia[i] = nnz + 1;
    ja[nnz] = i + 1, a[nnz++] = 4.0;
    if ((i + 1) % GRID != 0) ja[nnz] = i + 2, a[nnz++] = -1.0;
    if (i + GRID < NH) ja[nnz] = i + GRID + 1, a[nnz++] = -1.0;
    if (i % 3 == 0 && i / 3 < M) ja[nnz] = NH + i / 3 + 1, a[nnz++] = 1.0;
    if (i % 3 == 1 && i / 3 < M) ja[nnz] = NH + i / 3 + 1, a[nnz++] = 0.5;
  }
  for (int i = NH; i <= N; ++i) ia[i] = nnz + 1; /* the zero block: empty rows */
  for (int i = 0; i < N; ++i) b[i] = 1.0, b[i + N] = (i % 5) - 2.0;

  void* pt[64] = {0};
  int iparm[64] = {0};
  const int maxfct = 1, mnum = 1, mtype = -2, n = N, nrhs = NRHS, msglvl = 0;
  int phase = 11, error = 0, failures = 0;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm, &msglvl, NULL,
          NULL, &error);
  iparm[7] = 2; /* up to two steps of iterative refinement */
  phase = 23;   /* factorization and solve */
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm, &msglvl, b, x,
          &error);
  double worst = 0;
  for (int c = 0; c < NRHS; ++c)
    worst = fmax(worst, backward_error(ia, ja, a, x + c * N, b + c * N));
  printf("KORVINE indefinite  inertia %d positive, %d negative (expected %d, %d): %s\n", iparm[21],
         iparm[22], NH, M, iparm[21] == NH && iparm[22] == M ? "pass" : "FAIL");
  printf("KORVINE indefinite  %d right-hand sides: error %d, backward error below n eps: %s\n",
         NRHS, error, error == 0 && worst < N * DBL_EPSILON ? "pass" : "FAIL");
  failures += !(iparm[21] == NH && iparm[22] == M) + !(error == 0 && worst < N * DBL_EPSILON);

  phase = -1;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, NULL, NULL, NULL, NULL, &nrhs, iparm, &msglvl,
          NULL, NULL, &error);
  return failures == 0 ? 0 : 1;
}
