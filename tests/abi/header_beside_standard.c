/* ztr.h in one translation unit with the standard cblas.h and lapacke.h, in the order chosen
 * by ZTR_HEADER_FIRST; compiled as C and as C++ with warnings as errors.  The calls use the
 * standard names and the ZTR_ names side by side, and reach libztr (nothing else is linked). */
#ifdef ZTR_HEADER_FIRST
#include "ztr.h"
#include <cblas.h>
#include <lapacke.h>
#else
#include <cblas.h>
#include <lapacke.h>
#include "ztr.h"
#endif

#include <stdio.h>

int main(void) {
  /* A = [1 2; 3 4] stored by columns, B = I. */
  const double a[4] = {1, 3, 2, 4}, b[4] = {1, 0, 0, 1};
  double c[4] = {0, 0, 0, 0}, d[4] = {0, 0, 0, 0};
  double lu[4] = {1, 3, 2, 4};
  lapack_int ipiv[2] = {0, 0};
  /* Both products are A': by rows (the array read by rows is A') and by columns. */
  cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, 2, 2, 2, 1.0, a, 2, b, 2, 0.0, c, 2);
  cblas_dgemm(ZTR_COL_MAJOR, ZTR_TRANS, ZTR_NO_TRANS, 2, 2, 2, 1.0, a, 2, b, 2, 0.0, d, 2);
  if (c[0] != 1 || c[1] != 3 || c[2] != 2 || c[3] != 4) return 1;
  if (d[0] != 1 || d[1] != 2 || d[2] != 3 || d[3] != 4) return 2;
  if (cblas_ddot(2, a, 1, b, 1) != 1.0) return 3;
  /* Pivot 3 first: L = [1 0; 1/3 1], U = [3 4; 0 2/3]. */
  if (LAPACKE_dgetrf(LAPACK_COL_MAJOR, 2, 2, lu, 2, ipiv) != 0 || ipiv[0] != 2) return 4;
  if (LAPACKE_dgetri(ZTR_COL_MAJOR, 2, lu, 2, ipiv) != 0) return 5;
  /* inv(A) = [-2 1; 1.5 -0.5]; the 2 x 2 case is exact up to one rounding. */
  if (lu[0] + 2 > 1e-14 || lu[0] + 2 < -1e-14 || lu[2] - 1 > 1e-14 || lu[2] - 1 < -1e-14) return 6;
  ZTR_Set_Num_Threads(1);
  if (ZTR_Get_Max_Threads() != 1) return 7;
  printf("header beside the standard ones ok\n");
  return 0;
}
