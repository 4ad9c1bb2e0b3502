/* The sparse direct solver KORVINE on an unsymmetric system (matrix type 11): a 5-point
 * convection-diffusion operator on a 25 x 25 grid, full pattern in zero-based CSR form
 * (iparm[34] = 1).  Phase 13 solves for two right-hand sides; a second handle analysed with
 * iparm[11] = 2 solves the transposed system A'x = b; then the wind changes, the
 * values are factored again (phase 22, the analysis kept) and solved (phase 33).  Every
 * solution is judged by its normwise backward error against n*eps. */
#include <float.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <ztr.h>

enum { GRID = 25, N = GRID * GRID, NRHS = 2 };

/* Backward error of x for A (transposed when `trans`) against b. */
static double backward_error(const int* ia, const int* ja, const double* a, int trans,
                             const double* x, const double* b) {
  static double r[N], rowsum[N];
  double anorm = 0, xnorm = 0, bnorm = 0, rnorm = 0;
  for (int i = 0; i < N; ++i) r[i] = b[i], rowsum[i] = 0;
  for (int i = 0; i < N; ++i)
    for (int k = ia[i]; k < ia[i + 1]; ++k) {
      const int j = ja[k];
      if (trans)
        r[j] -= a[k] * x[i], rowsum[j] += fabs(a[k]);
      else
        r[i] -= a[k] * x[j], rowsum[i] += fabs(a[k]);
    }
  for (int i = 0; i < N; ++i) {
    anorm = fmax(anorm, rowsum[i]);
    xnorm = fmax(xnorm, fabs(x[i]));
    bnorm = fmax(bnorm, fabs(b[i]));
    rnorm = fmax(rnorm, fabs(r[i]));
  }
  return rnorm / (anorm * xnorm + bnorm);
}

/* The operator with wind w: -1 - w towards the east, -1 + w towards the west. */
static void fill(double w, int* ia, int* ja, double* a) {
  int nnz = 0;
  for (int i = 0; i < N; ++i) {
    const int x = i % GRID;
    ia[i] = nnz;
    if (i >= GRID) ja[nnz] = i - GRID, a[nnz++] = -1.0;
    if (x > 0) ja[nnz] = i - 1, a[nnz++] = -1.0 + w;
    ja[nnz] = i, a[nnz++] = 4.0;
    if (x + 1 < GRID) ja[nnz] = i + 1, a[nnz++] = -1.0 - w;
    if (i + GRID < N) ja[nnz] = i + GRID, a[nnz++] = -1.0;
  }
  ia[N] = nnz;
}

static double worst_error(const int* ia, const int* ja, const double* a, int trans, const double* x,
                          const double* b) {
  double worst = 0;
  for (int c = 0; c < NRHS; ++c)
    worst = fmax(worst, backward_error(ia, ja, a, trans, x + c * N, b + c * N));
  return worst;
}

int main(void) {
  static int ia[N + 1], ja[5 * N];
  static double a[5 * N], b[N * NRHS], x[N * NRHS];
  fill(0.8, ia, ja, a);
  for (int i = 0; i < N; ++i) b[i] = 1.0, b[i + N] = sin(0.1 * i);

  void* pt[64] = {0};
  int iparm[64] = {0};
  const int maxfct = 1, mnum = 1, mtype = 11, n = N, nrhs = NRHS, msglvl = 0;
  int phase, error = 0, failures = 0;
  /* iparm[0] = 1: the caller fills the array itself, here with the defaults of type 11 plus
   * zero-based indexing, which the first call must already see. */
  iparm[0] = 1;
  iparm[1] = 2;  /* nested dissection */
  iparm[9] = 13; /* pivot perturbation 1e-13 */
  iparm[10] = 1; /* scaling */
  iparm[12] = 1; /* weighted matching */
  iparm[17] = iparm[18] = -1;
  iparm[34] = 1; /* zero-based ia and ja */
  phase = 13;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm, &msglvl, b, x,
          &error);
  double e = worst_error(ia, ja, a, 0, x, b);
  printf(
      "KORVINE unsymmetric  phase 13, %d right-hand sides: error %d, backward error below n "
      "eps: %s\n",
      NRHS, error, error == 0 && e < N * DBL_EPSILON ? "pass" : "FAIL");
  failures += !(error == 0 && e < N * DBL_EPSILON);

  /* The transposed solve mode is fixed when a handle is analysed: A'x = b gets a handle of
   * its own, analysed with iparm[11] = 2. */
  {
    void* pt_t[64] = {0};
    int iparm_t[64];
    for (int k = 0; k < 64; ++k) iparm_t[k] = iparm[k];
    iparm_t[11] = 2;
    phase = 13;
    KORVINE(pt_t, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm_t, &msglvl, b,
            x, &error);
    e = worst_error(ia, ja, a, 1, x, b);
    printf("KORVINE unsymmetric  transposed solve: error %d, backward error below n eps: %s\n",
           error, error == 0 && e < N * DBL_EPSILON ? "pass" : "FAIL");
    failures += !(error == 0 && e < N * DBL_EPSILON);
    phase = -1;
    KORVINE(pt_t, &maxfct, &mnum, &mtype, &phase, &n, NULL, NULL, NULL, NULL, &nrhs, iparm_t,
            &msglvl, NULL, NULL, &error);
  }

  fill(-0.3, ia, ja, a); /* same pattern, new values */
  phase = 22;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm, &msglvl, NULL,
          NULL, &error);
  const int refactor_error = error;
  phase = 33;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, a, ia, ja, NULL, &nrhs, iparm, &msglvl, b, x,
          &error);
  e = worst_error(ia, ja, a, 0, x, b);
  const int ok = refactor_error == 0 && error == 0 && e < N * DBL_EPSILON;
  printf("KORVINE unsymmetric  re-factorization and solve: backward error below n eps: %s\n",
         ok ? "pass" : "FAIL");
  failures += !ok;

  phase = -1;
  KORVINE(pt, &maxfct, &mnum, &mtype, &phase, &n, NULL, NULL, NULL, NULL, &nrhs, iparm, &msglvl,
          NULL, NULL, &error);
  return failures == 0 ? 0 : 1;
}
