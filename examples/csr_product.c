/* The symmetric sparse matrix-vector product ztr_cspblas_dcsrsymv: y = A*x for a symmetric
 * matrix stored as one triangle in zero-based CSR form.  The upper and the lower triangle of
 * the same matrix must give the same product as the dense matrix. */
#include <float.h>
#include <math.h>
#include <stdio.h>

#include <ztr.h>

int main(void) {
  /* A = [ 4 1 0 2 ]
   *     [ 1 5 3 0 ]
   *     [ 0 3 6 1 ]
   *     [ 2 0 1 7 ]  */
  const double dense[4][4] = {{4, 1, 0, 2}, {1, 5, 3, 0}, {0, 3, 6, 1}, {2, 0, 1, 7}};
  const int m = 4;
  /* Upper triangle, row by row, diagonal included. */
  const int iu[5] = {0, 3, 5, 7, 8}, ju[8] = {0, 1, 3, 1, 2, 2, 3, 3};
  const double au[8] = {4, 1, 2, 5, 3, 6, 1, 7};
  /* Lower triangle; within a row the order is free. */
  const int il[5] = {0, 1, 3, 5, 8}, jl[8] = {0, 1, 0, 2, 1, 3, 0, 2};
  const double al[8] = {4, 5, 1, 6, 3, 7, 2, 1};
  const double x[4] = {1, -2, 0.5, 3};
  double yu[4], yl[4];
  ztr_cspblas_dcsrsymv("U", &m, au, iu, ju, x, yu);
  ztr_cspblas_dcsrsymv("l", &m, al, il, jl, x, yl);

  double err = 0;
  for (int i = 0; i < m; ++i) {
    double exact = 0, size = 0;
    for (int j = 0; j < m; ++j) {
      exact += dense[i][j] * x[j];
      size += fabs(dense[i][j] * x[j]);
    }
    err = fmax(err, fmax(fabs(yu[i] - exact), fabs(yl[i] - exact)) / (m * DBL_EPSILON * size));
  }
  printf("ztr_cspblas_dcsrsymv  upper and lower triangle agree with the dense product: %s\n",
         err <= 1 ? "pass" : "FAIL");
  return err <= 1 ? 0 : 1;
}
